// The chip-model table `ic` of icdata.db, on SQLite's own C API. Text goes to
// and from the file as GBK bytes, the encoding of the files already in use.
#pragma once

#include <memory>
#include <optional>

#include <QCollator>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

struct sqlite3;
struct sqlite3_stmt;

// What an edited field holds, after the declared type of its column.
enum class FieldKind { Integer, Real, Text, Blob };

struct ChipColumn {
    QString name;
    FieldKind kind;
};

// Values are null (NULL), qlonglong, double, QString or QByteArray (blob).
struct ChipRecord {
    qint64 rowid;
    QVariantList values;
};

struct ChipTable {
    QList<ChipColumn> columns;
    QList<ChipRecord> rows;
};

struct DbError {
    QString message;
    QString statement;

    // The text shown to the operator: the message, an empty line, the statement.
    QString Text() const;
};

class ChipTableDb {
public:
    // Opens the file for reading and writing, creating it when missing.
    explicit ChipTableDb(const QString &path);
    ~ChipTableDb();
    ChipTableDb(const ChipTableDb &) = delete;
    ChipTableDb &operator=(const ChipTableDb &) = delete;

    // False only when the library gave no connection handle at all.
    bool HasConnection() const { return !noConnection_; }

    std::optional<DbError> Read(ChipTable &table);
    std::optional<DbError> Update(const QStringList &columns, const ChipRecord &record);
    std::optional<DbError> Insert(const QStringList &columns, const QVariantList &values, qint64 &rowid);
    std::optional<DbError> Delete(qint64 rowid);

private:
    struct StatementFinalizer {
        void operator()(sqlite3_stmt *statement) const;
    };
    using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

    // The statement compiled on this connection; the error names the text.
    std::optional<DbError> Prepare(const QString &text, Statement &statement) const;
    std::optional<DbError> Execute(const QString &statement, const QStringList &columns, const QVariantList &values);
    DbError ErrorOf(const QString &statement) const;

    // Owned here, not by the connection, so they outlive it.
    QCollator caseSensitive_;
    QCollator caseInsensitive_;
    sqlite3 *connection_ = nullptr;
    bool noConnection_ = false;
    QString openError_;
};

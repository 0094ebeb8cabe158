#include "ChipTableDb.h"

#include <memory>

#include <QFile>
#include <QLocale>
#include <QStringDecoder>
#include <QStringEncoder>
#include <sqlite3.h>

namespace {

const QString kTable = QStringLiteral("ic");

QByteArray ToNarrow(const QString &text) {
    QStringEncoder encoder("GBK");
    return encoder.encode(text);
}

QString FromNarrow(QByteArrayView bytes) {
    QStringDecoder decoder("GBK");
    return decoder.decode(bytes);
}

QString FromNarrow(const unsigned char *text, int size) {
    return FromNarrow(QByteArrayView(reinterpret_cast<const char *>(text), size));
}

QString Quoted(QString identifier) {
    return QLatin1Char('"') + identifier.replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"');
}

QString RowidLiteral(qint64 rowid) { return QStringLiteral("'%1'").arg(rowid); }

// SQLite's own rules for the affinity of a declared type; a column without
// type (blob affinity) is still edited as text, there is nothing else to
// type into a cell.
FieldKind KindOfDeclaredType(const char *declared) {
    const QString type = QString::fromLatin1(declared).toUpper();
    if (type.contains(QLatin1String("INT"))) return FieldKind::Integer;
    if (type.contains(QLatin1String("CHAR")) || type.contains(QLatin1String("CLOB")) ||
        type.contains(QLatin1String("TEXT")) || type.isEmpty()) {
        return FieldKind::Text;
    }
    if (type.contains(QLatin1String("BLOB"))) return FieldKind::Blob;
    return FieldKind::Real;
}

int CompareLocaleAware(void *collator, int leftSize, const void *left, int rightSize, const void *right) {
    return static_cast<const QCollator *>(collator)->compare(
        FromNarrow(QByteArrayView(static_cast<const char *>(left), leftSize)),
        FromNarrow(QByteArrayView(static_cast<const char *>(right), rightSize)));
}

QVariant ColumnValue(sqlite3_stmt *statement, int column) {
    switch (sqlite3_column_type(statement, column)) {
    case SQLITE_INTEGER:
        return QVariant(qlonglong(sqlite3_column_int64(statement, column)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(statement, column));
    case SQLITE_TEXT:
        return QVariant(FromNarrow(sqlite3_column_text(statement, column), sqlite3_column_bytes(statement, column)));
    case SQLITE_BLOB: {
        // Asked for after the blob itself, as SQLite wants.
        const auto *bytes = static_cast<const char *>(sqlite3_column_blob(statement, column));
        return QVariant(QByteArray(bytes, sqlite3_column_bytes(statement, column)));
    }
    default:
        return QVariant();
    }
}

int Bind(sqlite3_stmt *statement, int parameter, const QVariant &value) {
    if (value.isNull()) {
        return sqlite3_bind_null(statement, parameter);
    }
    switch (value.typeId()) {
    case QMetaType::LongLong:
        return sqlite3_bind_int64(statement, parameter, value.toLongLong());
    case QMetaType::Double:
        return sqlite3_bind_double(statement, parameter, value.toDouble());
    case QMetaType::QByteArray: {
        // constData() is never null, so an empty blob stays a blob.
        const QByteArray bytes = value.toByteArray();
        return sqlite3_bind_blob64(statement, parameter, bytes.constData(), sqlite3_uint64(bytes.size()),
                                   SQLITE_TRANSIENT);
    }
    default: {
        const QByteArray text = ToNarrow(value.toString());
        return sqlite3_bind_text64(statement, parameter, text.constData(), sqlite3_uint64(text.size()),
                                   SQLITE_TRANSIENT, SQLITE_UTF8);
    }
    }
}

}  // namespace

void ChipTableDb::StatementFinalizer::operator()(sqlite3_stmt *statement) const { sqlite3_finalize(statement); }

QString DbError::Text() const { return message + QLatin1String("\n\n") + statement; }

ChipTableDb::ChipTableDb(const QString &path) : caseSensitive_(QLocale::system()), caseInsensitive_(QLocale::system()) {
    caseInsensitive_.setCaseSensitivity(Qt::CaseInsensitive);
    const int opened = sqlite3_open_v2(QFile::encodeName(path).constData(), &connection_,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (connection_ == nullptr) {
        noConnection_ = true;
        return;
    }
    int result = opened;
    if (result == SQLITE_OK) {
        result = sqlite3_create_collation(connection_, "system", SQLITE_UTF8, &caseSensitive_, CompareLocaleAware);
    }
    if (result == SQLITE_OK) {
        result = sqlite3_create_collation(connection_, "systemnocase", SQLITE_UTF8, &caseInsensitive_,
                                          CompareLocaleAware);
    }
    if (result != SQLITE_OK) {
        openError_ = FromNarrow(QByteArrayView(sqlite3_errmsg(connection_)));
        sqlite3_close(connection_);
        connection_ = nullptr;
    }
}

ChipTableDb::~ChipTableDb() { sqlite3_close(connection_); }

std::optional<DbError> ChipTableDb::Prepare(const QString &text, Statement &statement) const {
    if (connection_ == nullptr) {
        return ErrorOf(text);
    }
    sqlite3_stmt *prepared = nullptr;
    const int result = sqlite3_prepare_v2(connection_, ToNarrow(text).constData(), -1, &prepared, nullptr);
    statement.reset(prepared);
    if (result != SQLITE_OK) {
        return ErrorOf(text);
    }
    return std::nullopt;
}

DbError ChipTableDb::ErrorOf(const QString &statement) const {
    if (connection_ == nullptr) {
        return {openError_, statement};
    }
    return {FromNarrow(QByteArrayView(sqlite3_errmsg(connection_))), statement};
}

std::optional<DbError> ChipTableDb::Read(ChipTable &table) {
    const QString text = QStringLiteral("select *, rowid as rowid from ") + Quoted(kTable);
    Statement statement;
    if (auto error = Prepare(text, statement)) {
        return error;
    }
    sqlite3_stmt *prepared = statement.get();
    // The last result column is the rowid.
    const int fields = sqlite3_column_count(prepared) - 1;
    ChipTable read;
    for (int column = 0; column < fields; ++column) {
        read.columns.append({FromNarrow(QByteArrayView(sqlite3_column_name(prepared, column))),
                             KindOfDeclaredType(sqlite3_column_decltype(prepared, column))});
    }
    int stepped;
    while ((stepped = sqlite3_step(prepared)) == SQLITE_ROW) {
        ChipRecord record{sqlite3_column_int64(prepared, fields), {}};
        for (int column = 0; column < fields; ++column) {
            record.values.append(ColumnValue(prepared, column));
        }
        read.rows.append(std::move(record));
    }
    if (stepped != SQLITE_DONE) {
        return ErrorOf(text);
    }
    table = std::move(read);
    return std::nullopt;
}

std::optional<DbError> ChipTableDb::Execute(const QString &text, const QStringList &columns,
                                            const QVariantList &values) {
    Statement statement;
    if (auto error = Prepare(text, statement)) {
        return error;
    }
    sqlite3_stmt *prepared = statement.get();
    for (qsizetype column = 0; column < columns.size(); ++column) {
        const int parameter =
            sqlite3_bind_parameter_index(prepared, ToNarrow(QLatin1Char(':') + columns[column]).constData());
        if (Bind(prepared, parameter, values[column]) != SQLITE_OK) {
            return ErrorOf(text);
        }
    }
    if (sqlite3_step(prepared) != SQLITE_DONE) {
        return ErrorOf(text);
    }
    return std::nullopt;
}

std::optional<DbError> ChipTableDb::Update(const QStringList &columns, const ChipRecord &record) {
    QStringList assignments;
    for (const QString &column : columns) {
        assignments.append(Quoted(column) + QLatin1String("=:") + column);
    }
    const QString text = QStringLiteral("update ") + Quoted(kTable) + QLatin1String(" set ") +
                         assignments.join(QLatin1Char(',')) + QLatin1String(" where rowid=") +
                         RowidLiteral(record.rowid);
    return Execute(text, columns, record.values);
}

std::optional<DbError> ChipTableDb::Insert(const QStringList &columns, const QVariantList &values, qint64 &rowid) {
    QStringList names;
    QStringList parameters;
    for (const QString &column : columns) {
        names.append(Quoted(column));
        parameters.append(QLatin1Char(':') + column);
    }
    const QString text = QStringLiteral("insert into ") + Quoted(kTable) + QLatin1String(" (") +
                         names.join(QLatin1Char(',')) + QLatin1String(") values (") +
                         parameters.join(QLatin1Char(',')) + QLatin1Char(')');
    if (auto error = Execute(text, columns, values)) {
        return error;
    }
    rowid = sqlite3_last_insert_rowid(connection_);
    return std::nullopt;
}

std::optional<DbError> ChipTableDb::Delete(qint64 rowid) {
    return Execute(QStringLiteral("delete from ") + Quoted(kTable) + QLatin1String(" where rowid=") +
                       RowidLiteral(rowid),
                   {}, {});
}

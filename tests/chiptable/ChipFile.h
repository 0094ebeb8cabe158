// A chip table file seen through a connection of the test's own: it creates
// and seeds table `ic`, takes locks and shows what the file holds.
#pragma once

#include <algorithm>
#include <cstring>

#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <QStringList>
#include <gtest/gtest.h>
#include <sqlite3.h>

// The table as the files in use have it. Model is unique whatever its case,
// ID9F unique in its exact spelling.
inline constexpr const char *kChipSchema =
    "create table ic (\"Index\" INTEGER, ID90 TEXT, ID9F TEXT COLLATE system UNIQUE,"
    " Model TEXT COLLATE systemnocase UNIQUE, CountKB INTEGER, BlockKB INTEGER, SectorKB REAL,"
    " Manufacturers TEXT, Description TEXT, Remark TEXT, PinDescription TEXT, PinJpg BLOB,"
    " Count INTEGER, Block INTEGER, Sector INTEGER)";

// Two rows with rowids that are not their positions; the Chinese texts are
// the GBK bytes of 旺宏 and 芯片.
inline constexpr const char *kChipRows =
    "insert into ic (rowid, \"Index\", ID90, ID9F, Model, CountKB, BlockKB, SectorKB, Manufacturers,"
    " Description, Remark, PinDescription, PinJpg, Count, Block, Sector) values"
    " (5, 1, 'C217', 'C22018', 'MX25L12845', 16384, 64, 4.5, '\xCD\xFA\xBA\xEA',"
    " 'says \"hi\", it''s', '\xD0\xBE\xC6\xAC', 'SOP8', X'A55AC3', 16777216, 256, 4096),"
    " (9, 2, 'EF13', 'EF4014', 'W25Q80', 1024, 64, 0.25, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL)";

inline const QStringList kChipRowsShown = {
    "5|i:1|t:C217|t:C22018|t:MX25L12845|i:16384|i:64|r:4.5|t:旺宏|t:says \"hi\", it's|t:芯片|t:SOP8|b:a55ac3"
    "|i:16777216|i:256|i:4096",
    "9|i:2|t:EF13|t:EF4014|t:W25Q80|i:1024|i:64|r:0.25|null|null|null|null|null|null|null|null",
};

class ChipFile {
public:
    explicit ChipFile(const QString &path) {
        EXPECT_EQ(sqlite3_open(path.toUtf8().constData(), &connection_), SQLITE_OK);
        // Stand-ins, enough to create and seed the table here.
        sqlite3_create_collation(connection_, "system", SQLITE_UTF8, nullptr, CompareBytes);
        sqlite3_create_collation(connection_, "systemnocase", SQLITE_UTF8, nullptr, CompareBytes);
    }
    ~ChipFile() { sqlite3_close(connection_); }
    ChipFile(const ChipFile &) = delete;
    ChipFile &operator=(const ChipFile &) = delete;

    void Exec(const char *statement) {
        char *error = nullptr;
        EXPECT_EQ(sqlite3_exec(connection_, statement, nullptr, nullptr, &error), SQLITE_OK)
            << (error != nullptr ? error : "") << '\n' << statement;
        sqlite3_free(error);
    }

    void CreateSeeded() {
        Exec(kChipSchema);
        Exec(kChipRows);
    }

    // The first value the query gives, as text.
    QString Value(const char *query) {
        sqlite3_stmt *statement = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(connection_, query, -1, &statement, nullptr), SQLITE_OK)
            << sqlite3_errmsg(connection_);
        QString value;
        if (sqlite3_step(statement) == SQLITE_ROW) {
            value = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement, 0)));
        }
        sqlite3_finalize(statement);
        return value;
    }

    // Every row by rowid: the rowid, then each value with its storage class.
    QStringList Rows() {
        sqlite3_stmt *statement = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(connection_, "select rowid, * from ic order by rowid", -1, &statement, nullptr),
                  SQLITE_OK)
            << sqlite3_errmsg(connection_);
        QStringList rows;
        while (sqlite3_step(statement) == SQLITE_ROW) {
            QStringList fields{QString::number(sqlite3_column_int64(statement, 0))};
            for (int column = 1; column < sqlite3_column_count(statement); ++column) {
                fields.append(Shown(statement, column));
            }
            rows.append(fields.join(QLatin1Char('|')));
        }
        sqlite3_finalize(statement);
        return rows;
    }

private:
    static int CompareBytes(void *, int leftSize, const void *left, int rightSize, const void *right) {
        const int common = std::memcmp(left, right, size_t(std::min(leftSize, rightSize)));
        return common != 0 ? common : leftSize - rightSize;
    }

    static QString Shown(sqlite3_stmt *statement, int column) {
        // The storage class first: reading the bytes may convert the value.
        const int type = sqlite3_column_type(statement, column);
        const auto *bytes = static_cast<const char *>(sqlite3_column_blob(statement, column));
        const QByteArray raw(bytes, sqlite3_column_bytes(statement, column));
        switch (type) {
        case SQLITE_INTEGER:
            return QStringLiteral("i:") + QString::number(sqlite3_column_int64(statement, column));
        case SQLITE_FLOAT:
            return QStringLiteral("r:") + QString::number(sqlite3_column_double(statement, column));
        case SQLITE_TEXT:
            return QStringLiteral("t:") + QString(QStringDecoder("GBK").decode(raw));
        case SQLITE_BLOB:
            return QStringLiteral("b:") + QString::fromLatin1(raw.toHex());
        default:
            return QStringLiteral("null");
        }
    }

    sqlite3 *connection_ = nullptr;
};

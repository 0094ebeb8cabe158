// The chip table's connection and model on real files, without a display.
#include <memory>
#include <ostream>

#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "CaseName.h"
#include "ChipFile.h"
#include "ChipTableDb.h"
#include "ChipTableModel.h"

namespace {

const QString kSelect = QStringLiteral("select *, rowid as rowid from \"ic\"");
const QString kUpdateRow9 = QStringLiteral(
    "update \"ic\" set \"Index\"=:Index,\"ID90\"=:ID90,\"ID9F\"=:ID9F,\"Model\"=:Model,\"CountKB\"=:CountKB,"
    "\"BlockKB\"=:BlockKB,\"SectorKB\"=:SectorKB,\"Manufacturers\"=:Manufacturers,\"Description\"=:Description,"
    "\"Remark\"=:Remark,\"PinDescription\"=:PinDescription,\"PinJpg\"=:PinJpg,\"Count\"=:Count,\"Block\"=:Block,"
    "\"Sector\"=:Sector where rowid='9'");
const QString kInsert = QStringLiteral(
    "insert into \"ic\" (\"Index\",\"ID90\",\"ID9F\",\"Model\",\"CountKB\",\"BlockKB\",\"SectorKB\","
    "\"Manufacturers\",\"Description\",\"Remark\",\"PinDescription\",\"PinJpg\",\"Count\",\"Block\",\"Sector\")"
    " values (:Index,:ID90,:ID9F,:Model,:CountKB,:BlockKB,:SectorKB,:Manufacturers,:Description,:Remark,"
    ":PinDescription,:PinJpg,:Count,:Block,:Sector)");
const QString kDeleteRow9 = QStringLiteral("delete from \"ic\" where rowid='9'");

const QStringList kColumns = {"Index",   "ID90",        "ID9F",   "Model",          "CountKB",
                              "BlockKB", "SectorKB",    "Manufacturers", "Description", "Remark",
                              "PinDescription", "PinJpg", "Count",  "Block",          "Sector"};

struct OpenFailureCase {
    std::string name;
    QString file;
    QString message;
    bool created;
};
void PrintTo(const OpenFailureCase &given, std::ostream *out) { *out << given.name; }

class OpenFailureTest : public ::testing::TestWithParam<OpenFailureCase> {};

TEST_P(OpenFailureTest, ReportsTheSelectAndWritesNothing) {
    const OpenFailureCase &given = GetParam();
    QTemporaryDir folder;
    const QString path = folder.filePath(given.file);
    ChipTableDb database(path);
    ChipTableModel model(database);

    const std::optional<DbError> error = model.Load();

    ASSERT_TRUE(error);
    EXPECT_EQ(error->Text(), given.message + QLatin1String("\n\n") + kSelect);
    EXPECT_EQ(QFile::exists(path), given.created);
    EXPECT_FALSE(model.InsertRow(0));
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.columnCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Files, OpenFailureTest,
    ::testing::Values(OpenFailureCase{"MissingFileIsCreatedEmpty", "icdata.db", "no such table: ic", true},
                      OpenFailureCase{"FolderMissing", "absent/icdata.db", "unable to open database file", false}),
    CaseName());

// A file holding the two seeded rows, loaded into a model.
class ChipTableTest : public ::testing::Test {
protected:
    ChipTableTest() {
        file_.CreateSeeded();
        Open();
    }

    void Open() {
        model_.reset();
        database_ = std::make_unique<ChipTableDb>(path_);
        model_ = std::make_unique<ChipTableModel>(*database_);
        const std::optional<DbError> error = model_->Load();
        EXPECT_FALSE(error) << error->Text().toStdString();
    }

    QModelIndex Cell(int row, const char *column) const {
        return model_->index(row, int(kColumns.indexOf(QLatin1String(column))));
    }
    bool Type(int row, const char *column, const QString &text) {
        return model_->setData(Cell(row, column), text);
    }
    QString Shown(int row, const char *column) const { return model_->data(Cell(row, column)).toString(); }

    QStringList RowShown(int row) const {
        QStringList shown;
        for (int column = 0; column < model_->columnCount(); ++column) {
            shown.append(model_->data(model_->index(row, column)).toString());
        }
        return shown;
    }

    QTemporaryDir folder_;
    QString path_ = folder_.filePath(QStringLiteral("icdata.db"));
    ChipFile file_{path_};
    std::unique_ptr<ChipTableDb> database_;
    std::unique_ptr<ChipTableModel> model_;
};

TEST_F(ChipTableTest, LoadsEveryColumnInOrderWithItsValue) {
    QStringList headers;
    for (int column = 0; column < model_->columnCount(); ++column) {
        headers.append(model_->headerData(column, Qt::Horizontal).toString());
    }
    EXPECT_EQ(headers, kColumns);
    EXPECT_EQ(RowShown(0), QStringList({"1", "C217", "C22018", "MX25L12845", "16384", "64", "4.5", "旺宏",
                                        "says \"hi\", it's", "芯片", "SOP8", "(BLOB)", "16777216", "256", "4096"}));
    EXPECT_EQ(RowShown(1), QStringList({"2", "EF13", "EF4014", "W25Q80", "1024", "64", "0.25", "", "", "", "", "",
                                        "", "", ""}));
    EXPECT_FALSE(model_->flags(Cell(0, "PinJpg")) & Qt::ItemIsEditable);
    EXPECT_TRUE(model_->flags(Cell(0, "Index")) & Qt::ItemIsEditable);
}

TEST_F(ChipTableTest, EditingOneCellWritesEveryColumnOfThatRowByRowid) {
    ASSERT_TRUE(Type(0, "Remark", QStringLiteral("芯片 \"8\" 'pin'")));
    EXPECT_EQ(model_->EditingRow(), 0);
    EXPECT_EQ(file_.Rows(), kChipRowsShown);

    EXPECT_FALSE(model_->FinishRow());

    QStringList expected = kChipRowsShown;
    expected[0].replace(QStringLiteral("t:芯片|"), QStringLiteral("t:芯片 \"8\" 'pin'|"));
    EXPECT_EQ(file_.Rows(), expected);
    EXPECT_EQ(model_->EditingRow(), -1);
}

TEST_F(ChipTableTest, FinishingAnUntouchedRowWritesNothing) {
    ASSERT_TRUE(Type(0, "Model", QStringLiteral("MX25L12845")));
    EXPECT_EQ(model_->EditingRow(), -1);
    ASSERT_FALSE(model_->InsertRow(0));
    EXPECT_TRUE(model_->IsBlankNewRow(0));

    EXPECT_FALSE(model_->FinishRow());

    EXPECT_EQ(model_->rowCount(), 2);
    EXPECT_EQ(file_.Rows(), kChipRowsShown);
}

struct TypedCase {
    std::string name;
    const char *column;
    QString typed;
    QString stored;
};
void PrintTo(const TypedCase &given, std::ostream *out) { *out << given.name; }

class TypedValueTest : public ChipTableTest, public ::testing::WithParamInterface<TypedCase> {};

TEST_P(TypedValueTest, IsStoredWithTheKindOfItsColumn) {
    const TypedCase &given = GetParam();
    const qsizetype column = kColumns.indexOf(QLatin1String(given.column));
    ASSERT_TRUE(Type(1, given.column, given.typed));

    ASSERT_FALSE(model_->FinishRow());

    EXPECT_EQ(file_.Rows()[1].split(QLatin1Char('|'))[column + 1], given.stored);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, TypedValueTest,
    ::testing::Values(TypedCase{"Integer", "CountKB", "2048", "i:2048"},
                      TypedCase{"Real", "SectorKB", "0.5", "r:0.5"},
                      TypedCase{"WholeNumberInRealColumn", "SectorKB", "4", "r:4"},
                      TypedCase{"DigitsInTextColumn", "ID90", "0217", "t:0217"},
                      TypedCase{"ChineseText", "Manufacturers", "华邦", "t:华邦"},
                      TypedCase{"EmptyIsNull", "Model", "", "null"},
                      TypedCase{"NotANumberStaysText", "CountKB", "16M", "t:16M"}),
    CaseName());

TEST_F(ChipTableTest, TextIsWrittenAsGbkBytes) {
    ASSERT_TRUE(Type(1, "Remark", QStringLiteral("芯片")));
    ASSERT_FALSE(model_->FinishRow());

    EXPECT_EQ(file_.Value("select hex(Remark) from ic where rowid = 9"), QStringLiteral("D0BEC6AC"));
}

TEST_F(ChipTableTest, InsertedRowIsUpdatedByTheRowidItWasGiven) {
    ASSERT_FALSE(model_->InsertRow(2));
    ASSERT_TRUE(Type(2, "Model", QStringLiteral("GD25Q16")));
    ASSERT_FALSE(model_->FinishRow());
    ASSERT_TRUE(Type(2, "CountKB", QStringLiteral("2048")));
    ASSERT_FALSE(model_->FinishRow());

    const QString inserted = QStringLiteral("10|null|null|null|t:GD25Q16|i:2048|null|null|null|null|null|null|null"
                                            "|null|null|null");
    EXPECT_EQ(file_.Rows(), kChipRowsShown + QStringList{inserted});

    Open();
    EXPECT_EQ(model_->rowCount(), 3);
    EXPECT_EQ(Shown(2, "Model"), QStringLiteral("GD25Q16"));
}

TEST_F(ChipTableTest, DeleteRemovesTheRowsFromTheFileAtOnce) {
    ASSERT_FALSE(model_->InsertRow(2));
    ASSERT_TRUE(Type(2, "Model", QStringLiteral("never written")));

    EXPECT_FALSE(model_->DeleteRows({0, 2}));

    EXPECT_EQ(file_.Rows(), QStringList{kChipRowsShown[1]});
    EXPECT_EQ(model_->rowCount(), 1);
    EXPECT_EQ(Shown(0, "Model"), QStringLiteral("W25Q80"));
}

TEST_F(ChipTableTest, SystemCollationTellsCaseApart) {
    ASSERT_TRUE(Type(1, "ID9F", QStringLiteral("c22018")));

    EXPECT_FALSE(model_->FinishRow());
}

enum class Write { Update, Insert, Delete };

// Edits row 1, adds row 2 or deletes row 1, giving the model name.
std::optional<DbError> Attempt(ChipTableModel &model, Write write, const QString &name) {
    const int column = int(kColumns.indexOf(QLatin1String("Model")));
    switch (write) {
    case Write::Update:
        EXPECT_TRUE(model.setData(model.index(1, column), name));
        return model.FinishRow();
    case Write::Insert:
        EXPECT_FALSE(model.InsertRow(2));
        EXPECT_TRUE(model.setData(model.index(2, column), name));
        return model.FinishRow();
    case Write::Delete:
        return model.DeleteRows({1});
    }
    return std::nullopt;
}

struct RefusedCase {
    std::string name;
    Write write;
    QString statement;
};
void PrintTo(const RefusedCase &given, std::ostream *out) { *out << given.name; }

class RefusedWriteTest : public ChipTableTest, public ::testing::WithParamInterface<RefusedCase> {};

// The model name is taken already, in another case.
TEST_P(RefusedWriteTest, ShowsTheStatementKeepsTheRowAndLeavesTheFile) {
    const RefusedCase &given = GetParam();
    const int row = given.write == Write::Insert ? 2 : 1;

    const std::optional<DbError> error = Attempt(*model_, given.write, QStringLiteral("mx25l12845"));

    ASSERT_TRUE(error);
    EXPECT_EQ(error->Text(), QStringLiteral("UNIQUE constraint failed: ic.Model\n\n") + given.statement);
    EXPECT_EQ(model_->EditingRow(), row);
    EXPECT_EQ(Shown(row, "Model"), QStringLiteral("mx25l12845"));
    EXPECT_EQ(file_.Rows(), kChipRowsShown);

    model_->CancelRow();
    EXPECT_EQ(model_->rowCount(), 2);
    EXPECT_EQ(Shown(1, "Model"), QStringLiteral("W25Q80"));
}

INSTANTIATE_TEST_SUITE_P(Writes, RefusedWriteTest,
                         ::testing::Values(RefusedCase{"Update", Write::Update, kUpdateRow9},
                                           RefusedCase{"Insert", Write::Insert, kInsert}),
                         CaseName());

struct LockedCase {
    std::string name;
    Write write;
    QString statement;
    QStringList written;
};
void PrintTo(const LockedCase &given, std::ostream *out) { *out << given.name; }

class LockedFileTest : public ChipTableTest, public ::testing::WithParamInterface<LockedCase> {};

// Another connection holds the file; nothing typed is lost, and the same row
// is written once the lock is gone.
TEST_P(LockedFileTest, RefusesTheWriteUntilTheLockIsGone) {
    const LockedCase &given = GetParam();
    ChipFile locker(path_);
    locker.Exec("begin exclusive");

    const std::optional<DbError> error = Attempt(*model_, given.write, QStringLiteral("GD25Q16"));

    ASSERT_TRUE(error);
    EXPECT_EQ(error->Text(), QStringLiteral("database is locked\n\n") + given.statement);
    locker.Exec("rollback");
    EXPECT_EQ(file_.Rows(), kChipRowsShown);

    const std::optional<DbError> retried =
        given.write == Write::Delete ? model_->DeleteRows({1}) : model_->FinishRow();

    EXPECT_FALSE(retried);
    EXPECT_EQ(file_.Rows(), given.written);
}

const QString kRow9Renamed = QStringLiteral(
    "9|i:2|t:EF13|t:EF4014|t:GD25Q16|i:1024|i:64|r:0.25|null|null|null|null|null|null|null|null");
const QString kRow10Added =
    QStringLiteral("10|null|null|null|t:GD25Q16|null|null|null|null|null|null|null|null|null|null|null");

INSTANTIATE_TEST_SUITE_P(
    Writes, LockedFileTest,
    ::testing::Values(LockedCase{"Update", Write::Update, kUpdateRow9, {kChipRowsShown[0], kRow9Renamed}},
                      LockedCase{"Insert", Write::Insert, kInsert, kChipRowsShown + QStringList{kRow10Added}},
                      LockedCase{"Delete", Write::Delete, kDeleteRow9, {kChipRowsShown[0]}}),
    CaseName());

// Files the operator may bring that are not what the window expects: each is
// reported with the statement that met it, the file keeps its bytes and
// nothing crashes.
QByteArray FileBytes(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(DamagedChipFile, IsReportedAndLeftAsItWas) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("icdata.db"));
    QByteArray garbage(4096, '\x5A');
    garbage.replace(0, 16, "not a database!!");
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(garbage);
    }
    ChipTableDb database(path);
    ChipTableModel model(database);

    const std::optional<DbError> error = model.Load();

    ASSERT_TRUE(error);
    EXPECT_EQ(error->Text(), QStringLiteral("file is not a database\n\n") + kSelect);
    EXPECT_FALSE(model.InsertRow(0));
    EXPECT_EQ(FileBytes(path), garbage);
}

TEST_F(ChipTableTest, AFileLockedWhileOpeningIsReportedAndReadOnceFree) {
    ChipFile locker(path_);
    locker.Exec("begin exclusive");
    ChipTableDb database(path_);
    ChipTableModel model(database);

    const std::optional<DbError> error = model.Load();

    ASSERT_TRUE(error);
    EXPECT_EQ(error->Text(), QStringLiteral("database is locked\n\n") + kSelect);
    EXPECT_EQ(model.rowCount(), 0);
    locker.Exec("rollback");
    EXPECT_FALSE(model.Load());
    EXPECT_EQ(model.rowCount(), 2);
}

TEST_F(ChipTableTest, AReadOnlyFileRefusesTheWriteAndKeepsTheRow) {
    if (geteuid() == 0) GTEST_SKIP() << "the superuser writes read-only files";
    ASSERT_TRUE(QFile::setPermissions(path_, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    Open();
    ASSERT_TRUE(Type(1, "Model", QStringLiteral("GD25Q16")));

    const std::optional<DbError> error = model_->FinishRow();

    ASSERT_TRUE(error);
    EXPECT_EQ(error->Text(), QStringLiteral("attempt to write a readonly database\n\n") + kUpdateRow9);
    EXPECT_EQ(model_->EditingRow(), 1);
    EXPECT_EQ(file_.Rows(), kChipRowsShown);
}

// A table of other columns is shown as it is; a column whose name can't be a
// statement parameter makes the write fail with a message, not a crash.
TEST(UnexpectedChipColumns, AreShownAndAWriteTheyBreakIsRefused) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("icdata.db"));
    ChipFile file(path);
    file.Exec("create table ic (Model TEXT, \"Pin count\" INTEGER)");
    file.Exec("insert into ic values ('AT24C02', 8)");
    ChipTableDb database(path);
    ChipTableModel model(database);
    ASSERT_FALSE(model.Load());
    ASSERT_EQ(model.columnCount(), 2);
    EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Pin count"));
    EXPECT_EQ(model.data(model.index(0, 1)).toString(), QStringLiteral("8"));

    ASSERT_TRUE(model.setData(model.index(0, 0), QStringLiteral("AT24C04")));
    const std::optional<DbError> error = model.FinishRow();

    ASSERT_TRUE(error);
    EXPECT_TRUE(error->Text().endsWith(
        QStringLiteral("\n\nupdate \"ic\" set \"Model\"=:Model,\"Pin count\"=:Pin count where rowid='1'")))
        << error->Text().toStdString();
    EXPECT_EQ(model.EditingRow(), 0);
    EXPECT_EQ(file.Rows(), QStringList{QStringLiteral("1|t:AT24C02|i:8")});
}

}  // namespace

// The chip table window under the offscreen platform, on icdata.db in a
// temporary working directory.
#include <memory>
#include <ostream>

#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "CaseName.h"
#include "ChipFile.h"
#include "ModalRunner.h"
#include "Un_IC.h"

namespace {

// Answers each message box with `answer` and keeps its text.
class BoxRecorder : public ModalRunner {
public:
    QMessageBox::StandardButton answer = QMessageBox::Ok;
    QStringList messages;

    int Run(QDialog &dialog) override {
        messages.append(static_cast<QMessageBox &>(dialog).text());
        return answer;
    }
};

const QString kModelTaken = QStringLiteral(
    "UNIQUE constraint failed: ic.Model\n\n"
    "update \"ic\" set \"Index\"=:Index,\"ID90\"=:ID90,\"ID9F\"=:ID9F,\"Model\"=:Model,\"CountKB\"=:CountKB,"
    "\"BlockKB\"=:BlockKB,\"SectorKB\"=:SectorKB,\"Manufacturers\"=:Manufacturers,\"Description\"=:Description,"
    "\"Remark\"=:Remark,\"PinDescription\"=:PinDescription,\"PinJpg\"=:PinJpg,\"Count\"=:Count,\"Block\"=:Block,"
    "\"Sector\"=:Sector where rowid='9'");

class IcWindowTest : public ::testing::Test {
protected:
    IcWindowTest() { QDir::setCurrent(folder_.path()); }
    ~IcWindowTest() override {
        window_.reset();
        QDir::setCurrent(previous_);
    }

    ChipFile &File() {
        if (!file_) file_ = std::make_unique<ChipFile>(folder_.filePath(QStringLiteral("icdata.db")));
        return *file_;
    }

    TfrmIC &Open() {
        window_ = std::make_unique<TfrmIC>(modals_);
        window_->show();
        return *window_;
    }

    QTableView *Grid() { return window_->findChild<QTableView *>(QStringLiteral("gridIC")); }
    QAbstractItemModel &Model() { return *Grid()->model(); }
    QString Model(int row) { return Model().index(row, 3).data().toString(); }

    void Go(int row) { Grid()->setCurrentIndex(Model().index(row, 3)); }
    void Key(Qt::Key key) { QTest::keyClick(Grid(), key); }

    // Types into the current cell through its editor, as the operator does.
    void TypeIntoCell(const QString &text) {
        Grid()->edit(Grid()->currentIndex());
        auto *editor = Grid()->findChild<QLineEdit *>();
        ASSERT_NE(editor, nullptr);
        editor->setText(text);
        QTest::keyClick(editor, Qt::Key_Return);
    }

    QString previous_ = QDir::currentPath();
    QTemporaryDir folder_;
    BoxRecorder modals_;
    std::unique_ptr<ChipFile> file_;
    std::unique_ptr<TfrmIC> window_;
};

TEST_F(IcWindowTest, FreshFolderGetsAnEmptyFileAndTheMissingTableReported) {
    TfrmIC &window = Open();

    EXPECT_EQ(window.objectName(), QStringLiteral("frmIC"));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("芯片维护"));
    EXPECT_TRUE(QFile::exists(folder_.filePath(QStringLiteral("icdata.db"))));
    EXPECT_EQ(modals_.messages,
              QStringList{QStringLiteral("no such table: ic\n\nselect *, rowid as rowid from \"ic\"")});
    Key(Qt::Key_Insert);
    EXPECT_EQ(Model().rowCount(), 0);
}

TEST_F(IcWindowTest, ShowsTheColumnsAndTheButtonsDoNothing) {
    File().CreateSeeded();
    Open();
    QStringList headers;
    for (int column = 0; column < Model().columnCount(); ++column) {
        headers.append(Model().headerData(column, Qt::Horizontal).toString());
    }
    EXPECT_EQ(headers, QStringList({"Index", "ID90", "ID9F", "Model", "CountKB", "BlockKB", "SectorKB",
                                    "Manufacturers", "Description", "Remark", "PinDescription", "PinJpg", "Count",
                                    "Block", "Sector"}));

    for (const char *name : {"Button1", "Button2"}) {
        QTest::mouseClick(window_->findChild<QPushButton *>(QLatin1String(name)), Qt::LeftButton);
    }

    EXPECT_EQ(window_->findChild<QPushButton *>(QStringLiteral("Button1"))->text(), QStringLiteral("新增"));
    EXPECT_EQ(window_->findChild<QPushButton *>(QStringLiteral("Button2"))->text(), QStringLiteral("删除"));
    EXPECT_EQ(Model().rowCount(), 2);
    EXPECT_TRUE(modals_.messages.isEmpty());
    EXPECT_EQ(File().Rows(), kChipRowsShown);
}

TEST_F(IcWindowTest, EditedRowIsWrittenWhenTheOperatorLeavesIt) {
    File().CreateSeeded();
    Open();
    Go(1);
    TypeIntoCell(QStringLiteral("W25Q80DV"));
    EXPECT_EQ(File().Rows(), kChipRowsShown);

    Key(Qt::Key_Up);

    EXPECT_EQ(File().Value("select Model from ic where rowid = 9"), QStringLiteral("W25Q80DV"));
    EXPECT_TRUE(modals_.messages.isEmpty());
}

TEST_F(IcWindowTest, RefusedRowShowsTheErrorAndKeepsTheOperatorOnIt) {
    File().CreateSeeded();
    Open();
    Go(1);
    TypeIntoCell(QStringLiteral("mx25l12845"));

    Key(Qt::Key_Up);

    EXPECT_EQ(modals_.messages, QStringList{kModelTaken});
    EXPECT_EQ(Grid()->currentIndex().row(), 1);
    EXPECT_EQ(Model(1), QStringLiteral("mx25l12845"));
    EXPECT_EQ(File().Rows(), kChipRowsShown);

    Key(Qt::Key_Escape);
    EXPECT_EQ(Model(1), QStringLiteral("W25Q80"));
}

TEST_F(IcWindowTest, InsertedAndAppendedRowsAreWrittenOnlyWhenTypedInto) {
    File().CreateSeeded();
    Open();
    Go(0);
    Key(Qt::Key_Insert);
    EXPECT_EQ(Model().rowCount(), 3);
    Key(Qt::Key_Down);
    EXPECT_EQ(Model().rowCount(), 2);

    Go(1);
    Key(Qt::Key_Down);
    ASSERT_EQ(Grid()->currentIndex().row(), 2);
    TypeIntoCell(QStringLiteral("GD25Q16"));
    Key(Qt::Key_Up);

    EXPECT_EQ(File().Value("select Model from ic where rowid = 10"), QStringLiteral("GD25Q16"));
    EXPECT_EQ(File().Rows().size(), 3);
}

struct DeleteCase {
    std::string name;
    bool bothSelected;
    QMessageBox::StandardButton answer;
    QString question;
    QStringList left;
};
void PrintTo(const DeleteCase &given, std::ostream *out) { *out << given.name; }

class DeleteKeyTest : public IcWindowTest, public ::testing::WithParamInterface<DeleteCase> {};

TEST_P(DeleteKeyTest, AsksAndDeletesAtOnce) {
    const DeleteCase &given = GetParam();
    File().CreateSeeded();
    Open();
    Go(1);
    if (given.bothSelected) {
        Grid()->selectRow(0);
        Grid()->selectionModel()->select(Model().index(1, 0),
                                         QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    modals_.answer = given.answer;

    Key(Qt::Key_Delete);

    EXPECT_EQ(modals_.messages, QStringList{given.question});
    EXPECT_EQ(File().Rows(), given.left);
    EXPECT_EQ(Model().rowCount(), given.left.size());
}

INSTANTIATE_TEST_SUITE_P(
    Answers, DeleteKeyTest,
    ::testing::Values(DeleteCase{"Cancelled", false, QMessageBox::Cancel, "删除记录?", kChipRowsShown},
                      DeleteCase{"CurrentRow", false, QMessageBox::Ok, "删除记录?", {kChipRowsShown[0]}},
                      DeleteCase{"SelectedRows", true, QMessageBox::Ok, "删除所有选择的记录?", {}}),
    CaseName());

TEST_F(IcWindowTest, ClosingMidEditWritesNothingAndReopeningReadsTheFile) {
    File().CreateSeeded();
    Open();
    Go(0);
    TypeIntoCell(QStringLiteral("never written"));
    window_->reject();
    window_.reset();
    EXPECT_EQ(File().Rows(), kChipRowsShown);

    File().Exec("update ic set Model = 'MX25L12835' where rowid = 5");
    Open();

    EXPECT_EQ(Model(0), QStringLiteral("MX25L12835"));
}

}  // namespace

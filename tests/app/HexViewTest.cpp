// The hex view under the offscreen platform: what its rows read, what the
// operator's keys and clicks do to the buffer, and what it paints.
#include "HexView.h"

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

#include "BufferTesting.h"
#include "CaseName.h"
#include "QtPrinters.h"

void PrintTo(const HexView::ByteRange &range, std::ostream *out) {
    *out << range.count << " bytes from " << range.first;
}

namespace {

// Failure messages name the case instead of dumping it.
template <typename Case>
    requires requires(const Case &c) { std::string(c.name); }
void PrintTo(const Case &c, std::ostream *out) {
    *out << c.name;
}

constexpr qsizetype kMiB = 1024 * 1024;

// The view inside a window next to another focusable widget, as in the
// program; a top-level widget would keep a cursor of its own when unset.
class HexViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        window_.resize(720, 360);
        view_.setGeometry(0, 0, 720, 320);
        other_.setGeometry(0, 330, 720, 30);
        window_.show();
        window_.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window_));
        view_.setFocus();
        ASSERT_TRUE(view_.hasFocus());
    }

    QWidget window_;
    HexView &view_ = *new HexView(&window_);
    QLineEdit &other_ = *new QLineEdit(&window_);
};

struct OffsetCase {
    std::string name;
    qsizetype size;
    bool insertMode;
    qsizetype rows;
    const char *firstOffset;
    const char *lastOffset;
};

class HexViewOffsetColumnTest : public HexViewTest, public ::testing::WithParamInterface<OffsetCase> {};

TEST_P(HexViewOffsetColumnTest, PadsEveryOffsetToTheDigitsOfTheLastRow) {
    LoadBytes(view_, Pattern(GetParam().size));
    if (GetParam().insertMode) {
        QTest::keyClick(&view_, Qt::Key_Insert);
    }
    ASSERT_EQ(view_.InsertMode(), GetParam().insertMode);
    ASSERT_EQ(view_.RowCount(), GetParam().rows);
    EXPECT_EQ(view_.TextOfRow(0).offset, GetParam().firstOffset);
    EXPECT_EQ(view_.TextOfRow(GetParam().rows - 1).offset, GetParam().lastOffset);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, HexViewOffsetColumnTest,
    ::testing::Values(OffsetCase{"Empty", 0, false, 1, "0x0", "0x0"},
                      OffsetCase{"EmptyInInsertMode", 0, true, 1, "0x0", "0x0"},
                      OffsetCase{"OneByte", 1, false, 1, "0x0", "0x0"},
                      OffsetCase{"OneRow", 16, false, 1, "0x0", "0x0"},
                      OffsetCase{"OneRowInInsertMode", 16, true, 2, "0x00", "0x10"},
                      OffsetCase{"SeventeenBytes", 17, false, 2, "0x00", "0x10"},
                      OffsetCase{"OneMiB", kMiB, false, 65536, "0x00000", "0xFFFF0"},
                      OffsetCase{"OneMiBInInsertMode", kMiB, true, 65537, "0x000000", "0x100000"},
                      OffsetCase{"SixteenMiB", 16 * kMiB, false, 1048576, "0x000000", "0xFFFFF0"}),
    CaseName());

TEST_F(HexViewTest, RowsShowHexInTwoByteColumnsAndSevenBitCharacters) {
    LoadBytes(view_, QByteArray::fromHex("001F20417E7F80FF0A61626364656667") + "xyz");

    const HexView::RowText full = view_.TextOfRow(0);
    EXPECT_EQ(full.offset, "0x00");
    EXPECT_EQ(full.hex, "001F 2041 7E7F 80FF 0A61 6263 6465 6667");
    EXPECT_EQ(full.characters, QString::fromLatin1(".. A~\x7F...abcdefg"));

    const HexView::RowText partial = view_.TextOfRow(1);
    EXPECT_EQ(partial.offset, "0x10");
    EXPECT_EQ(partial.hex, "7879 7A");
    EXPECT_EQ(partial.characters, "xyz");
}

struct KeysCase {
    std::string name;
    std::function<void(QWidget &)> keys;
    QByteArray bytesAfter;
    std::vector<qsizetype> marksAfter;
    qsizetype cursorAfter;
    std::optional<HexView::ByteRange> selectionAfter = std::nullopt;
};

class HexViewKeysTest : public HexViewTest, public ::testing::WithParamInterface<KeysCase> {};

TEST_P(HexViewKeysTest, EditTheBufferMoveTheCursorAndSelect) {
    LoadBytes(view_, "ABCDEFGHIJKLMNOPQRST");
    GetParam().keys(view_);
    EXPECT_EQ(view_.Buffer().Bytes(), GetParam().bytesAfter);
    EXPECT_EQ(MarkedOffsets(view_.Buffer()), GetParam().marksAfter);
    EXPECT_EQ(view_.Buffer().Cursor(), GetParam().cursorAfter);
    EXPECT_EQ(view_.Selection(), GetParam().selectionAfter);
}

void ShiftClicks(QWidget &w, Qt::Key key, int times) {
    for (int i = 0; i < times; ++i) {
        QTest::keyClick(&w, key, Qt::ShiftModifier);
    }
}

const QByteArray kStart = "ABCDEFGHIJKLMNOPQRST";

INSTANTIATE_TEST_SUITE_P(
    Keys, HexViewKeysTest,
    ::testing::Values(
        KeysCase{"HexDigitsOverwriteNibbles", [](QWidget &w) { QTest::keyClicks(&w, "4a5"); },
                 "\x4A\x52" + kStart.mid(2), {0, 1}, 1},
        KeysCase{"NonHexDigitsAreIgnored", [](QWidget &w) { QTest::keyClicks(&w, "g z"); }, kStart, {}, 0},
        KeysCase{"CharactersOverwriteAfterTab",
                 [](QWidget &w) {
                     QTest::keyClick(&w, Qt::Key_Tab);
                     QTest::keyClicks(&w, "xy");
                 },
                 "xy" + kStart.mid(2), {0, 1}, 2},
        KeysCase{"OverwriteStopsAtTheLastByte",
                 [](QWidget &w) {
                     QTest::keyClick(&w, Qt::Key_End, Qt::ControlModifier);
                     QTest::keyClicks(&w, "3132");
                 },
                 kStart.left(19) + "2", {19}, 19},
        KeysCase{"DeleteDoesNothingInOverwriteMode",
                 [](QWidget &w) {
                     QTest::keyClick(&w, Qt::Key_Delete);
                     QTest::keyClick(&w, Qt::Key_Right);
                     QTest::keyClick(&w, Qt::Key_Backspace);
                 },
                 kStart, {}, 1},
        KeysCase{"InsertModeInsertsTypedHex",
                 [](QWidget &w) {
                     QTest::keyClick(&w, Qt::Key_Insert);
                     QTest::keyClicks(&w, "3132");
                 },
                 "12" + kStart, {0, 1}, 2},
        KeysCase{"InsertModeAppendsTypedCharacters",
                 [](QWidget &w) {
                     QTest::keyClick(&w, Qt::Key_Insert);
                     QTest::keyClick(&w, Qt::Key_Tab);
                     QTest::keyClick(&w, Qt::Key_End, Qt::ControlModifier);
                     QTest::keyClicks(&w, "!?");
                 },
                 kStart + "!?", {20, 21}, 22},
        KeysCase{"InsertModeDeleteAndBackspaceRemoveBytes",
                 [](QWidget &w) {
                     QTest::keyClick(&w, Qt::Key_Insert);
                     QTest::keyClick(&w, Qt::Key_Delete);
                     QTest::keyClick(&w, Qt::Key_Right);
                     QTest::keyClick(&w, Qt::Key_Right);
                     QTest::keyClick(&w, Qt::Key_Backspace);
                 },
                 "BDEFGHIJKLMNOPQRST", {}, 1},
        KeysCase{"CtrlZUndoesAWholeTypedByte",
                 [](QWidget &w) {
                     QTest::keyClicks(&w, "4142");
                     QTest::keyClick(&w, Qt::Key_Z, Qt::ControlModifier);
                 },
                 kStart, {0}, 1},
        KeysCase{"CtrlZUndoesInsertsAndDeletes",
                 [](QWidget &w) {
                     QTest::keyClick(&w, Qt::Key_Insert);
                     QTest::keyClicks(&w, "41");
                     QTest::keyClick(&w, Qt::Key_Delete);
                     QTest::keyClick(&w, Qt::Key_Z, Qt::ControlModifier);
                     QTest::keyClick(&w, Qt::Key_Z, Qt::ControlModifier);
                 },
                 kStart, {}, 0},
        KeysCase{"DownAndEndOfRow",
                 [](QWidget &w) {
                     QTest::keyClick(&w, Qt::Key_Down);
                     QTest::keyClick(&w, Qt::Key_End);
                 },
                 kStart, {}, 19},
        KeysCase{"HomeOfRowAndUpStopAtTheStart",
                 [](QWidget &w) {
                     QTest::keyClick(&w, Qt::Key_Down);
                     QTest::keyClick(&w, Qt::Key_Right);
                     QTest::keyClick(&w, Qt::Key_Home);
                     QTest::keyClick(&w, Qt::Key_Up);
                     QTest::keyClick(&w, Qt::Key_Up);
                 },
                 kStart, {}, 0},
        KeysCase{"CtrlEndInInsertModeIsAfterTheLastByte",
                 [](QWidget &w) {
                     QTest::keyClick(&w, Qt::Key_Insert);
                     QTest::keyClick(&w, Qt::Key_End, Qt::ControlModifier);
                 },
                 kStart, {}, 20},
        KeysCase{"LeavingInsertModeBringsTheCursorBackOntoTheLastByte",
                 [](QWidget &w) {
                     QTest::keyClick(&w, Qt::Key_Insert);
                     QTest::keyClick(&w, Qt::Key_End, Qt::ControlModifier);
                     QTest::keyClick(&w, Qt::Key_Insert);
                 },
                 kStart, {}, 19},
        KeysCase{"ShiftRightSelectsFromTheAnchorToTheCursor", [](QWidget &w) { ShiftClicks(w, Qt::Key_Right, 2); },
                 kStart, {}, 2, HexView::ByteRange{0, 3}},
        KeysCase{"ShiftLeftSelectsBackwards",
                 [](QWidget &w) {
                     QTest::keyClick(&w, Qt::Key_End, Qt::ControlModifier);
                     ShiftClicks(w, Qt::Key_Left, 2);
                 },
                 kStart, {}, 17, HexView::ByteRange{17, 3}},
        KeysCase{"ShiftDownAndShiftEndOfRow",
                 [](QWidget &w) {
                     QTest::keyClick(&w, Qt::Key_Right);
                     ShiftClicks(w, Qt::Key_Down, 1);
                     ShiftClicks(w, Qt::Key_End, 1);
                 },
                 kStart, {}, 19, HexView::ByteRange{1, 19}},
        KeysCase{"ShiftEndSelectsTheRestOfTheRow",
                 [](QWidget &w) {
                     QTest::keyClick(&w, Qt::Key_Right);
                     ShiftClicks(w, Qt::Key_End, 1);
                 },
                 kStart, {}, 15, HexView::ByteRange{1, 15}},
        KeysCase{"ShiftPageDownSelectsToTheLastByte", [](QWidget &w) { ShiftClicks(w, Qt::Key_PageDown, 1); },
                 kStart, {}, 19, HexView::ByteRange{0, 20}},
        KeysCase{"CtrlShiftHomeSelectsToTheStart",
                 [](QWidget &w) {
                     QTest::keyClick(&w, Qt::Key_Right);
                     QTest::keyClick(&w, Qt::Key_Home, Qt::ControlModifier | Qt::ShiftModifier);
                 },
                 kStart, {}, 0, HexView::ByteRange{0, 2}},
        KeysCase{"CtrlShiftEndInInsertModeSelectsNothingPastTheLastByte",
                 [](QWidget &w) {
                     QTest::keyClick(&w, Qt::Key_Insert);
                     QTest::keyClick(&w, Qt::Key_End, Qt::ControlModifier | Qt::ShiftModifier);
                 },
                 kStart, {}, 20, HexView::ByteRange{0, 20}},
        KeysCase{"CtrlASelectsAll", [](QWidget &w) { QTest::keyClick(&w, Qt::Key_A, Qt::ControlModifier); }, kStart,
                 {}, 19, HexView::ByteRange{0, 20}},
        KeysCase{"PlainMoveClearsTheSelection",
                 [](QWidget &w) {
                     ShiftClicks(w, Qt::Key_Right, 2);
                     QTest::keyClick(&w, Qt::Key_Left);
                 },
                 kStart, {}, 1},
        KeysCase{"TypingClearsTheSelection",
                 [](QWidget &w) {
                     QTest::keyClick(&w, Qt::Key_A, Qt::ControlModifier);
                     QTest::keyClicks(&w, "4");
                 },
                 kStart.left(19) + "D", {19}, 19},
        KeysCase{"ModeAndFieldSwitchesKeepTheSelection",
                 [](QWidget &w) {
                     ShiftClicks(w, Qt::Key_Right, 1);
                     QTest::keyClick(&w, Qt::Key_Insert);
                     QTest::keyClick(&w, Qt::Key_Tab);
                 },
                 kStart, {}, 1, HexView::ByteRange{0, 2}},
        KeysCase{"InsertModeDeleteRemovesTheSelection",
                 [](QWidget &w) {
                     QTest::keyClick(&w, Qt::Key_Insert);
                     QTest::keyClick(&w, Qt::Key_Right);
                     ShiftClicks(w, Qt::Key_Right, 2);
                     QTest::keyClick(&w, Qt::Key_Delete);
                 },
                 "A" + kStart.mid(4), {}, 1},
        KeysCase{"InsertModeBackspaceRemovesASelectionUpToTheEnd",
                 [](QWidget &w) {
                     QTest::keyClick(&w, Qt::Key_Insert);
                     QTest::keyClick(&w, Qt::Key_End, Qt::ControlModifier);
                     ShiftClicks(w, Qt::Key_Left, 3);
                     QTest::keyClick(&w, Qt::Key_Backspace);
                 },
                 kStart.left(17), {}, 17},
        KeysCase{"CtrlZRestoresADeletedSelectionInOneStep",
                 [](QWidget &w) {
                     QTest::keyClick(&w, Qt::Key_Insert);
                     QTest::keyClick(&w, Qt::Key_A, Qt::ControlModifier);
                     QTest::keyClick(&w, Qt::Key_Delete);
                     QTest::keyClick(&w, Qt::Key_Z, Qt::ControlModifier);
                 },
                 kStart, {}, 0},
        KeysCase{"OverwriteModeKeepsASelectionOnDelete",
                 [](QWidget &w) {
                     QTest::keyClick(&w, Qt::Key_A, Qt::ControlModifier);
                     QTest::keyClick(&w, Qt::Key_Delete);
                     QTest::keyClick(&w, Qt::Key_Backspace);
                 },
                 kStart, {}, 19, HexView::ByteRange{0, 20}}),
    CaseName());

struct CopyCase {
    std::string name;
    std::function<void(QWidget &)> keys;
    QString copied;
};

class HexViewCopyTest : public HexViewTest, public ::testing::WithParamInterface<CopyCase> {};

TEST_P(HexViewCopyTest, CtrlCCopiesWhatTheActiveFieldShows) {
    QGuiApplication::clipboard()->setText("untouched");
    LoadBytes(view_, QByteArray::fromHex("4A00FF207E7F806162"));
    GetParam().keys(view_);
    QTest::keyClick(&view_, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), GetParam().copied);
}

INSTANTIATE_TEST_SUITE_P(
    Copy, HexViewCopyTest,
    ::testing::Values(
        CopyCase{"HexSelection", [](QWidget &w) { ShiftClicks(w, Qt::Key_Right, 2); }, "4A 00 FF"},
        CopyCase{"BackwardHexSelection",
                 [](QWidget &w) {
                     QTest::keyClick(&w, Qt::Key_End, Qt::ControlModifier);
                     ShiftClicks(w, Qt::Key_Left, 2);
                 },
                 "80 61 62"},
        CopyCase{"CharacterSelectionShowsDotsForNonPrintableBytes",
                 [](QWidget &w) {
                     QTest::keyClick(&w, Qt::Key_Tab);
                     QTest::keyClick(&w, Qt::Key_A, Qt::ControlModifier);
                 },
                 QString::fromLatin1("J.. ~\x7F.ab")},
        CopyCase{"HexByteUnderTheCursor", [](QWidget &w) { QTest::keyClick(&w, Qt::Key_Right); }, "00"},
        CopyCase{"CharacterUnderTheCursor",
                 [](QWidget &w) {
                     QTest::keyClick(&w, Qt::Key_Tab);
                     QTest::keyClick(&w, Qt::Key_End);
                     QTest::keyClick(&w, Qt::Key_Left);
                     QTest::keyClick(&w, Qt::Key_Left);
                 },
                 "."},
        CopyCase{"NothingAfterTheLastByteInInsertMode",
                 [](QWidget &w) {
                     QTest::keyClick(&w, Qt::Key_Insert);
                     QTest::keyClick(&w, Qt::Key_End, Qt::ControlModifier);
                 },
                 "untouched"}),
    CaseName());

TEST_F(HexViewTest, CopyOfTheWholeSixteenMiBImageHasEveryByte) {
    const QByteArray bytes = Pattern(16 * kMiB);
    LoadBytes(view_, bytes);
    QTest::keyClick(&view_, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(&view_, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QString::fromLatin1(bytes.toHex(' ').toUpper()));
}

TEST_F(HexViewTest, TabSwitchesBetweenTheFieldsAndKeepsTheFocus) {
    EXPECT_EQ(view_.ActiveField(), HexView::Field::Hex);
    QTest::keyClick(&view_, Qt::Key_Tab);
    EXPECT_EQ(view_.ActiveField(), HexView::Field::Characters);
    QTest::keyClick(&view_, Qt::Key_Tab);
    EXPECT_EQ(view_.ActiveField(), HexView::Field::Hex);
    EXPECT_TRUE(view_.hasFocus());
}

TEST_F(HexViewTest, PageDownAndCtrlEndKeepTheCursorInSight) {
    LoadBytes(view_, Pattern(64 * 1024));
    QTest::keyClick(&view_, Qt::Key_PageDown);
    const qsizetype pageRow = view_.Buffer().Cursor() / HexView::kBytesPerRow;
    EXPECT_GT(pageRow, 0);
    EXPECT_FALSE(view_.ByteRect(HexView::Field::Hex, view_.Buffer().Cursor()).isEmpty());

    QTest::keyClick(&view_, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(view_.Buffer().Cursor(), 64 * 1024 - 1);
    EXPECT_EQ(view_.FirstVisibleRow(), view_.verticalScrollBar()->maximum());
    EXPECT_FALSE(view_.ByteRect(HexView::Field::Characters, view_.Buffer().Cursor()).isEmpty());

    QTest::keyClick(&view_, Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(view_.Buffer().Cursor(), 0);
    EXPECT_EQ(view_.FirstVisibleRow(), 0);
}

TEST_F(HexViewTest, ClickPlacesTheCursorInTheFieldClicked) {
    LoadBytes(view_, Pattern(100));
    QTest::mousePress(view_.viewport(), Qt::LeftButton, {}, view_.ByteRect(HexView::Field::Characters, 37).center());
    EXPECT_EQ(view_.Buffer().Cursor(), 37);
    EXPECT_EQ(view_.ActiveField(), HexView::Field::Characters);

    QTest::mousePress(view_.viewport(), Qt::LeftButton, {}, view_.ByteRect(HexView::Field::Hex, 66).center());
    EXPECT_EQ(view_.Buffer().Cursor(), 66);
    EXPECT_EQ(view_.ActiveField(), HexView::Field::Hex);
}

TEST_F(HexViewTest, DragWithTheLeftButtonSelectsInTheFieldPressed) {
    LoadBytes(view_, Pattern(100));
    QWidget &viewport = *view_.viewport();
    QTest::mousePress(&viewport, Qt::LeftButton, {}, view_.ByteRect(HexView::Field::Hex, 40).center());
    QTest::mouseMove(&viewport, view_.ByteRect(HexView::Field::Hex, 5).center());
    EXPECT_EQ(view_.Selection(), HexView::ByteRange(5, 36));
    EXPECT_EQ(view_.Buffer().Cursor(), 5);

    QTest::mouseMove(&viewport, view_.ByteRect(HexView::Field::Characters, 90).center());
    QTest::mouseRelease(&viewport, Qt::LeftButton, {}, view_.ByteRect(HexView::Field::Characters, 90).center());
    EXPECT_EQ(view_.Selection(), HexView::ByteRange(5, 36));

    QTest::mousePress(&viewport, Qt::LeftButton, {}, view_.ByteRect(HexView::Field::Characters, 70).center());
    EXPECT_EQ(view_.Selection(), std::nullopt);
    EXPECT_EQ(view_.Buffer().Cursor(), 70);
}

TEST_F(HexViewTest, LoadClearsTheSelection) {
    LoadBytes(view_, Pattern(40));
    QTest::keyClick(&view_, Qt::Key_A, Qt::ControlModifier);
    ASSERT_TRUE(view_.Selection());
    LoadBytes(view_, Pattern(40, 1));
    EXPECT_EQ(view_.Selection(), std::nullopt);
}

TEST_F(HexViewTest, SelectionStaysWithinABufferShrunkUnderIt) {
    LoadBytes(view_, Pattern(40));
    QTest::keyClick(&view_, Qt::Key_A, Qt::ControlModifier);
    view_.Buffer().DeleteBytes(10, 30);
    EXPECT_EQ(view_.Selection(), HexView::ByteRange(0, 10));
}

TEST_F(HexViewTest, SelectedBytesArePaintedInTheHighlightColour) {
    LoadBytes(view_, QByteArray(32, ' '));
    QTest::keyClick(&view_, Qt::Key_Tab);
    QTest::keyClick(&view_, Qt::Key_Space);
    ShiftClicks(view_, Qt::Key_Right, 2);
    ASSERT_EQ(view_.Selection(), HexView::ByteRange(1, 3));

    const QImage image = view_.viewport()->grab().toImage();
    const QColor highlight = view_.palette().color(QPalette::Highlight);
    EXPECT_EQ(image.pixelColor(view_.ByteRect(HexView::Field::Characters, 1).center()), highlight);
    EXPECT_EQ(image.pixelColor(view_.ByteRect(HexView::Field::Hex, 2).topLeft()), highlight);
    EXPECT_EQ(image.pixelColor(view_.ByteRect(HexView::Field::Characters, 0).center()), QColor(0xFF, 0xFF, 0xA8));
    EXPECT_EQ(image.pixelColor(view_.ByteRect(HexView::Field::Characters, 4).center()),
              view_.palette().color(QPalette::Base));
}

TEST_F(HexViewTest, ChangedBytesArePaintedOnLightYellow) {
    LoadBytes(view_, QByteArray(32, ' '));
    QTest::keyClick(&view_, Qt::Key_Tab);
    QTest::keyClick(&view_, Qt::Key_Space);
    ASSERT_TRUE(view_.Buffer().IsChanged(0));

    const QImage image = view_.viewport()->grab().toImage();
    const QRect changed = view_.ByteRect(HexView::Field::Characters, 0);
    const QRect unchanged = view_.ByteRect(HexView::Field::Characters, 5);
    EXPECT_EQ(image.pixelColor(changed.center()), QColor(0xFF, 0xFF, 0xA8));
    EXPECT_EQ(image.pixelColor(unchanged.center()), view_.palette().color(QPalette::Base));
}

struct FocusCase {
    std::string name;
    bool focused;
    QColor cursorFrame;
    QPalette::ColorRole viewEdge;
};

class HexViewFocusPaintTest : public HexViewTest, public ::testing::WithParamInterface<FocusCase> {};

TEST_P(HexViewFocusPaintTest, CursorFrameAndFocusFrameFollowTheFocus) {
    LoadBytes(view_, QByteArray(64, ' '));
    QTest::keyClick(&view_, Qt::Key_Down);
    if (!GetParam().focused) {
        other_.setFocus();
        ASSERT_FALSE(view_.hasFocus());
    }

    const QImage image = view_.viewport()->grab().toImage();
    const QRect cursor = view_.ByteRect(HexView::Field::Hex, view_.Buffer().Cursor());
    EXPECT_EQ(image.pixelColor(cursor.left(), cursor.center().y()), GetParam().cursorFrame);
    EXPECT_EQ(image.pixelColor(0, image.height() / 2), view_.palette().color(GetParam().viewEdge));
}

INSTANTIATE_TEST_SUITE_P(Focus, HexViewFocusPaintTest,
                         ::testing::Values(FocusCase{"Focused", true, QColor(0x00, 0x00, 0x80), QPalette::Highlight},
                                           FocusCase{"NotFocused", false, QColor(0x00, 0xFF, 0xFF), QPalette::Base}),
                         CaseName());

// Records the view's cursor when the load reads, then runs short.
class ShortStreamWatchingTheCursor : public QBuffer {
public:
    explicit ShortStreamWatchingTheCursor(const QWidget &view) : view_(view) {}
    qint64 size() const override { return QBuffer::size() + 1; }
    Qt::CursorShape shapeWhileReading = Qt::ArrowCursor;

protected:
    qint64 readData(char *data, qint64 maxSize) override {
        shapeWhileReading = view_.cursor().shape();
        return QBuffer::readData(data, maxSize);
    }

private:
    const QWidget &view_;
};

TEST_F(HexViewTest, FailedLoadShowsTheHourGlassThenRestoresTheCursor) {
    view_.setCursor(Qt::IBeamCursor);
    ShortStreamWatchingTheCursor stream(view_);
    stream.setData(Pattern(10));
    ASSERT_TRUE(stream.open(QIODevice::ReadOnly));

    EXPECT_THROW(view_.LoadBufferFromStream(stream), BufferError);
    EXPECT_EQ(stream.shapeWhileReading, Qt::WaitCursor);
    EXPECT_EQ(view_.cursor().shape(), Qt::IBeamCursor);
}

TEST_F(HexViewTest, FailedFileLoadLeavesNoCursorOfItsOwn) {
    LoadBytes(view_, Pattern(40));
    EXPECT_THROW(view_.LoadBufferFromFile("/nonexistent/folder/a.bin"), BufferError);
    EXPECT_FALSE(view_.testAttribute(Qt::WA_SetCursor));
    EXPECT_EQ(view_.Buffer().Size(), 40);
}

}  // namespace

#include "HexView.h"

#include <algorithm>

#include <QClipboard>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

namespace {

constexpr int kFontPixels = 15;
// Room for the focus frame around the content.
constexpr int kMargin = 2;
// Two digits per byte and one space after every two-byte column but the last.
constexpr int kHexFieldCharacters = 2 * HexView::kBytesPerRow + HexView::kBytesPerRow / 2 - 1;
constexpr int kHexColumnCharacters = 5;

const QColor kBlue(0x00, 0x00, 0xFF);
const QColor kNavy(0x00, 0x00, 0x80);
const QColor kMaroon(0x80, 0x00, 0x00);
const QColor kAqua(0x00, 0xFF, 0xFF);
const QColor kChangedBackground(0xFF, 0xFF, 0xA8);

// The substitute that font matching offers for a missing "Courier New" need
// not be fixed-pitch, so the system's fixed font is taken instead.
QFont ViewFont() {
    QFont font(QStringLiteral("Courier New"));
    font.setPixelSize(kFontPixels);
    if (QFontInfo(font).family().compare(font.family(), Qt::CaseInsensitive) == 0) {
        return font;
    }
    QFont fallback = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fallback.setPixelSize(kFontPixels);
    return fallback;
}

QString HexOf(char byte) {
    return QStringLiteral("%1").arg(static_cast<uchar>(byte), 2, 16, QLatin1Char('0')).toUpper();
}

QChar HexDigitOf(int nibble) {
    return QLatin1Char("0123456789ABCDEF"[nibble]);
}

QChar CharacterOf(char byte) {
    const auto value = static_cast<uchar>(byte);
    return value >= 0x20 && value <= 0x7F ? QChar(value) : QLatin1Char('.');
}

std::optional<int> HexDigitValue(QChar character) {
    const char latin = character.toLatin1();
    if (latin >= '0' && latin <= '9') {
        return latin - '0';
    }
    if (latin >= 'a' && latin <= 'f') {
        return latin - 'a' + 10;
    }
    if (latin >= 'A' && latin <= 'F') {
        return latin - 'A' + 10;
    }
    return std::nullopt;
}

}  // namespace

// Shows the hour-glass on the view for its life; on the way out, also when an
// operation throws, it redraws the view and puts the previous cursor back. A
// load also brings the cursor, now at the start, into sight; a save leaves the
// view where the operator scrolled it.
class HexView::BusyOperation {
public:
    enum class Kind { Load, Save };

    BusyOperation(HexView &view, Kind kind)
        : view_(view), kind_(kind), hadOwnCursor_(view.testAttribute(Qt::WA_SetCursor)), previous_(view.cursor()) {
        view_.setCursor(Qt::WaitCursor);
    }
    ~BusyOperation() {
        if (kind_ == Kind::Load) {
            view_.lowNibbleNext_ = false;
            view_.ContentChanged();
        } else {
            view_.viewport()->update();
        }
        if (hadOwnCursor_) {
            view_.setCursor(previous_);
        } else {
            view_.unsetCursor();
        }
    }
    BusyOperation(const BusyOperation &) = delete;
    BusyOperation &operator=(const BusyOperation &) = delete;

private:
    HexView &view_;
    Kind kind_;
    bool hadOwnCursor_;
    QCursor previous_;
};

HexView::HexView(QWidget *parent) : QAbstractScrollArea(parent) {
    setFont(ViewFont());
    setFocusPolicy(Qt::StrongFocus);
    horizontalScrollBar()->setSingleStep(CharWidth());
    UpdateScrollBars();
}

DataBuffer &HexView::Buffer() {
    return buffer_;
}

const DataBuffer &HexView::Buffer() const {
    return buffer_;
}

void HexView::LoadBufferFromStream(QIODevice &stream) {
    BusyOperation busy(*this, BusyOperation::Kind::Load);
    buffer_.LoadBufferFromStream(stream);
}

void HexView::SaveBufferToStream(QIODevice &stream) {
    BusyOperation busy(*this, BusyOperation::Kind::Save);
    buffer_.SaveBufferToStream(stream);
}

void HexView::LoadBufferFromFile(const QString &fileName) {
    BusyOperation busy(*this, BusyOperation::Kind::Load);
    buffer_.LoadBufferFromFile(fileName);
}

void HexView::SaveBufferToFile(const QString &fileName, bool ClearMarks) {
    BusyOperation busy(*this, BusyOperation::Kind::Save);
    buffer_.SaveBufferToFile(fileName, ClearMarks);
}

bool HexView::InsertMode() const {
    return insertMode_;
}

HexView::Field HexView::ActiveField() const {
    return activeField_;
}

bool HexView::ByteRange::Contains(qsizetype offset) const {
    return offset >= first && offset < first + count;
}

std::optional<HexView::ByteRange> HexView::Selection() const {
    if (!selectionAnchor_) {
        return std::nullopt;
    }
    const qsizetype first = std::min(*selectionAnchor_, buffer_.Cursor());
    const qsizetype last = std::min(std::max(*selectionAnchor_, buffer_.Cursor()), buffer_.Size() - 1);
    if (first > last) {
        return std::nullopt;
    }
    return ByteRange{first, last - first + 1};
}

qsizetype HexView::RowCount() const {
    const qsizetype places = buffer_.Size() + (insertMode_ ? 1 : 0);
    return std::max<qsizetype>(1, (places + kBytesPerRow - 1) / kBytesPerRow);
}

qsizetype HexView::FirstVisibleRow() const {
    return verticalScrollBar()->value();
}

HexView::RowText HexView::TextOfRow(qsizetype row) const {
    const qsizetype first = row * kBytesPerRow;
    RowText text;
    text.offset = OffsetText(row);
    const qsizetype end = std::min(first + kBytesPerRow, buffer_.Size());
    for (qsizetype offset = first; offset < end; ++offset) {
        const char byte = buffer_.Bytes()[offset];
        if (offset > first && (offset - first) % 2 == 0) {
            text.hex += QLatin1Char(' ');
        }
        text.hex += HexOf(byte);
        text.characters += CharacterOf(byte);
    }
    return text;
}

QString HexView::OffsetText(qsizetype row) const {
    return QStringLiteral("0x") +
           QString::number(row * kBytesPerRow, 16).toUpper().rightJustified(OffsetDigits(), QLatin1Char('0'));
}

QRect HexView::ByteRect(Field field, qsizetype offset) const {
    const qsizetype row = offset / kBytesPerRow;
    if (row < FirstVisibleRow() || row > FirstVisibleRow() + VisibleRows()) {
        return {};
    }
    const int column = static_cast<int>(offset % kBytesPerRow);
    const int charWidth = CharWidth();
    const int left = kMargin - horizontalScrollBar()->value();
    const int top = kMargin + RowHeight() * static_cast<int>(1 + row - FirstVisibleRow());
    if (field == Field::Hex) {
        return QRect(left + HexFieldLeft() + (2 * column + column / 2) * charWidth, top, 2 * charWidth, RowHeight());
    }
    return QRect(left + CharacterFieldLeft() + column * charWidth, top, charWidth, RowHeight());
}

int HexView::CharWidth() const {
    return fontMetrics().horizontalAdvance(QLatin1Char('0'));
}

int HexView::RowHeight() const {
    return fontMetrics().height();
}

int HexView::OffsetDigits() const {
    return static_cast<int>(QString::number((RowCount() - 1) * kBytesPerRow, 16).size());
}

// "0x", the digits and half a character of room on either side.
int HexView::OffsetColumnWidth() const {
    return (3 + OffsetDigits()) * CharWidth();
}

int HexView::HexFieldLeft() const {
    return OffsetColumnWidth() + CharWidth();
}

int HexView::CharacterFieldLeft() const {
    return HexFieldLeft() + (kHexFieldCharacters + 2) * CharWidth();
}

int HexView::ContentWidth() const {
    return CharacterFieldLeft() + (kBytesPerRow + 1) * CharWidth();
}

int HexView::VisibleRows() const {
    return std::max(1, (viewport()->height() - 2 * kMargin) / RowHeight() - 1);
}

qsizetype HexView::LastCursorPosition() const {
    return insertMode_ ? buffer_.Size() : std::max<qsizetype>(0, buffer_.Size() - 1);
}

std::optional<HexView::FieldColumn> HexView::FieldColumnAt(int x) const {
    const int character = (x - HexFieldLeft()) / CharWidth();
    if (x >= HexFieldLeft() && character < kHexFieldCharacters) {
        // The space after a column belongs to the column's second byte.
        const int withinColumn = std::min(character % kHexColumnCharacters, 3);
        return FieldColumn{Field::Hex, character / kHexColumnCharacters * 2 + withinColumn / 2};
    }
    const int column = (x - CharacterFieldLeft()) / CharWidth();
    if (x >= CharacterFieldLeft() && column < kBytesPerRow) {
        return FieldColumn{Field::Characters, column};
    }
    return std::nullopt;
}

std::optional<HexView::ByteHit> HexView::ByteAt(QPoint point) const {
    const int dataTop = kMargin + RowHeight();
    const std::optional<FieldColumn> hit = FieldColumnAt(point.x() - kMargin + horizontalScrollBar()->value());
    if (point.y() < dataTop || !hit) {
        return std::nullopt;
    }
    const qsizetype row = FirstVisibleRow() + (point.y() - dataTop) / RowHeight();
    return ByteHit{hit->field, row * kBytesPerRow + hit->column};
}

void HexView::LayoutChanged() {
    UpdateScrollBars();
    buffer_.SetCursor(std::min(buffer_.Cursor(), LastCursorPosition()));
    EnsureCursorVisible();
    viewport()->update();
}

// New bytes under a selection would leave it covering what the operator
// never chose, so every edit and load ends it.
void HexView::ContentChanged() {
    selectionAnchor_.reset();
    LayoutChanged();
}

// The vertical bar counts rows, so 16 MiB stay within its int range.
void HexView::UpdateScrollBars() {
    const int visibleRows = VisibleRows();
    verticalScrollBar()->setRange(0, static_cast<int>(std::max<qsizetype>(0, RowCount() - visibleRows)));
    verticalScrollBar()->setPageStep(visibleRows);
    horizontalScrollBar()->setRange(0, std::max(0, ContentWidth() + 2 * kMargin - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
}

void HexView::EnsureCursorVisible() {
    const qsizetype row = buffer_.Cursor() / kBytesPerRow;
    if (row < FirstVisibleRow()) {
        verticalScrollBar()->setValue(static_cast<int>(row));
    } else if (row >= FirstVisibleRow() + VisibleRows()) {
        verticalScrollBar()->setValue(static_cast<int>(row - VisibleRows() + 1));
    }
}

void HexView::PlaceCursor(qsizetype offset) {
    buffer_.SetCursor(std::clamp<qsizetype>(offset, 0, LastCursorPosition()));
    lowNibbleNext_ = false;
    EnsureCursorVisible();
    viewport()->update();
}

void HexView::MoveCursorTo(qsizetype offset) {
    selectionAnchor_.reset();
    PlaceCursor(offset);
}

void HexView::ExtendSelectionTo(qsizetype offset) {
    if (!selectionAnchor_) {
        selectionAnchor_ = buffer_.Cursor();
    }
    PlaceCursor(offset);
}

void HexView::SelectAll() {
    if (buffer_.Size() == 0) {
        return;
    }
    selectionAnchor_ = 0;
    PlaceCursor(buffer_.Size() - 1);
}

// One reserved string and no temporaries per byte: a selection may be the
// whole 16 MiB image.
void HexView::CopySelection() const {
    const ByteRange range = Selection().value_or(ByteRange{buffer_.Cursor(), 1});
    if (range.first >= buffer_.Size()) {
        return;
    }
    const QByteArray &bytes = buffer_.Bytes();
    QString text;
    if (activeField_ == Field::Hex) {
        text.reserve(3 * range.count - 1);
        for (qsizetype offset = range.first; offset < range.first + range.count; ++offset) {
            if (offset > range.first) {
                text += QLatin1Char(' ');
            }
            const auto value = static_cast<uchar>(bytes[offset]);
            text += HexDigitOf(value >> 4);
            text += HexDigitOf(value & 0x0F);
        }
    } else {
        text.reserve(range.count);
        for (qsizetype offset = range.first; offset < range.first + range.count; ++offset) {
            text += CharacterOf(bytes[offset]);
        }
    }
    QGuiApplication::clipboard()->setText(text);
}

void HexView::resizeEvent(QResizeEvent *event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
}

void HexView::scrollContentsBy(int, int) {
    viewport()->update();
}

void HexView::focusInEvent(QFocusEvent *event) {
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void HexView::focusOutEvent(QFocusEvent *event) {
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

bool HexView::focusNextPrevChild(bool) {
    return false;
}

void HexView::keyPressEvent(QKeyEvent *event) {
    if (event->matches(QKeySequence::Undo)) {
        UndoEdit();
        return;
    }
    if (event->matches(QKeySequence::Copy)) {
        CopySelection();
        return;
    }
    if (event->matches(QKeySequence::SelectAll)) {
        SelectAll();
        return;
    }
    if (const std::optional<qsizetype> target = NavigationTarget(*event)) {
        if ((event->modifiers() & Qt::ShiftModifier) != 0) {
            ExtendSelectionTo(*target);
        } else {
            MoveCursorTo(*target);
        }
        return;
    }
    switch (event->key()) {
    case Qt::Key_Insert:
        ToggleInsertMode();
        return;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        SwitchField();
        return;
    case Qt::Key_Delete:
        DeleteAtCursor();
        return;
    case Qt::Key_Backspace:
        DeleteBeforeCursor();
        return;
    default:
        break;
    }
    const bool commandKey = (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) != 0;
    if (commandKey || !TypeText(event->text())) {
        QAbstractScrollArea::keyPressEvent(event);
    }
}

std::optional<qsizetype> HexView::NavigationTarget(const QKeyEvent &event) const {
    const qsizetype cursor = buffer_.Cursor();
    const qsizetype rowStart = cursor - cursor % kBytesPerRow;
    const qsizetype page = VisibleRows() * kBytesPerRow;
    const bool wholeBuffer = (event.modifiers() & Qt::ControlModifier) != 0;
    switch (event.key()) {
    case Qt::Key_Left:
        return cursor - 1;
    case Qt::Key_Right:
        return cursor + 1;
    case Qt::Key_Up:
        return cursor - kBytesPerRow;
    case Qt::Key_Down:
        return cursor + kBytesPerRow;
    case Qt::Key_PageUp:
        return cursor - page;
    case Qt::Key_PageDown:
        return cursor + page;
    case Qt::Key_Home:
        return wholeBuffer ? 0 : rowStart;
    case Qt::Key_End:
        return wholeBuffer ? LastCursorPosition() : rowStart + kBytesPerRow - 1;
    default:
        return std::nullopt;
    }
}

void HexView::ToggleInsertMode() {
    insertMode_ = !insertMode_;
    lowNibbleNext_ = false;
    // A selection made in overwrite mode stays for deleting it in insert mode.
    LayoutChanged();
}

void HexView::SwitchField() {
    activeField_ = activeField_ == Field::Hex ? Field::Characters : Field::Hex;
    lowNibbleNext_ = false;
    viewport()->update();
}

void HexView::DeleteRange(qsizetype first, qsizetype count) {
    buffer_.DeleteBytes(first, count);
    buffer_.SetCursor(first);
    lowNibbleNext_ = false;
    ContentChanged();
}

// Delete and Backspace remove the selection when there is one, else the byte
// at or before the cursor; in overwrite mode they do nothing.
void HexView::DeleteAtCursor() {
    if (!insertMode_) {
        return;
    }
    if (const std::optional<ByteRange> selection = Selection()) {
        DeleteRange(selection->first, selection->count);
    } else if (buffer_.Cursor() < buffer_.Size()) {
        DeleteRange(buffer_.Cursor(), 1);
    }
}

void HexView::DeleteBeforeCursor() {
    if (!insertMode_) {
        return;
    }
    if (const std::optional<ByteRange> selection = Selection()) {
        DeleteRange(selection->first, selection->count);
    } else if (buffer_.Cursor() > 0) {
        DeleteRange(buffer_.Cursor() - 1, 1);
    }
}

bool HexView::TypeText(const QString &text) {
    if (text.size() != 1) {
        return false;
    }
    if (activeField_ == Field::Hex) {
        const std::optional<int> digit = HexDigitValue(text[0]);
        if (digit) {
            TypeHexDigit(*digit);
        }
        return digit.has_value();
    }
    const char16_t character = text[0].unicode();
    if (character < 0x20 || character >= 0x7F) {
        return false;
    }
    TypeCharacter(static_cast<char>(character));
    return true;
}

// The first digit of a byte sets its high nibble (inserting the byte in
// insert mode), the second its low nibble and moves on.
void HexView::TypeHexDigit(int digit) {
    const qsizetype cursor = buffer_.Cursor();
    if (insertMode_ && !lowNibbleNext_) {
        buffer_.InsertBytes(cursor, QByteArray(1, static_cast<char>(digit << 4)));
    } else if (cursor < buffer_.Size()) {
        const int old = static_cast<uchar>(buffer_.Bytes()[cursor]);
        const int value = lowNibbleNext_ ? (old & 0xF0) | digit : (digit << 4) | (old & 0x0F);
        buffer_.OverwriteByte(cursor, static_cast<char>(value));
    } else {
        return;
    }
    ContentChanged();
    if (lowNibbleNext_) {
        MoveCursorTo(cursor + 1);
    } else {
        lowNibbleNext_ = true;
    }
}

void HexView::TypeCharacter(char character) {
    const qsizetype cursor = buffer_.Cursor();
    if (insertMode_) {
        buffer_.InsertBytes(cursor, QByteArray(1, character));
    } else if (cursor < buffer_.Size()) {
        buffer_.OverwriteByte(cursor, character);
    } else {
        return;
    }
    ContentChanged();
    MoveCursorTo(cursor + 1);
}

void HexView::UndoEdit() {
    if (!buffer_.CanUndo()) {
        return;
    }
    buffer_.Undo();
    lowNibbleNext_ = false;
    ContentChanged();
}

void HexView::mousePressEvent(QMouseEvent *event) {
    const std::optional<ByteHit> hit = ByteAt(event->position().toPoint());
    if (!hit) {
        return;
    }
    activeField_ = hit->field;
    MoveCursorTo(hit->offset);
}

// Only the field the drag started in counts: its columns do not line up with
// the other field's.
void HexView::mouseMoveEvent(QMouseEvent *event) {
    if ((event->buttons() & Qt::LeftButton) == 0) {
        return;
    }
    const std::optional<ByteHit> hit = ByteAt(event->position().toPoint());
    if (!hit || hit->field != activeField_ || (!selectionAnchor_ && hit->offset == buffer_.Cursor())) {
        return;
    }
    ExtendSelectionTo(hit->offset);
}

void HexView::paintEvent(QPaintEvent *) {
    QPainter painter(viewport());
    painter.setFont(font());
    painter.fillRect(viewport()->rect(), palette().color(QPalette::Base));
    painter.fillRect(QRect(kMargin - horizontalScrollBar()->value(), kMargin, OffsetColumnWidth(), viewport()->height()),
                     palette().color(QPalette::Button));
    PaintRuler(painter);
    const qsizetype lastRow = std::min(RowCount(), FirstVisibleRow() + VisibleRows() + 1);
    const std::optional<ByteRange> selection = Selection();
    for (qsizetype row = FirstVisibleRow(); row < lastRow; ++row) {
        PaintRow(painter, row, selection);
    }
    PaintEditCursor(painter);
    if (hasFocus()) {
        PaintFocusFrame(painter);
    }
}

void HexView::PaintRuler(QPainter &painter) const {
    const int left = kMargin - horizontalScrollBar()->value();
    painter.fillRect(QRect(left, kMargin, ContentWidth(), RowHeight()), palette().color(QPalette::Button));
    painter.setPen(Qt::black);
    const int charWidth = CharWidth();
    for (int column = 0; column < kBytesPerRow; ++column) {
        const QString number = QString::number(column, 16).toUpper();
        const int hexLeft = left + HexFieldLeft() + (2 * column + column / 2) * charWidth;
        painter.drawText(QRect(hexLeft, kMargin, 2 * charWidth, RowHeight()), Qt::AlignRight | Qt::AlignVCenter, number);
        const int characterLeft = left + CharacterFieldLeft() + column * charWidth;
        painter.drawText(QRect(characterLeft, kMargin, charWidth, RowHeight()), Qt::AlignCenter, number);
    }
}

void HexView::PaintRow(QPainter &painter, qsizetype row, const std::optional<ByteRange> &selection) const {
    const int top = kMargin + RowHeight() * static_cast<int>(1 + row - FirstVisibleRow());
    const QRect offsetRect(kMargin - horizontalScrollBar()->value(), top, OffsetColumnWidth(), RowHeight());
    if (row == buffer_.Cursor() / kBytesPerRow) {
        painter.fillRect(offsetRect, palette().color(QPalette::Dark));
        painter.setPen(palette().color(QPalette::HighlightedText));
    } else {
        painter.setPen(Qt::black);
    }
    painter.drawText(offsetRect, Qt::AlignCenter, OffsetText(row));
    const qsizetype end = std::min((row + 1) * kBytesPerRow, buffer_.Size());
    for (qsizetype offset = row * kBytesPerRow; offset < end; ++offset) {
        PaintByte(painter, offset, selection && selection->Contains(offset));
    }
}

void HexView::PaintByte(QPainter &painter, qsizetype offset, bool selected) const {
    const char byte = buffer_.Bytes()[offset];
    const QRect hexRect = ByteRect(Field::Hex, offset);
    const QRect characterRect = ByteRect(Field::Characters, offset);
    const bool evenColumn = (offset % kBytesPerRow) / 2 % 2 == 0;
    QColor hexPen = evenColumn ? kBlue : kNavy;
    QColor characterPen = palette().color(QPalette::Text);
    if (selected || buffer_.IsChanged(offset)) {
        const QColor background = selected ? palette().color(QPalette::Highlight) : kChangedBackground;
        painter.fillRect(hexRect, background);
        painter.fillRect(characterRect, background);
        hexPen = characterPen = selected ? palette().color(QPalette::HighlightedText) : kMaroon;
    }
    painter.setPen(hexPen);
    painter.drawText(hexRect, Qt::AlignLeft | Qt::AlignVCenter, HexOf(byte));
    painter.setPen(characterPen);
    painter.drawText(characterRect, Qt::AlignLeft | Qt::AlignVCenter, QString(CharacterOf(byte)));
}

// A frame round the byte in overwrite mode, a bar before it in insert mode.
void HexView::PaintEditCursor(QPainter &painter) const {
    const QColor colour = hasFocus() ? kNavy : kAqua;
    for (const Field field : {Field::Hex, Field::Characters}) {
        const QRect rect = ByteRect(field, buffer_.Cursor());
        if (rect.isEmpty()) {
            continue;
        }
        if (insertMode_) {
            painter.fillRect(QRect(rect.topLeft(), QSize(2, rect.height())), colour);
        } else {
            painter.setPen(colour);
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(rect.adjusted(0, 0, -1, -1));
        }
    }
}

void HexView::PaintFocusFrame(QPainter &painter) const {
    painter.setPen(palette().color(QPalette::Highlight));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(viewport()->rect().adjusted(0, 0, -1, -1));
}

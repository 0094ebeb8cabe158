// The hex view of the data buffer: an offset column, a hex field and a
// character field of 16 bytes per row below a ruler. It paints only the rows
// in sight, edits the buffer through DataBuffer's edit operations and keeps
// the operator's selection, which is the view's and not the buffer's.
#pragma once

#include <optional>

#include <QAbstractScrollArea>
#include <QPoint>
#include <QRect>
#include <QString>

#include "DataBuffer.h"

class QIODevice;
class QKeyEvent;

class HexView : public QAbstractScrollArea {
    Q_OBJECT

public:
    enum class Field { Hex, Characters };

    // What a row shows: "0x" and the offset, the hex digits in two-byte
    // columns ("4142 4344 ..."), the characters ("ABCD...").
    struct RowText {
        QString offset;
        QString hex;
        QString characters;
    };

    // Bytes first .. first + count - 1 of the buffer.
    struct ByteRange {
        qsizetype first;
        qsizetype count;

        bool Contains(qsizetype offset) const;
        bool operator==(const ByteRange &) const = default;
    };

    static constexpr qsizetype kBytesPerRow = 16;

    explicit HexView(QWidget *parent = nullptr);

    DataBuffer &Buffer();
    const DataBuffer &Buffer() const;

    // The four operations show the hour-glass while they run, restore the
    // cursor and redraw afterwards, also when they throw BufferError.
    void LoadBufferFromStream(QIODevice &stream);
    void SaveBufferToStream(QIODevice &stream);
    void LoadBufferFromFile(const QString &fileName);
    void SaveBufferToFile(const QString &fileName, bool ClearMarks);

    bool InsertMode() const;
    Field ActiveField() const;
    // The bytes from the selection's anchor to the cursor, both included and
    // cut off at the buffer's end; none when nothing is selected.
    std::optional<ByteRange> Selection() const;

    // Rows cover the buffer, plus the place after its last byte in insert
    // mode; there is always at least one.
    qsizetype RowCount() const;
    qsizetype FirstVisibleRow() const;
    RowText TextOfRow(qsizetype row) const;
    // Where the byte at `offset` is drawn in `field`, in viewport
    // coordinates; empty when its row is out of sight.
    QRect ByteRect(Field field, qsizetype offset) const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    // Tab switches fields instead of leaving the view.
    bool focusNextPrevChild(bool next) override;

private:
    class BusyOperation;

    struct FieldColumn {
        Field field;
        int column;
    };

    struct ByteHit {
        Field field;
        qsizetype offset;
    };

    int CharWidth() const;
    int RowHeight() const;
    int OffsetDigits() const;
    QString OffsetText(qsizetype row) const;
    int OffsetColumnWidth() const;
    int HexFieldLeft() const;
    int CharacterFieldLeft() const;
    int ContentWidth() const;
    int VisibleRows() const;
    qsizetype LastCursorPosition() const;
    std::optional<FieldColumn> FieldColumnAt(int x) const;
    std::optional<ByteHit> ByteAt(QPoint point) const;

    void LayoutChanged();
    void ContentChanged();
    void UpdateScrollBars();
    void EnsureCursorVisible();
    void PlaceCursor(qsizetype offset);
    void MoveCursorTo(qsizetype offset);
    void ExtendSelectionTo(qsizetype offset);
    void SelectAll();
    void CopySelection() const;

    std::optional<qsizetype> NavigationTarget(const QKeyEvent &event) const;
    void ToggleInsertMode();
    void SwitchField();
    void DeleteRange(qsizetype first, qsizetype count);
    void DeleteAtCursor();
    void DeleteBeforeCursor();
    bool TypeText(const QString &text);
    void TypeHexDigit(int digit);
    void TypeCharacter(char character);
    void UndoEdit();

    void PaintRuler(QPainter &painter) const;
    void PaintRow(QPainter &painter, qsizetype row, const std::optional<ByteRange> &selection) const;
    void PaintByte(QPainter &painter, qsizetype offset, bool selected) const;
    void PaintEditCursor(QPainter &painter) const;
    void PaintFocusFrame(QPainter &painter) const;

    DataBuffer buffer_;
    bool insertMode_ = false;
    Field activeField_ = Field::Hex;
    bool lowNibbleNext_ = false;
    // Where the selection started; the cursor is its other end.
    std::optional<qsizetype> selectionAnchor_;
};

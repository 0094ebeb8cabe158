// The hex view of the data buffer: an offset column, a hex field and a
// character field of 16 bytes per row below a ruler. It paints only the rows
// in sight and edits the buffer through DataBuffer's edit operations.
#pragma once

#include <optional>

#include <QAbstractScrollArea>
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

    void ContentChanged();
    void UpdateScrollBars();
    void EnsureCursorVisible();
    void MoveCursorTo(qsizetype offset);

    std::optional<qsizetype> NavigationTarget(const QKeyEvent &event) const;
    void ToggleInsertMode();
    void SwitchField();
    void DeleteAtCursor();
    void DeleteBeforeCursor();
    bool TypeText(const QString &text);
    void TypeHexDigit(int digit);
    void TypeCharacter(char character);
    void UndoEdit();

    void PaintRuler(QPainter &painter) const;
    void PaintRow(QPainter &painter, qsizetype row) const;
    void PaintByte(QPainter &painter, qsizetype offset) const;
    void PaintEditCursor(QPainter &painter) const;
    void PaintFocusFrame(QPainter &painter) const;

    DataBuffer buffer_;
    bool insertMode_ = false;
    Field activeField_ = Field::Hex;
    bool lowNibbleNext_ = false;
};

// The byte image the operator works on, with its change marks, undo history
// and file state. Qt Core only: the hex view paints and edits it, tests drive
// it without a display.
#pragma once

#include <exception>
#include <vector>

#include <QByteArray>
#include <QString>

class QIODevice;

// Raised by the load and save operations; Message() is shown to the operator
// as it is.
class BufferError : public std::exception {
public:
    explicit BufferError(QString message);
    const QString &Message() const;
    const char *what() const noexcept override;

private:
    QString message_;
    QByteArray messageUtf8_;
};

// Offsets of the changed bytes, kept sorted. An operator edits a few bytes of
// an image of up to 16 MiB, so the list stays short where a flag per byte
// would cost a copy of the image's size.
class ChangeMarks {
public:
    bool Contains(qsizetype offset) const;
    void Set(qsizetype offset, bool changed);
    void Clear();

    // Makes room for `count` new bytes at `offset` and marks those at
    // offset + r for every r of `markedWithin` (ascending).
    void Insert(qsizetype offset, qsizetype count, const std::vector<qsizetype> &markedWithin);

    // Drops the marks of `count` bytes at `offset`, closes the gap and
    // returns the dropped marks relative to `offset`, ascending.
    std::vector<qsizetype> Remove(qsizetype offset, qsizetype count);

private:
    std::vector<qsizetype> offsets_;
};

class DataBuffer {
public:
    qsizetype Size() const;
    const QByteArray &Bytes() const;
    bool IsChanged(qsizetype offset) const;
    bool Modified() const;
    const QString &CurrentFileName() const;
    bool ReadOnlyFile() const;
    qsizetype Cursor() const;
    bool CanUndo() const;

    // The operator's edits. Each marks the bytes it writes, sets the modified
    // flag and can be undone; a place outside the buffer (offset above Size()
    // for an insert, at or above Size() otherwise) changes nothing.
    void OverwriteByte(qsizetype offset, char value);
    void InsertBytes(qsizetype offset, const QByteArray &bytes);
    void DeleteBytes(qsizetype offset, qsizetype count);
    // Takes back the latest edit: its bytes and their marks, and puts the
    // cursor on its place. The modified flag stays set.
    void Undo();
    // Clamped to 0..Size().
    void SetCursor(qsizetype offset);

    void LoadBufferFromStream(QIODevice &stream);
    void SaveBufferToStream(QIODevice &stream) const;
    void LoadBufferFromFile(const QString &fileName);
    // Writes the whole buffer to a temporary file beside `fileName` and puts
    // it in place only when every byte was written, so a failed save leaves
    // the old file, the buffer and its state as they were.
    void SaveBufferToFile(const QString &fileName, bool ClearMarks);

private:
    enum class EditKind { Overwrite, Insert, Delete };

    // Only what the edit replaced: the old bytes and marks of its place.
    struct UndoRecord {
        EditKind kind;
        qsizetype offset;
        qsizetype length;
        QByteArray oldBytes;
        std::vector<qsizetype> oldMarks;  // relative to offset
    };

    bool LatestEditCovers(qsizetype offset) const;
    void ForgetEdits();

    QByteArray bytes_;
    ChangeMarks marks_;
    std::vector<UndoRecord> history_;
    QString currentFileName_;
    bool modified_ = false;
    bool readOnlyFile_ = true;
    qsizetype cursor_ = 0;
};

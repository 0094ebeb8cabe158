#include "DataBuffer.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <numeric>
#include <typeinfo>
#include <utility>

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QSaveFile>

namespace {

// No copy between the buffer and a stream moves more than this at once.
constexpr qsizetype kChunkSize = 61440;

QString BackupNameOf(const QString &fileName) {
    return fileName + QStringLiteral(".bak");
}

// std::rename, not QFile::rename: the latter falls back to copying, which
// could leave two half files where one move was meant.
bool RenameFile(const QString &from, const QString &to, QString *systemText) {
    if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0) {
        return true;
    }
    *systemText = QString::fromLocal8Bit(std::strerror(errno));
    return false;
}

// The file whose content a save replaces. QSaveFile writes through a
// symbolic link to the file it points to, so that file, not the link, must
// become the backup or its old content would be lost.
QString ReplacedFile(const QString &fileName) {
    const QFileInfo info(fileName);
    return info.isSymLink() ? info.canonicalFilePath() : fileName;
}

// The old content of `fileName` becomes its backup, replacing an older backup.
void MoveToBackup(const QString &fileName) {
    const QString backupName = BackupNameOf(fileName);
    QFile oldBackup(backupName);
    if (QFileInfo::exists(backupName) && !oldBackup.remove()) {
        throw BufferError(QStringLiteral("Cannot delete previous backup %1. (%2)")
                              .arg(backupName, oldBackup.errorString()));
    }
    QString systemText;
    if (!RenameFile(ReplacedFile(fileName), backupName, &systemText)) {
        throw BufferError(QStringLiteral("Cannot create backup %1. (%2)").arg(backupName, systemText));
    }
}

BufferError CannotCreate(const QString &fileName, const QString &systemText) {
    return BufferError(QStringLiteral("Cannot create file \"%1\". %2").arg(fileName, systemText));
}

std::vector<qsizetype> AllOf(qsizetype count) {
    std::vector<qsizetype> relative(static_cast<std::size_t>(count));
    std::iota(relative.begin(), relative.end(), qsizetype{0});
    return relative;
}

}  // namespace

BufferError::BufferError(QString message)
    : message_(std::move(message)), messageUtf8_(message_.toUtf8()) {}

const QString &BufferError::Message() const {
    return message_;
}

const char *BufferError::what() const noexcept {
    return messageUtf8_.constData();
}

bool ChangeMarks::Contains(qsizetype offset) const {
    return std::binary_search(offsets_.begin(), offsets_.end(), offset);
}

void ChangeMarks::Set(qsizetype offset, bool changed) {
    const auto place = std::lower_bound(offsets_.begin(), offsets_.end(), offset);
    const bool present = place != offsets_.end() && *place == offset;
    if (changed && !present) {
        offsets_.insert(place, offset);
    } else if (!changed && present) {
        offsets_.erase(place);
    }
}

void ChangeMarks::Clear() {
    offsets_.clear();
}

void ChangeMarks::Insert(qsizetype offset, qsizetype count, const std::vector<qsizetype> &markedWithin) {
    const auto place = std::lower_bound(offsets_.begin(), offsets_.end(), offset);
    std::for_each(place, offsets_.end(), [count](qsizetype &marked) { marked += count; });
    std::vector<qsizetype> inserted;
    inserted.reserve(markedWithin.size());
    for (const qsizetype relative : markedWithin) {
        inserted.push_back(offset + relative);
    }
    offsets_.insert(place, inserted.begin(), inserted.end());
}

std::vector<qsizetype> ChangeMarks::Remove(qsizetype offset, qsizetype count) {
    const auto first = std::lower_bound(offsets_.begin(), offsets_.end(), offset);
    const auto last = std::lower_bound(first, offsets_.end(), offset + count);
    std::vector<qsizetype> removed;
    removed.reserve(static_cast<std::size_t>(last - first));
    for (auto marked = first; marked != last; ++marked) {
        removed.push_back(*marked - offset);
    }
    std::for_each(last, offsets_.end(), [count](qsizetype &marked) { marked -= count; });
    offsets_.erase(first, last);
    return removed;
}

qsizetype DataBuffer::Size() const {
    return bytes_.size();
}

const QByteArray &DataBuffer::Bytes() const {
    return bytes_;
}

bool DataBuffer::IsChanged(qsizetype offset) const {
    return marks_.Contains(offset);
}

bool DataBuffer::Modified() const {
    return modified_;
}

const QString &DataBuffer::CurrentFileName() const {
    return currentFileName_;
}

bool DataBuffer::ReadOnlyFile() const {
    return readOnlyFile_;
}

qsizetype DataBuffer::Cursor() const {
    return cursor_;
}

bool DataBuffer::CanUndo() const {
    return !history_.empty();
}

// Typing two nibbles into one byte, or typing into bytes just inserted, is
// one step for the operator and needs no record of its own.
bool DataBuffer::LatestEditCovers(qsizetype offset) const {
    if (history_.empty()) {
        return false;
    }
    const UndoRecord &latest = history_.back();
    return latest.kind != EditKind::Delete && offset >= latest.offset && offset < latest.offset + latest.length;
}

void DataBuffer::OverwriteByte(qsizetype offset, char value) {
    if (offset < 0 || offset >= Size()) {
        return;
    }
    if (!LatestEditCovers(offset)) {
        std::vector<qsizetype> oldMark;
        if (marks_.Contains(offset)) {
            oldMark.push_back(0);
        }
        history_.push_back({EditKind::Overwrite, offset, 1, QByteArray(1, bytes_[offset]), std::move(oldMark)});
    }
    bytes_[offset] = value;
    marks_.Set(offset, true);
    modified_ = true;
}

void DataBuffer::InsertBytes(qsizetype offset, const QByteArray &bytes) {
    if (offset < 0 || offset > Size() || bytes.isEmpty()) {
        return;
    }
    history_.push_back({EditKind::Insert, offset, bytes.size(), {}, {}});
    bytes_.insert(offset, bytes);
    marks_.Insert(offset, bytes.size(), AllOf(bytes.size()));
    modified_ = true;
}

void DataBuffer::DeleteBytes(qsizetype offset, qsizetype count) {
    if (offset < 0 || count <= 0 || offset + count > Size()) {
        return;
    }
    history_.push_back({EditKind::Delete, offset, count, bytes_.mid(offset, count), marks_.Remove(offset, count)});
    bytes_.remove(offset, count);
    if (cursor_ > Size()) {
        cursor_ = Size();
    }
    modified_ = true;
}

void DataBuffer::Undo() {
    if (history_.empty()) {
        return;
    }
    const UndoRecord latest = std::move(history_.back());
    history_.pop_back();
    switch (latest.kind) {
    case EditKind::Overwrite:
        bytes_[latest.offset] = latest.oldBytes[0];
        marks_.Set(latest.offset, !latest.oldMarks.empty());
        break;
    case EditKind::Insert:
        bytes_.remove(latest.offset, latest.length);
        marks_.Remove(latest.offset, latest.length);
        break;
    case EditKind::Delete:
        bytes_.insert(latest.offset, latest.oldBytes);
        marks_.Insert(latest.offset, latest.length, latest.oldMarks);
        break;
    }
    cursor_ = std::min(latest.offset, Size());
}

void DataBuffer::SetCursor(qsizetype offset) {
    cursor_ = std::clamp(offset, qsizetype{0}, Size());
}

void DataBuffer::ForgetEdits() {
    history_.clear();
    marks_.Clear();
    modified_ = false;
}

void DataBuffer::LoadBufferFromStream(QIODevice &stream) {
    bytes_.clear();
    try {
        if (!stream.seek(0)) {
            throw BufferError(QStringLiteral("Stream read error"));
        }
        if (typeid(stream) == typeid(QBuffer) && stream.isReadable()) {
            // A memory stream hands its bytes over shared, not copied: copying
            // a whole chip's image would hold the window up at the end of a read.
            bytes_ = static_cast<QBuffer &>(stream).buffer();
            stream.seek(stream.size());
        } else {
            bytes_.resize(stream.size());
            for (qsizetype done = 0; done < Size();) {
                const qsizetype wanted = std::min(kChunkSize, Size() - done);
                if (stream.read(bytes_.data() + done, wanted) != wanted) {
                    throw BufferError(QStringLiteral("Stream read error"));
                }
                done += wanted;
            }
        }
    } catch (...) {
        ForgetEdits();
        cursor_ = 0;
        bytes_.clear();
        currentFileName_.clear();
        throw;
    }
    ForgetEdits();
    cursor_ = 0;
}

void DataBuffer::SaveBufferToStream(QIODevice &stream) const {
    for (qsizetype done = 0; done < Size();) {
        const qsizetype wanted = std::min(kChunkSize, Size() - done);
        if (stream.write(bytes_.constData() + done, wanted) != wanted) {
            throw BufferError(QStringLiteral("Stream write error"));
        }
        done += wanted;
    }
}

void DataBuffer::LoadBufferFromFile(const QString &fileName) {
    readOnlyFile_ = true;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        throw BufferError(QStringLiteral("Cannot open %1.\r\n(%2.)").arg(fileName, file.errorString()));
    }
    file.close();
    if (file.open(QIODevice::ReadWrite)) {
        file.close();
        readOnlyFile_ = false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        throw BufferError(QStringLiteral("Cannot open %1.\r\n(%2.)").arg(fileName, file.errorString()));
    }
    LoadBufferFromStream(file);
    currentFileName_ = fileName;
}

void DataBuffer::SaveBufferToFile(const QString &fileName, bool ClearMarks) {
    const bool overCurrentFile = fileName == currentFileName_;
    if (overCurrentFile && readOnlyFile_) {
        throw BufferError(QStringLiteral("Cannot save readonly file %1.").arg(fileName));
    }
    const bool keepBackup = overCurrentFile && modified_ && QFileInfo::exists(fileName);

    QSaveFile file(fileName);
    // Unbuffered, so a short write shows at the write that fell short.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        throw CannotCreate(fileName, file.errorString());
    }
    SaveBufferToStream(file);
    const QString replacedFile = ReplacedFile(fileName);
    if (keepBackup) {
        MoveToBackup(fileName);
    }
    if (!file.commit()) {
        const QString commitError = file.errorString();
        if (keepBackup) {
            QString ignoredText;
            RenameFile(BackupNameOf(fileName), replacedFile, &ignoredText);
        }
        throw CannotCreate(fileName, commitError);
    }

    if (ClearMarks) {
        ForgetEdits();
        readOnlyFile_ = false;
        currentFileName_ = fileName;
    }
}

// The data buffer model on real files in a temporary folder: what reaches the
// disk, which backups appear, and what a failed load or save leaves behind.
#include "DataBuffer.h"

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "BufferTesting.h"
#include "CaseName.h"
#include "FileSizeLimit.h"
#include "QtPrinters.h"

namespace {

// Failure messages name the case instead of dumping it.
template <typename Case>
    requires requires(const Case &c) { std::string(c.name); }
void PrintTo(const Case &c, std::ostream *out) {
    *out << c.name;
}

constexpr qsizetype kChunk = 61440;
constexpr qsizetype kMiB = 1024 * 1024;

// Names the first difference instead of printing megabytes.
::testing::AssertionResult SameBytes(const QByteArray &actual, const QByteArray &expected) {
    if (actual.size() != expected.size()) {
        return ::testing::AssertionFailure() << "size " << actual.size() << ", expected " << expected.size();
    }
    for (qsizetype offset = 0; offset < actual.size(); ++offset) {
        if (actual[offset] != expected[offset]) {
            return ::testing::AssertionFailure() << "first difference at offset " << offset;
        }
    }
    return ::testing::AssertionSuccess();
}

std::string MessageOf(const std::function<void()> &operation) {
    try {
        operation();
    } catch (const BufferError &error) {
        return error.Message().toStdString();
    }
    return "(nothing raised)";
}

// A stream that claims more bytes than it holds, as a file cut short while it
// is being read.
class TruncatedStream : public QBuffer {
public:
    using QBuffer::QBuffer;
    qint64 size() const override { return QBuffer::size() + 100; }
};

class BufferFileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(folder_.isValid()); }

    QString Path(const QString &name) const { return folder_.filePath(name); }

    void WriteFile(const QString &name, const QByteArray &bytes) const {
        QFile file(Path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }

    QByteArray ReadFile(const QString &name) const {
        QFile file(Path(name));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
        return file.readAll();
    }

    bool Exists(const QString &name) const { return QFileInfo::exists(Path(name)); }

    QStringList Files() const { return QDir(folder_.path()).entryList(QDir::Files, QDir::Name); }

    QTemporaryDir folder_;
    DataBuffer buffer_;
};

struct SizeCase {
    std::string name;
    qsizetype size;
};

class BufferRoundTripTest : public BufferFileTest, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(BufferRoundTripTest, LoadsAndSavesEveryByteWithNothingAdded) {
    const QByteArray image = Pattern(GetParam().size);
    WriteFile("a.bin", image);

    buffer_.LoadBufferFromFile(Path("a.bin"));
    EXPECT_TRUE(SameBytes(buffer_.Bytes(), image));
    EXPECT_EQ(buffer_.CurrentFileName(), Path("a.bin"));
    EXPECT_FALSE(buffer_.ReadOnlyFile());

    buffer_.SaveBufferToFile(Path("copy.bin"), true);
    EXPECT_TRUE(SameBytes(ReadFile("copy.bin"), image));
    EXPECT_EQ(Files(), QStringList({"a.bin", "copy.bin"}));
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, BufferRoundTripTest,
    ::testing::Values(SizeCase{"Empty", 0}, SizeCase{"OneByte", 1}, SizeCase{"OneByteShortOfAChunk", kChunk - 1},
                      SizeCase{"OneChunk", kChunk}, SizeCase{"OneByteOverAChunk", kChunk + 1},
                      SizeCase{"LargerThanTheBiggestChip", 16 * kMiB + 17}),
    CaseName());

TEST_F(BufferFileTest, StreamLoadReadsFromTheStartAndForgetsEveryEdit) {
    WriteFile("a.bin", Pattern(64, 1));
    buffer_.LoadBufferFromFile(Path("a.bin"));
    buffer_.OverwriteByte(3, 'x');
    buffer_.InsertBytes(0, "yz");
    buffer_.SetCursor(40);

    const QByteArray chipImage = Pattern(kChunk * 2 + 5, 2);
    QBuffer stream;
    stream.setData(chipImage);
    ASSERT_TRUE(stream.open(QIODevice::ReadOnly));
    ASSERT_TRUE(stream.seek(1000));
    buffer_.LoadBufferFromStream(stream);

    EXPECT_TRUE(SameBytes(buffer_.Bytes(), chipImage));
    EXPECT_FALSE(buffer_.CanUndo());
    EXPECT_FALSE(buffer_.Modified());
    EXPECT_TRUE(MarkedOffsets(buffer_).empty());
    EXPECT_EQ(buffer_.Cursor(), 0);
    EXPECT_EQ(buffer_.CurrentFileName(), Path("a.bin"));
    EXPECT_FALSE(buffer_.ReadOnlyFile());
}

// A memory stream's bytes may be taken over without a copy; edits on either
// side must still leave the other as it was.
TEST_F(BufferFileTest, StreamLoadLeavesTheStreamAndTheBufferApart) {
    const QByteArray chipImage = Pattern(300, 4);
    QBuffer stream;
    stream.setData(chipImage);
    ASSERT_TRUE(stream.open(QIODevice::ReadWrite));
    buffer_.LoadBufferFromStream(stream);

    EXPECT_EQ(stream.pos(), stream.size());
    buffer_.OverwriteByte(5, 'e');
    EXPECT_TRUE(SameBytes(stream.data(), chipImage));
    ASSERT_TRUE(stream.seek(7));
    ASSERT_EQ(stream.write("s"), 1);
    QByteArray edited = chipImage;
    edited[5] = 'e';
    EXPECT_TRUE(SameBytes(buffer_.Bytes(), edited));
}

TEST_F(BufferFileTest, StreamLoadThenSaveWritesExactlyTheStreamBytes) {
    const QByteArray chipImage = Pattern(4096, 3);
    LoadBytes(buffer_, chipImage);

    buffer_.SaveBufferToFile(Path("chip.bin"), true);
    EXPECT_EQ(ReadFile("chip.bin"), chipImage);
}

TEST_F(BufferFileTest, SaveToStreamAppendsAtItsPositionAndLeavesTheEditState) {
    WriteFile("a.bin", Pattern(kChunk + 9));
    buffer_.LoadBufferFromFile(Path("a.bin"));
    buffer_.OverwriteByte(7, 'q');

    QBuffer stream;
    ASSERT_TRUE(stream.open(QIODevice::WriteOnly));
    stream.write("prefix");
    buffer_.SaveBufferToStream(stream);

    EXPECT_TRUE(SameBytes(stream.data(), "prefix" + buffer_.Bytes()));
    EXPECT_EQ(stream.pos(), stream.size());
    EXPECT_TRUE(buffer_.Modified());
    EXPECT_TRUE(buffer_.CanUndo());
    EXPECT_EQ(MarkedOffsets(buffer_), std::vector<qsizetype>{7});
}

TEST_F(BufferFileTest, StreamErrorsAreReported) {
    WriteFile("a.bin", Pattern(32));
    buffer_.LoadBufferFromFile(Path("a.bin"));
    buffer_.OverwriteByte(0, 'q');

    QBuffer notWritable;
    notWritable.setData("old");
    ASSERT_TRUE(notWritable.open(QIODevice::ReadOnly));
    EXPECT_EQ(MessageOf([&] { buffer_.SaveBufferToStream(notWritable); }), "Stream write error");
    EXPECT_EQ(notWritable.data(), "old");

    TruncatedStream truncated;
    truncated.setData(Pattern(kChunk + 3));
    ASSERT_TRUE(truncated.open(QIODevice::ReadOnly));
    EXPECT_EQ(MessageOf([&] { buffer_.LoadBufferFromStream(truncated); }), "Stream read error");
    EXPECT_EQ(buffer_.Size(), 0);
    EXPECT_FALSE(buffer_.CanUndo());
    EXPECT_FALSE(buffer_.Modified());
    EXPECT_TRUE(buffer_.CurrentFileName().isEmpty());
}

TEST_F(BufferFileTest, EditedSaveOverTheCurrentFileKeepsTheOldFileAsBackup) {
    const QByteArray old = Pattern(300, 1);
    WriteFile("a.bin", old);
    WriteFile("a.bin.bak", Pattern(10, 2));
    buffer_.LoadBufferFromFile(Path("a.bin"));
    buffer_.OverwriteByte(5, 'e');
    const QByteArray edited = buffer_.Bytes();

    buffer_.SaveBufferToFile(Path("a.bin"), true);
    EXPECT_EQ(ReadFile("a.bin"), edited);
    EXPECT_EQ(ReadFile("a.bin.bak"), old);
    EXPECT_FALSE(buffer_.Modified());
    EXPECT_FALSE(buffer_.CanUndo());
    EXPECT_TRUE(MarkedOffsets(buffer_).empty());

    buffer_.SaveBufferToFile(Path("a.bin"), true);
    EXPECT_EQ(ReadFile("a.bin.bak"), old);
    EXPECT_EQ(Files(), QStringList({"a.bin", "a.bin.bak"}));
}

// Saving through a symbolic link replaces the file it points to; the backup
// must hold that file's old content, not a link to the new one.
TEST_F(BufferFileTest, EditedSaveThroughASymbolicLinkKeepsTheOldContent) {
    const QByteArray old = Pattern(300, 1);
    WriteFile("real.bin", old);
    ASSERT_TRUE(QFile::link(Path("real.bin"), Path("a.bin")));
    buffer_.LoadBufferFromFile(Path("a.bin"));
    buffer_.OverwriteByte(5, 'e');
    const QByteArray edited = buffer_.Bytes();

    buffer_.SaveBufferToFile(Path("a.bin"), true);
    EXPECT_EQ(ReadFile("a.bin"), edited);
    EXPECT_EQ(ReadFile("a.bin.bak"), old);
    EXPECT_FALSE(QFileInfo(Path("a.bin.bak")).isSymLink());
}

// A link to a file on another file system: the file can't be moved to the
// backup name beside the link, so the save stops before anything is replaced.
TEST_F(BufferFileTest, BackupThatCannotBeMadeStopsTheSave) {
    QTemporaryDir elsewhere(QStringLiteral("/dev/shm/kestro-test-XXXXXX"));
    struct stat here {};
    struct stat there {};
    if (!elsewhere.isValid() || stat(QFile::encodeName(Path(".")).constData(), &here) != 0 ||
        stat(QFile::encodeName(elsewhere.path()).constData(), &there) != 0 || here.st_dev == there.st_dev) {
        GTEST_SKIP() << "no second file system at /dev/shm";
    }
    const QByteArray old = Pattern(300, 1);
    const QString real = elsewhere.filePath(QStringLiteral("real.bin"));
    {
        QFile file(real);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(old);
    }
    ASSERT_TRUE(QFile::link(real, Path("a.bin")));
    buffer_.LoadBufferFromFile(Path("a.bin"));
    buffer_.OverwriteByte(5, 'e');

    EXPECT_EQ(MessageOf([&] { buffer_.SaveBufferToFile(Path("a.bin"), true); }),
              "Cannot create backup " + Path("a.bin.bak").toStdString() + ". (Invalid cross-device link)");
    EXPECT_EQ(ReadFile("a.bin"), old);
    EXPECT_EQ(Files(), QStringList({"a.bin"}));
    EXPECT_EQ(QDir(elsewhere.path()).entryList(QDir::Files), QStringList({"real.bin"}));
    EXPECT_TRUE(buffer_.Modified());
}

TEST_F(BufferFileTest, SaveOverTheCurrentFileAfterAChipReadMakesNoBackup) {
    WriteFile("a.bin", Pattern(300, 1));
    buffer_.LoadBufferFromFile(Path("a.bin"));
    buffer_.OverwriteByte(5, 'e');
    const QByteArray chipImage = Pattern(200, 4);
    LoadBytes(buffer_, chipImage);

    buffer_.SaveBufferToFile(Path("a.bin"), true);
    EXPECT_EQ(ReadFile("a.bin"), chipImage);
    EXPECT_EQ(Files(), QStringList({"a.bin"}));
}

TEST_F(BufferFileTest, SaveUnderAnotherExistingNameReplacesItWithoutBackup) {
    WriteFile("a.bin", Pattern(300, 1));
    WriteFile("b.bin", Pattern(900, 2));
    buffer_.LoadBufferFromFile(Path("a.bin"));
    buffer_.OverwriteByte(5, 'e');

    buffer_.SaveBufferToFile(Path("b.bin"), true);
    EXPECT_EQ(ReadFile("b.bin"), buffer_.Bytes());
    EXPECT_EQ(buffer_.CurrentFileName(), Path("b.bin"));
    EXPECT_EQ(Files(), QStringList({"a.bin", "b.bin"}));
}

TEST_F(BufferFileTest, SaveWithoutClearingMarksKeepsTheEditState) {
    WriteFile("a.bin", Pattern(30, 1));
    buffer_.LoadBufferFromFile(Path("a.bin"));
    buffer_.OverwriteByte(5, 'e');

    buffer_.SaveBufferToFile(Path("b.bin"), false);
    EXPECT_EQ(ReadFile("b.bin"), buffer_.Bytes());
    EXPECT_EQ(buffer_.CurrentFileName(), Path("a.bin"));
    EXPECT_TRUE(buffer_.Modified());
    EXPECT_TRUE(buffer_.CanUndo());
    EXPECT_EQ(MarkedOffsets(buffer_), std::vector<qsizetype>{5});
}

struct FailedLoadCase {
    std::string name;
    QString fileName;
    std::string systemText;
};

class BufferFailedLoadTest : public BufferFileTest, public ::testing::WithParamInterface<FailedLoadCase> {};

// The failed test leaves the flag set, so only a save under another name or a
// good load clears it again.
TEST_P(BufferFailedLoadTest, KeepsTheBufferAndFileButSetsTheReadOnlyFlag) {
    const QByteArray image = Pattern(100, 1);
    WriteFile("a.bin", image);
    ASSERT_TRUE(QDir(folder_.path()).mkdir("folder"));
    buffer_.LoadBufferFromFile(Path("a.bin"));
    buffer_.OverwriteByte(1, 'e');
    const QByteArray edited = buffer_.Bytes();
    const QString missing = Path(GetParam().fileName);

    EXPECT_EQ(MessageOf([&] { buffer_.LoadBufferFromFile(missing); }),
              "Cannot open " + missing.toStdString() + ".\r\n(" + GetParam().systemText + ".)");
    EXPECT_EQ(buffer_.Bytes(), edited);
    EXPECT_EQ(buffer_.CurrentFileName(), Path("a.bin"));
    EXPECT_TRUE(buffer_.ReadOnlyFile());

    EXPECT_EQ(MessageOf([&] { buffer_.SaveBufferToFile(Path("a.bin"), true); }),
              "Cannot save readonly file " + Path("a.bin").toStdString() + ".");
    EXPECT_EQ(ReadFile("a.bin"), image);

    buffer_.SaveBufferToFile(Path("b.bin"), true);
    EXPECT_FALSE(buffer_.ReadOnlyFile());
    buffer_.SaveBufferToFile(Path("b.bin"), true);
    EXPECT_EQ(ReadFile("b.bin"), edited);
}

INSTANTIATE_TEST_SUITE_P(Names, BufferFailedLoadTest,
                         ::testing::Values(FailedLoadCase{"Missing", "missing.bin", "No such file or directory"},
                                           FailedLoadCase{"Folder", "folder", "file to open is a directory"}),
                         CaseName());

TEST_F(BufferFileTest, FileThatWasReadOnlyAtLoadIsSavedOnlyUnderAnotherName) {
    QString readOnly = Path("a.bin");
    WriteFile("a.bin", Pattern(100, 1));
    ASSERT_TRUE(QFile::setPermissions(readOnly, QFileDevice::ReadOwner));
    if (QFile(readOnly).open(QIODevice::ReadWrite)) {
        // Root may write any file, but not a program that is running.
        readOnly = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
        if (QFile(readOnly).open(QIODevice::ReadWrite)) {
            GTEST_SKIP() << "no file here is closed to writing";
        }
    }
    QFile original(readOnly);
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    const QByteArray content = original.readAll();
    buffer_.LoadBufferFromFile(readOnly);
    EXPECT_TRUE(buffer_.ReadOnlyFile());
    EXPECT_TRUE(SameBytes(buffer_.Bytes(), content));

    EXPECT_EQ(MessageOf([&] { buffer_.SaveBufferToFile(readOnly, true); }),
              "Cannot save readonly file " + readOnly.toStdString() + ".");
    buffer_.SaveBufferToFile(Path("b.bin"), true);
    EXPECT_FALSE(buffer_.ReadOnlyFile());
}

struct FailedSaveCase {
    std::string name;
    // Prepares the test folder and returns the name to save under.
    std::function<QString(const QDir &folder)> prepare;
    // The expected message for that name.
    std::function<std::string(const QString &)> message;
    bool needsPermissions = false;
    rlim_t fileSizeLimit = RLIM_INFINITY;
};

class BufferFailedSaveTest : public BufferFileTest, public ::testing::WithParamInterface<FailedSaveCase> {};

TEST_P(BufferFailedSaveTest, LeavesTheOldFileAndTheBufferAsTheyWere) {
    if (GetParam().needsPermissions && geteuid() == 0) {
        GTEST_SKIP() << "root ignores permissions";
    }
    WriteFile("a.bin", Pattern(3 * kChunk, 1));
    WriteFile("a.bin.bak", Pattern(77, 2));
    buffer_.LoadBufferFromFile(Path("a.bin"));
    buffer_.OverwriteByte(kChunk + 1, 'e');
    const QByteArray edited = buffer_.Bytes();
    const QString target = GetParam().prepare(QDir(folder_.path()));
    const QStringList filesBefore = Files();
    std::vector<QByteArray> contentsBefore;
    for (const QString &name : filesBefore) {
        contentsBefore.push_back(ReadFile(name));
    }

    std::string message;
    {
        FileSizeLimit limit(GetParam().fileSizeLimit);
        message = MessageOf([&] { buffer_.SaveBufferToFile(target, true); });
    }
    EXPECT_EQ(message, GetParam().message(target));
    ASSERT_EQ(Files(), filesBefore);
    for (qsizetype index = 0; index < filesBefore.size(); ++index) {
        EXPECT_TRUE(SameBytes(ReadFile(filesBefore[index]), contentsBefore[static_cast<std::size_t>(index)]))
            << filesBefore[index].toStdString();
    }
    EXPECT_EQ(buffer_.Bytes(), edited);
    EXPECT_EQ(MarkedOffsets(buffer_), std::vector<qsizetype>{kChunk + 1});
    EXPECT_TRUE(buffer_.Modified());
    EXPECT_TRUE(buffer_.CanUndo());
    EXPECT_EQ(buffer_.CurrentFileName(), Path("a.bin"));
    EXPECT_FALSE(buffer_.ReadOnlyFile());
}

std::function<std::string(const QString &)> CannotCreate(const std::string &systemText) {
    return [systemText](const QString &target) {
        return "Cannot create file \"" + target.toStdString() + "\". " + systemText;
    };
}

INSTANTIATE_TEST_SUITE_P(
    Causes, BufferFailedSaveTest,
    ::testing::Values(
        FailedSaveCase{"NameOfAFolder",
                       [](const QDir &folder) {
                           folder.mkdir("folder");
                           return folder.filePath("folder");
                       },
                       CannotCreate("Filename refers to a directory")},
        FailedSaveCase{"UnderARegularFile", [](const QDir &folder) { return folder.filePath("a.bin/x.bin"); },
                       CannotCreate("Not a directory")},
        FailedSaveCase{"UnwritableFolder",
                       [](const QDir &folder) {
                           folder.mkdir("locked");
                           QFile::setPermissions(folder.filePath("locked"), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
                           return folder.filePath("locked/x.bin");
                       },
                       CannotCreate("Permission denied"), true},
        FailedSaveCase{"FullFileSystemUnderTheCurrentName", [](const QDir &folder) { return folder.filePath("a.bin"); },
                       [](const QString &) { return std::string("Stream write error"); }, false, 64 * 1024},
        FailedSaveCase{"FullFileSystemUnderAnotherName", [](const QDir &folder) { return folder.filePath("b.bin"); },
                       [](const QString &) { return std::string("Stream write error"); }, false, kChunk + 1},
        FailedSaveCase{"OldBackupIsAFolderThatCannotBeDeleted",
                       [](const QDir &folder) {
                           QFile::remove(folder.filePath("a.bin.bak"));
                           folder.mkpath("a.bin.bak/inside");
                           return folder.filePath("a.bin");
                       },
                       [](const QString &target) {
                           return "Cannot delete previous backup " + target.toStdString() + ".bak. (Is a directory)";
                       }}),
    CaseName());

struct UndoCase {
    std::string name;
    std::function<void(DataBuffer &)> edit;
    QByteArray bytesAfter;
    std::vector<qsizetype> marksAfter;
};

class BufferUndoTest : public BufferFileTest, public ::testing::WithParamInterface<UndoCase> {};

// Starts from "ABCDEFGH" with C and G already changed to c and g, so the
// marks that an edit shifts, removes or replaces show after the undo.
TEST_P(BufferUndoTest, RestoresTheBytesAndMarksOfTheEditedPlace) {
    WriteFile("a.bin", "ABCDEFGH");
    buffer_.LoadBufferFromFile(Path("a.bin"));
    buffer_.OverwriteByte(2, 'c');
    buffer_.OverwriteByte(6, 'g');

    GetParam().edit(buffer_);
    EXPECT_EQ(buffer_.Bytes(), GetParam().bytesAfter);
    EXPECT_EQ(MarkedOffsets(buffer_), GetParam().marksAfter);

    buffer_.Undo();
    EXPECT_EQ(buffer_.Bytes(), "ABcDEFgH");
    EXPECT_EQ(MarkedOffsets(buffer_), (std::vector<qsizetype>{2, 6}));
    buffer_.Undo();
    buffer_.Undo();
    EXPECT_EQ(buffer_.Bytes(), "ABCDEFGH");
    EXPECT_TRUE(MarkedOffsets(buffer_).empty());
    EXPECT_FALSE(buffer_.CanUndo());
    EXPECT_TRUE(buffer_.Modified());
}

INSTANTIATE_TEST_SUITE_P(
    Edits, BufferUndoTest,
    ::testing::Values(
        UndoCase{"OverwriteUnchangedByte", [](DataBuffer &b) { b.OverwriteByte(4, 'x'); }, "ABcDxFgH", {2, 4, 6}},
        UndoCase{"OverwriteChangedByte", [](DataBuffer &b) { b.OverwriteByte(2, 'x'); }, "ABxDEFgH", {2, 6}},
        UndoCase{"InsertBetweenMarks", [](DataBuffer &b) { b.InsertBytes(3, "xy"); }, "ABcxyDEFgH", {2, 3, 4, 8}},
        UndoCase{"InsertAtTheEnd", [](DataBuffer &b) { b.InsertBytes(8, "z"); }, "ABcDEFgHz", {2, 6, 8}},
        UndoCase{"DeleteAChangedAndAnUnchangedByte", [](DataBuffer &b) { b.DeleteBytes(2, 2); }, "ABEFgH", {4}},
        UndoCase{"DeleteTheLastByte", [](DataBuffer &b) { b.DeleteBytes(7, 1); }, "ABcDEFg", {2, 6}}),
    CaseName());

TEST_F(BufferFileTest, EditsOfOnePlaceInARowAreUndoneAsOne) {
    WriteFile("a.bin", "ABCD");
    buffer_.LoadBufferFromFile(Path("a.bin"));

    buffer_.OverwriteByte(1, 'x');
    buffer_.OverwriteByte(1, 'y');
    buffer_.InsertBytes(3, "pq");
    buffer_.OverwriteByte(4, 'r');
    EXPECT_EQ(buffer_.Bytes(), "AyCprD");

    buffer_.Undo();
    EXPECT_EQ(buffer_.Bytes(), "AyCD");
    EXPECT_EQ(buffer_.Cursor(), 3);
    buffer_.Undo();
    EXPECT_EQ(buffer_.Bytes(), "ABCD");
    EXPECT_EQ(buffer_.Cursor(), 1);
    EXPECT_FALSE(buffer_.CanUndo());
}

}  // namespace

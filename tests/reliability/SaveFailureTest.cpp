// Saves through the window's save command that can't be completed: the
// operator sees why, the old file and its backup are as they were, and the
// buffer, still edited, can be saved elsewhere.
#include <functional>
#include <ostream>
#include <map>
#include <string>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "CaseName.h"
#include "FileSizeLimit.h"
#include "MainWindowFixture.h"

namespace {

constexpr qsizetype kChunk = 61440;
constexpr char kEdited = 'e';

void WriteFile(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QByteArray ReadFile(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every entry below the folder; folders map to an empty text.
std::map<QString, QByteArray> Contents(const QDir &folder) {
    std::map<QString, QByteArray> contents;
    QDirIterator entries(folder.path(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                         QDirIterator::Subdirectories);
    while (entries.hasNext()) {
        const QFileInfo entry = entries.nextFileInfo();
        contents[folder.relativeFilePath(entry.filePath())] = entry.isDir() ? QByteArray() : ReadFile(entry.filePath());
    }
    return contents;
}

struct SaveFailureCase {
    const char *name;
    QString currentName;  // of the file loaded and edited before the save
    // Prepares the folder, which holds the current file, and returns the name
    // to save under.
    std::function<QString(const QDir &folder, const QString &current)> prepare;
    // The error box's text for that name.
    std::function<QString(const QString &target)> message;
    rlim_t fileSizeLimit = RLIM_INFINITY;
};

void PrintTo(const SaveFailureCase &c, std::ostream *out) { *out << c.name; }

class SaveFailureThroughWindow : public MainWindowTest, public ::testing::WithParamInterface<SaveFailureCase> {};

TEST_P(SaveFailureThroughWindow, ShowsWhyAndLosesNothing) {
    const SaveFailureCase &c = GetParam();
    QTemporaryDir holder;
    ASSERT_TRUE(holder.isValid());
    const QDir folder(holder.path());
    const QString current = folder.filePath(c.currentName);
    const QByteArray old = Bytes(Pattern(3 * kChunk), 3 * kChunk);
    WriteFile(current, old);
    Window();
    modals_.answer = Choose(current);
    Pick("N2");
    // An edit since the load: a save over the current file keeps a backup.
    Buffer().OverwriteByte(kChunk + 1, kEdited);
    const QByteArray edited = Buffer().Bytes();
    const QString target = c.prepare(folder, current);
    const std::map<QString, QByteArray> before = Contents(folder);

    modals_.answer = Choose(target);
    {
        FileSizeLimit limit(c.fileSizeLimit);
        Pick("N3");
    }
    EXPECT_EQ(modals_.messages, QStringList{c.message(target)});
    EXPECT_TRUE(Contents(folder) == before) << "the folder changed";
    EXPECT_EQ(Buffer().Bytes(), edited);
    EXPECT_TRUE(Buffer().Modified());
    EXPECT_TRUE(Buffer().IsChanged(kChunk + 1));
    EXPECT_EQ(Buffer().CurrentFileName(), current);

    const QString elsewhere = folder.filePath(QStringLiteral("elsewhere.bin"));
    modals_.answer = Choose(elsewhere);
    Pick("N3");
    EXPECT_EQ(modals_.messages.size(), 1);
    EXPECT_EQ(ReadFile(elsewhere), edited);
    EXPECT_EQ(ReadFile(current), old);
}

const QString kShortName = QStringLiteral("a.bin");
// A name that fits in a folder while its backup name, four characters longer, does not.
const QString kLongName = QString(255 - 4 - 3, QLatin1Char('n')) + QStringLiteral(".bin");

// The current file, with a backup from an earlier save beside it.
QString CurrentWithBackup(const QDir &, const QString &current) {
    WriteFile(current + QStringLiteral(".bak"), QByteArray(77, 'b'));
    return current;
}

INSTANTIATE_TEST_SUITE_P(
    Causes, SaveFailureThroughWindow,
    ::testing::Values(
        // The limit lets the old file stand but not the new one beside it.
        SaveFailureCase{"FullFileSystem", kShortName, CurrentWithBackup,
                        [](const QString &) { return QStringLiteral("Stream write error"); }, 2 * kChunk},
        SaveFailureCase{"OldBackupCannotBeDeleted", kShortName,
                        [](const QDir &folder, const QString &current) {
                            folder.mkpath(current + QStringLiteral(".bak/inside"));
                            return current;
                        },
                        [](const QString &target) {
                            return QStringLiteral("Cannot delete previous backup %1.bak. (Is a directory)").arg(target);
                        }},
        // With its extension, or the dialog would add one.
        SaveFailureCase{"BackupNameTooLong", kLongName, [](const QDir &, const QString &current) { return current; },
                        [](const QString &target) {
                            return QStringLiteral("Cannot create backup %1.bak. (File name too long)").arg(target);
                        }},
        SaveFailureCase{"NameOfAFolder", kShortName,
                        [](const QDir &folder, const QString &) {
                            folder.mkdir(QStringLiteral("folder.bin"));
                            return folder.filePath(QStringLiteral("folder.bin"));
                        },
                        [](const QString &target) {
                            return QStringLiteral("Cannot create file \"%1\". Filename refers to a directory").arg(target);
                        }}),
    CaseName());

}  // namespace

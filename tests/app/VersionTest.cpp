// The program's version, read back from the executable file itself.
#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "Un_Tools.h"

namespace {

TEST(GetVersionString, ReadsTheRecordOfTheProgramFile) {
    EXPECT_EQ(GetVersionString(QStringLiteral(KESTRO_QX_PATH)), QStringLiteral("1.2.0.121"));
}

TEST(GetVersionString, OwnFileWithoutRecordGivesZeros) {
    EXPECT_EQ(GetVersionString(), QStringLiteral("0.0.0.0"));
}

// Files that are no executable with a version record, or only part of one.
TEST(GetVersionString, DamagedOrForeignFilesGiveZeros) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QFile program(QStringLiteral(KESTRO_QX_PATH));
    ASSERT_TRUE(program.open(QIODevice::ReadOnly));
    const QByteArray image = program.readAll();

    struct Case {
        const char *name;
        QByteArray content;
    };
    QByteArray badClass = image;
    badClass[4] = 9;
    QByteArray headersPastEnd = image.left(4096);
    const Case cases[] = {
        {"empty", {}},
        {"text", QByteArray("not an executable\n")},
        {"elf-magic-only", QByteArray("\x7F" "ELF")},
        {"unknown-class", badClass},
        {"section-headers-cut-off", headersPastEnd},
    };
    for (const Case &each : cases) {
        SCOPED_TRACE(each.name);
        const QString path = folder.filePath(QLatin1String(each.name));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(each.content);
        file.close();
        EXPECT_EQ(GetVersionString(path), QStringLiteral("0.0.0.0"));
    }
    EXPECT_EQ(GetVersionString(folder.filePath(QStringLiteral("missing"))), QStringLiteral("0.0.0.0"));
}

}  // namespace

#include "Un_Tools.h"

#include <QCoreApplication>

#include "ExecutableVersion.h"

QString GetVersionString(const QString &executablePath) {
    const QString none = QStringLiteral("0.0.0.0");
    const std::uint32_t size = FileVersionInfoSize(executablePath);
    if (size == 0) {
        return none;
    }
    const auto version = QueryRootBlock(FileVersionInfo(executablePath, size));
    if (!version) {
        return none;
    }
    return QStringLiteral("%1.%2.%3.%4")
        .arg(version->fileVersionMS >> 16)
        .arg(version->fileVersionMS & 0xFFFF)
        .arg(version->fileVersionLS >> 16)
        .arg(version->fileVersionLS & 0xFFFF);
}

QString GetVersionString() { return GetVersionString(QCoreApplication::applicationFilePath()); }

// Small helpers of the application shell.
#pragma once

#include <QString>

// The file version of the given executable as "major.minor.release.build",
// or "0.0.0.0" when the file carries no version record. Without an argument,
// of the program's own file.
QString GetVersionString(const QString &executablePath);
QString GetVersionString();

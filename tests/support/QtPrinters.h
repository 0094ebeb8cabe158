// Failure messages show Qt texts and bytes readably.
#pragma once

#include <ostream>

#include <QByteArray>
#include <QString>

inline void PrintTo(const QString &text, std::ostream *out) { *out << '"' << text.toStdString() << '"'; }

inline void PrintTo(const QByteArray &bytes, std::ostream *out) {
    *out << bytes.size() << " bytes " << bytes.left(64).toHex(' ').toStdString();
}

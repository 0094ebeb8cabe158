#include <QCryptographicHash>
#include <QIODevice>
#include <QString>

#include "ChipOperations.h"

QString StreamDigestHex(QIODevice &stream) {
    stream.seek(0);
    QCryptographicHash hash(QCryptographicHash::Md5);
    hash.addData(&stream);
    return QString::fromLatin1(hash.result().toHex().toUpper());
}

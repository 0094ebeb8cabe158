// The pictures built into the program, drawn from their vector sources.
#pragma once

#include <QPixmap>
#include <QSize>
#include <QString>

inline const QString kSpiWiringPicture = QStringLiteral(":/pictures/SpiWiring.svg");
inline const QString kI2cWiringPicture = QStringLiteral(":/pictures/I2cWiring.svg");
inline const QString kAboutIconPicture = QStringLiteral(":/pictures/AboutIcon.svg");

// The picture drawn at the given size, or at its natural size when none is
// given. A null pixmap when the picture can't be read.
QPixmap RenderPicture(const QString &path, QSize size = {});

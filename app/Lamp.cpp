#include "Lamp.h"

#include <QPainter>
#include <QRadialGradient>

Lamp::Lamp(QWidget *parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void Lamp::SetLit(bool lit) {
    if (lit_ != lit) {
        lit_ = lit;
        update();
    }
}

QSize Lamp::sizeHint() const { return {24, 24}; }

void Lamp::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int side = qMin(width(), height()) - 4;
    const QRectF bulb((width() - side) / 2.0, (height() - side) / 2.0, side, side);
    const QColor colour = lit_ ? QColor(0x20, 0xD0, 0x20) : QColor(0x80, 0x80, 0x80);
    QRadialGradient shine(bulb.center() - QPointF(side / 5.0, side / 5.0), side / 1.5);
    shine.setColorAt(0, colour.lighter(170));
    shine.setColorAt(1, colour.darker(130));
    painter.setPen(QPen(Qt::darkGray, 1));
    painter.setBrush(shine);
    painter.drawEllipse(bulb);
}

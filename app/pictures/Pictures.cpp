#include "Pictures.h"

#include <QPainter>
#include <QSvgRenderer>

// The resources live in a static library, so nothing would pull them into a
// program unless they are registered by name; this must stand outside any
// namespace.
static void RegisterPictures() { Q_INIT_RESOURCE(pictures); }

QPixmap RenderPicture(const QString &path, QSize size) {
    [[maybe_unused]] static const bool registered = (RegisterPictures(), true);
    QSvgRenderer renderer(path);
    if (!renderer.isValid()) return {};
    QPixmap picture(size.isEmpty() ? renderer.defaultSize() : size);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    renderer.render(&painter);
    return picture;
}

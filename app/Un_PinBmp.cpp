#include "Un_PinBmp.h"

#include <QLabel>
#include <QPushButton>

#include "CentreOnScreen.h"
#include "pictures/Pictures.h"

namespace {

QLabel *AddPicture(QWidget *window, const char *name, const QString &path, const QRect &place) {
    auto *picture = new QLabel(window);
    picture->setObjectName(QLatin1String(name));
    picture->setGeometry(place);
    // Drawn unscaled from the top-left corner; the rest keeps the background.
    picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    picture->setPixmap(RenderPicture(path));
    picture->hide();
    return picture;
}

}  // namespace

TfrmPinBmp::TfrmPinBmp(QWidget *owner) : QDialog(owner) {
    setObjectName(QStringLiteral("frmPinBmp"));
    setWindowTitle(QStringLiteral("引脚连结图"));
    // No buttons in the title bar: the window closes by its button.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFixedSize(757, 557);
    CentreOnScreen(*this);
    Image1 = AddPicture(this, "Image1", kSpiWiringPicture, {0, 0, 407, 490});
    Image2 = AddPicture(this, "Image2", kI2cWiringPicture, {0, 5, 633, 524});

    auto *btnOK = new QPushButton(QStringLiteral("确定"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setGeometry(656, 24, 75, 25);
    btnOK->setDefault(true);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
}

void TfrmPinBmp::ShowWiring(PinWiring wiring) {
    Image1->setVisible(wiring == PinWiring::Spi);
    Image2->setVisible(wiring == PinWiring::I2c);
}

#include "Un_About.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>

#include "CentreOnScreen.h"
#include "pictures/Pictures.h"

TfrmAbout::TfrmAbout(QWidget *owner) : QDialog(owner) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("关于"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(298, 168);
    CentreOnScreen(*this);

    // A sunken box line reads as a lowered outer and a raised inner bevel.
    auto *Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(8, 8, 281, 113);
    Panel1->setFrameStyle(QFrame::Box | QFrame::Sunken);

    const QSize iconSize(65, 57);
    auto *ProgramIcon = new QLabel(Panel1);
    ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
    ProgramIcon->setGeometry(QRect(QPoint(8, 8), iconSize));
    ProgramIcon->setPixmap(RenderPicture(kAboutIconPicture, iconSize));

    auto *ProductName = new QLabel(QStringLiteral("Kestro编程器上位机"), Panel1);
    ProductName->setObjectName(QStringLiteral("ProductName"));
    ProductName->move(88, 16);
    ProductName->adjustSize();

    auto *MakerName = new QLabel(QStringLiteral("Kestro Electronics"), Panel1);
    MakerName->setObjectName(QStringLiteral("MakerName"));
    MakerName->move(8, 80);
    MakerName->adjustSize();

    auto *OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry(207, 132, 75, 25);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
}

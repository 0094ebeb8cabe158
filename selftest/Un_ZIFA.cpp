#include "Un_ZIFA.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QShowEvent>

#include "CentreOnScreen.h"
#include "SelfTestState.h"

namespace {

// The pin boxes in the order the operator tabs through them: down the left
// side, then down the right, each crossed pair in its wiring order.
constexpr int kPinsInFormOrder[] = {1,  2,  4,  3,  5,  6,  8,  7,  9,  10, 12, 11, 13, 14, 16, 15, 18, 17, 19, 20,
                                    40, 39, 37, 38, 36, 35, 33, 34, 32, 31, 29, 30, 28, 27, 25, 26, 23, 24, 22, 21};
constexpr int kGroundPin = 20;
constexpr int kSupplyPin = 40;
constexpr int kLastLeftPin = 20;

// Geometry inside the socket group box: voltage column, pin column, the
// socket drawing, pin column, voltage column; one row per pin pair.
constexpr int kHeadingY = 22;
constexpr int kFirstRowY = 46;
constexpr int kRowHeight = 24;
constexpr int kLeftVoltageX = 12;
constexpr int kLeftPinX = 140;
constexpr int kSocketX = 222;
constexpr int kSocketWidth = 140;
constexpr int kRightPinX = 372;
constexpr int kRightVoltageX = 452;
constexpr int kPinBoxWidth = 76;
constexpr int kVoltageBoxWidth = 120;
constexpr int kPinRows = 20;
constexpr int kGroupX = 8;
constexpr int kGroupY = 8;
constexpr int kGroupWidth = 584;
constexpr int kGroupHeight = kFirstRowY + kPinRows * kRowHeight + 10;
constexpr int kBelowGroupY = kGroupY + kGroupHeight + 8;

// Pin 40 sits opposite pin 1, as on the socket.
int RowY(int pin) { return kFirstRowY + kRowHeight * (pin <= kLastLeftPin ? pin - 1 : kSupplyPin - pin); }
int PinX(int pin) { return pin <= kLastLeftPin ? kLeftPinX : kRightPinX; }

QString TwoDigits(int pin) { return QStringLiteral("%1").arg(pin, 2, 10, QLatin1Char('0')); }

// The socket body (an outline) and its pin-1 mark (a filled dot), drawn in
// the text colour.
class Shape : public QWidget {
public:
    enum class Kind { Outline, Dot };

    Shape(QWidget *parent, const char *name, Kind kind, const QRect &geometry) : QWidget(parent), kind_(kind) {
        setObjectName(QLatin1String(name));
        setGeometry(geometry);
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QColor ink = palette().color(QPalette::WindowText);
        painter.setPen(QPen(ink, 2));
        const QRectF area = QRectF(rect()).adjusted(1, 1, -1, -1);
        if (kind_ == Kind::Outline) {
            painter.drawRoundedRect(area, 4, 4);
        } else {
            painter.setBrush(ink);
            painter.drawEllipse(area);
        }
    }

private:
    Kind kind_;
};

QLabel *AddLabel(QWidget *parent, const char *name, const QString &text, int x, int y, int width) {
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(x, y, width, kRowHeight);
    return label;
}

}  // namespace

TfrmDevA::TfrmDevA(QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("frmDevA"));
    setWindowTitle(QStringLiteral("编程器自检"));
    setModal(true);
    setFixedSize(600, kBelowGroupY + 150);

    auto *gbZIF = new QGroupBox(QStringLiteral("ZIF座"), this);
    gbZIF->setObjectName(QStringLiteral("gbZIF"));
    gbZIF->setAlignment(Qt::AlignHCenter);
    gbZIF->setGeometry(kGroupX, kGroupY, kGroupWidth, kGroupHeight);
    new Shape(gbZIF, "Shape1", Shape::Kind::Outline,
              QRect(kSocketX, kFirstRowY - 4, kSocketWidth, kPinRows * kRowHeight + 4));
    new Shape(gbZIF, "Shape2", Shape::Kind::Dot, QRect(kSocketX + 10, kFirstRowY + 4, 12, 12));

    for (int pin : kPinsInFormOrder) {
        QCheckBox *box = AddBox(gbZIF, QStringLiteral("cbZIF") + TwoDigits(pin), QStringLiteral("ZIF") + TwoDigits(pin),
                                pin, PinX(pin), RowY(pin), kPinBoxWidth);
        box->setEnabled(pin != kGroundPin && pin != kSupplyPin);
    }
    AddBox(gbZIF, QStringLiteral("cbZIFVPP01"), QStringLiteral("01脚加VPP"), kTagVpp01, kLeftVoltageX, RowY(1),
           kVoltageBoxWidth);
    AddBox(gbZIF, QStringLiteral("cbZIFVPP09"), QStringLiteral("09脚加VPP"), kTagVpp09, kLeftVoltageX, RowY(9),
           kVoltageBoxWidth);
    AddBox(gbZIF, QStringLiteral("cbZIFGND10"), QStringLiteral("10脚接GND"), kTagGnd10, kLeftVoltageX, RowY(10),
           kVoltageBoxWidth);
    AddBox(gbZIF, QStringLiteral("cbZIFGND16"), QStringLiteral("16脚接GND"), kTagGnd16, kLeftVoltageX, RowY(16),
           kVoltageBoxWidth);
    QCheckBox *ground20 = AddBox(gbZIF, QStringLiteral("cbZIFGND20"), QStringLiteral("20脚接GND"), 0, kLeftVoltageX,
                                 RowY(kGroundPin), kVoltageBoxWidth);
    ground20->setChecked(true);
    ground20->setEnabled(false);
    AddBox(gbZIF, QStringLiteral("cbZIF5V"), QStringLiteral("5V"), kTagSupply5V, kRightVoltageX, RowY(kSupplyPin), 52);
    AddBox(gbZIF, QStringLiteral("cbZIF3V"), QStringLiteral("3.3V"), kTagSupply3V, kRightVoltageX + 56,
           RowY(kSupplyPin), 64);
    AddBox(gbZIF, QStringLiteral("cbZIFVPP31"), QStringLiteral("31脚加VPP"), kTagVpp31, kRightVoltageX, RowY(31),
           kVoltageBoxWidth);

    AddBox(this, QStringLiteral("cbSelectAllLeft"), QStringLiteral("左全选"), kTagSelectAllLeft, kGroupX + kLeftPinX,
           kBelowGroupY, 100);
    AddBox(this, QStringLiteral("cbSelectAllRight"), QStringLiteral("右全选"), kTagSelectAllRight,
           kGroupX + kRightPinX, kBelowGroupY, 100);
    AddBox(this, QStringLiteral("cbRUN"), QStringLiteral("点亮RUN/ERR指示灯"), kTagLamps, kGroupX + kLeftPinX,
           kBelowGroupY + 30, 240);
    AddBox(this, QStringLiteral("cbVPP14V"), QStringLiteral("勾选VPP为14V，不勾为12V"), kTagVpp14V,
           kGroupX + kLeftPinX, kBelowGroupY + 54, 280);

    AddLabel(gbZIF, "Label1", QStringLiteral("电压"), kLeftVoltageX, kHeadingY, kVoltageBoxWidth);
    AddLabel(gbZIF, "Label2", QStringLiteral("I/O"), kLeftPinX, kHeadingY, kPinBoxWidth);
    AddLabel(gbZIF, "Label3", QStringLiteral("I/O"), kRightPinX, kHeadingY, kPinBoxWidth);
    AddLabel(gbZIF, "Label4", QStringLiteral("电压"), kRightVoltageX, kHeadingY, kVoltageBoxWidth);
    AddLabel(this, "Label5", QStringLiteral("I/O口选中:3.3V"), 440, kBelowGroupY + 30, 150);
    AddLabel(this, "Label6", QStringLiteral("I/O口不选:0V"), 440, kBelowGroupY + 52, 150);
    AddLabel(this, "Label7", QStringLiteral("多功能只能选一"), 440, kBelowGroupY + 74, 150);

    auto *Button1 = new QPushButton(QStringLiteral("关闭"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(500, kBelowGroupY + 108, 84, 28);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);

    // toggled, not clicked: a box this handler sets must run it too, and
    // only when its state really changes.
    for (QCheckBox *box : findChildren<QCheckBox *>()) {
        if (box->isEnabled()) {
            connect(box, &QCheckBox::toggled, this, [this, box] { cbZIFClick(box); });
        }
    }

    CentreOnScreen(*this);
}

QCheckBox *TfrmDevA::AddBox(QWidget *parent, const QString &name, const QString &caption, int tag, int x, int y,
                            int width) {
    auto *box = new QCheckBox(caption, parent);
    box->setObjectName(name);
    box->setProperty("Tag", tag);
    box->setGeometry(x, y, width, kRowHeight);
    boxOfTag_.at(std::size_t(tag)) = box;
    return box;
}

void TfrmDevA::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    // A window coming back from being minimised is not a new show.
    if (!event->spontaneous()) {
        FormShow();
    }
}

void TfrmDevA::FormShow() { SelfTestState.fill(0); }

void TfrmDevA::cbZIFClick(QCheckBox *sender) {
    const FollowUp followUp = ApplySwitchChange(SelfTestState, sender->property("Tag").toInt(), sender->isChecked());
    for (int tag : followUp.tags) {
        boxOfTag_.at(std::size_t(tag))->setChecked(followUp.checked);
    }
    SendSelfTestFrame(MakeSelfTestFrame(SelfTestState));
}

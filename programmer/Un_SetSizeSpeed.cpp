#include "Un_SetSizeSpeed.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>

#include "CentreOnScreen.h"
#include "ModalRunner.h"
#include "ServiceCommands.h"

namespace {

constexpr std::uint8_t kSpeedCommand = 0xFC;
constexpr double kProgrammerClockMHz = 48.0;
constexpr int kSignificantDigits = 15;

}  // namespace

SpeedFrame BuildSpeedFrame(std::uint8_t divisor) {
    return {kSpeedCommand, divisor, static_cast<std::uint8_t>(~kSpeedCommand),
            static_cast<std::uint8_t>(0xFF - divisor)};
}

std::optional<std::uint8_t> SendSpeed(std::uint8_t divisor) {
    const SpeedFrame frame = BuildSpeedFrame(divisor);
    std::array<std::uint8_t, 8> reply{frame[0], frame[1], frame[2], frame[3]};
    if (!WriteFrame(frame) || !ReadOverFrame(reply) || reply[0] != kSpeedCommand) return std::nullopt;
    return reply[1];
}

QString SpiClockMHzText(std::uint8_t divisor) {
    const double megahertz = kProgrammerClockMHz / ((divisor + 1) * 2);
    return QLocale().toString(megahertz, 'g', kSignificantDigits);
}

std::optional<std::int32_t> IntegerValue(const QString &text) {
    bool converted = false;
    const int value = text.toInt(&converted, 10);
    if (!converted) return std::nullopt;
    return value;
}

QString NotAnIntegerMessage(const QString &text) {
    return QStringLiteral("'%1' is not a valid integer value").arg(text);
}

TfrmSetZizeSpeed::TfrmSetZizeSpeed(RunState &state, DialogLog &log, ModalRunner &modals, QWidget *parent)
    : QDialog(parent), state_(state), log_(log), modals_(modals) {
    setObjectName(QStringLiteral("frmSetZizeSpeed"));
    setWindowTitle(QStringLiteral("设置容量和速度"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFixedSize(406, 271);
    CentreOnScreen(*this);

    const auto addLabel = [this](const char *name, const QString &caption, int y) {
        auto *label = new QLabel(caption, this);
        label->setObjectName(QLatin1String(name));
        label->setGeometry(40, y, 110, 21);
    };
    addLabel("Label1", QStringLiteral("容量(KB)"), 32);
    addLabel("Label2", QStringLiteral("块大小(KB)"), 80);
    addLabel("Label3", QStringLiteral("ISP速度(0-255)"), 128);

    cbCountKB = new QComboBox(this);
    cbCountKB->setObjectName(QStringLiteral("cbCountKB"));
    cbCountKB->addItems({QStringLiteral("1"), QStringLiteral("8"), QStringLiteral("1024"), QStringLiteral("2048"),
                         QStringLiteral("4096"), QStringLiteral("8192"), QStringLiteral("16384")});
    cbCountKB->setCurrentIndex(-1);
    cbCountKB->setGeometry(160, 30, 105, 24);

    cbBlockKB = new QComboBox(this);
    cbBlockKB->setObjectName(QStringLiteral("cbBlockKB"));
    cbBlockKB->addItems({QStringLiteral("32"), QStringLiteral("64")});
    cbBlockKB->setCurrentText(QStringLiteral("64"));
    cbBlockKB->setGeometry(160, 78, 105, 24);

    Edit1 = new QLineEdit(QStringLiteral("0"), this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(160, 126, 105, 24);

    // Each action has a button that keeps the dialog open and one that also
    // closes it.
    connect(AddButton("btnSetSize", QStringLiteral("设置容量"), 290, 30), &QPushButton::clicked, this,
            &TfrmSetZizeSpeed::Button1Click);
    connect(AddButton("btnSetSpeed", QStringLiteral("设置速度"), 290, 126), &QPushButton::clicked, this,
            &TfrmSetZizeSpeed::Button2Click);
    connect(AddButton("Button1", QStringLiteral("确定"), 100, 200), &QPushButton::clicked, this, [this] {
        Button1Click();
        accept();
    });
    QPushButton *Button2 = AddButton("Button2", QStringLiteral("关闭"), 230, 200);
    Button2->setDefault(true);
    connect(Button2, &QPushButton::clicked, this, [this] {
        Button2Click();
        accept();
    });
}

QPushButton *TfrmSetZizeSpeed::AddButton(const char *name, const QString &caption, int x, int y) {
    auto *button = new QPushButton(caption, this);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(x, y, 75, 25);
    button->setAutoDefault(false);
    return button;
}

void TfrmSetZizeSpeed::keyPressEvent(QKeyEvent *event) {
    if (event->key() == Qt::Key_Escape) {
        event->ignore();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TfrmSetZizeSpeed::Button1Click() {
    log_.ClearLog();
    const std::optional<std::int32_t> capacity = IntegerOf(cbCountKB->currentText());
    if (!capacity) return;
    state_.CapacityKB = *capacity;
    const std::optional<std::int32_t> block = IntegerOf(cbBlockKB->currentText());
    if (!block) return;
    state_.EraseBlockKB = *block;
    state_.ChipSelected = 1;
    state_.LargeTransfer = 0;
    log_.AppendLog(QStringLiteral("当前芯片cbCountKB=") + cbCountKB->currentText());
    log_.AppendLog(QStringLiteral("当前芯片cbBlockKB=") + cbBlockKB->currentText());
}

void TfrmSetZizeSpeed::Button2Click() {
    const std::optional<std::int32_t> speed = IntegerOf(Edit1->text());
    if (!speed) return;
    // No range test: only the low 8 bits travel.
    const std::optional<std::uint8_t> inEffect = SendSpeed(static_cast<std::uint8_t>(*speed & 0xFF));
    if (inEffect) {
        log_.AppendLog(QStringLiteral("配置SPI速度为:") + SpiClockMHzText(*inEffect) + QStringLiteral("MHz"));
    }
}

std::optional<std::int32_t> TfrmSetZizeSpeed::IntegerOf(const QString &text) {
    const std::optional<std::int32_t> value = IntegerValue(text);
    if (!value) {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Kestro_QX"), NotAnIntegerMessage(text),
                        QMessageBox::Ok, this);
        box.setObjectName(QStringLiteral("ErrorBox"));
        modals_.Run(box);
    }
    return value;
}

// The main window's settings, pin modes, small windows and service commands,
// against an in-process simulator through the shipped library.
#include <functional>
#include <optional>
#include <vector>

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "CaseName.h"
#include "MainWindowFixture.h"
#include "Un_About.h"
#include "Un_IC.h"
#include "Un_PinBmp.h"
#include "Un_SetSizeSpeed.h"

namespace {

const QString kSpiWiring = QStringLiteral("Image1");
const QString kI2cWiring = QStringLiteral("Image2");

template <typename Control>
Control *Child(QWidget &window, const char *name) {
    auto *control = window.findChild<Control *>(QLatin1String(name));
    EXPECT_NE(control, nullptr) << name;
    return control;
}

class ServiceWindowTest : public MainWindowTest {
protected:
    // Answers the capacity and speed dialog with the given steps; the dialog
    // is shown while they run, as under exec().
    void AnswerCapacityDialog(std::function<void(TfrmSetZizeSpeed &)> steps) {
        modals_.answer = [this, steps](QDialog &dialog) {
            auto *capacityDialog = qobject_cast<TfrmSetZizeSpeed *>(&dialog);
            EXPECT_NE(capacityDialog, nullptr);
            if (capacityDialog == nullptr) return int(QDialog::Rejected);
            dialog.show();
            steps(*capacityDialog);
            closedByItself_ = !dialog.isVisible();
            return dialog.result();
        };
    }

    void AnswerPinDiagrams() {
        modals_.answer = [this](QDialog &dialog) {
            EXPECT_NE(qobject_cast<TfrmPinBmp *>(&dialog), nullptr);
            QStringList visible;
            for (const char *name : {"Image1", "Image2"}) {
                if (!Child<QLabel>(dialog, name)->isHidden()) visible.append(QLatin1String(name));
            }
            pinDiagrams_.push_back(visible);
            return int(QDialog::Accepted);
        };
    }

    std::optional<bool> closedByItself_;
    // Which pictures each pin diagram window showed, one entry per window.
    std::vector<QStringList> pinDiagrams_;
};

void ChooseCapacity(TfrmSetZizeSpeed &dialog, const char *capacity, const char *block) {
    Child<QComboBox>(dialog, "cbCountKB")->setCurrentText(QString::fromUtf8(capacity));
    Child<QComboBox>(dialog, "cbBlockKB")->setCurrentText(QString::fromUtf8(block));
}

void TypeSpeed(TfrmSetZizeSpeed &dialog, const char *speed) {
    Child<QLineEdit>(dialog, "Edit1")->setText(QString::fromUtf8(speed));
}

void Press(TfrmSetZizeSpeed &dialog, const char *button) { Child<QPushButton>(dialog, button)->click(); }

TEST_F(ServiceWindowTest, CapacityDialogOpensWithItsFixedContents) {
    Window();
    AnswerCapacityDialog([](TfrmSetZizeSpeed &dialog) {
        EXPECT_EQ(dialog.objectName(), QStringLiteral("frmSetZizeSpeed"));
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("设置容量和速度"));
        EXPECT_EQ(dialog.size(), QSize(406, 271));
        EXPECT_FALSE(dialog.windowFlags() & Qt::WindowCloseButtonHint);
        QComboBox *capacity = Child<QComboBox>(dialog, "cbCountKB");
        EXPECT_EQ(capacity->currentText(), QString());
        EXPECT_EQ(capacity->count(), 7);
        EXPECT_EQ(capacity->itemText(6), QStringLiteral("16384"));
        EXPECT_FALSE(capacity->isEditable());
        EXPECT_EQ(Child<QComboBox>(dialog, "cbBlockKB")->currentText(), QStringLiteral("64"));
        EXPECT_EQ(Child<QLineEdit>(dialog, "Edit1")->text(), QStringLiteral("0"));
        for (const auto &[name, caption] : {std::pair{"btnSetSize", "设置容量"}, std::pair{"btnSetSpeed", "设置速度"},
                                            std::pair{"Button1", "确定"}, std::pair{"Button2", "关闭"}}) {
            EXPECT_EQ(Child<QPushButton>(dialog, name)->text(), QString::fromUtf8(caption));
        }
        EXPECT_TRUE(Child<QPushButton>(dialog, "Button2")->isDefault());
        // Escape is no way out: every way out applies a setting.
        QTest::keyClick(&dialog, Qt::Key_Escape);
        EXPECT_TRUE(dialog.isVisible());
        dialog.hide();
    });
    Pick("N8");
    EXPECT_EQ(modals_.dialogs.size(), 1u);
}

TEST_F(ServiceWindowTest, ApplyingTheCapacityClearsTheLogAndSetsTheRunState) {
    Connect();
    state_.LargeTransfer = 1;
    state_.ChipSelected = 0;
    AnswerCapacityDialog([](TfrmSetZizeSpeed &dialog) {
        ChooseCapacity(dialog, "16384", "64");
        Press(dialog, "btnSetSize");
        EXPECT_TRUE(dialog.isVisible());
        ChooseCapacity(dialog, "4096", "32");
        Press(dialog, "Button1");
    });
    Pick("N8");
    EXPECT_EQ(closedByItself_, true);
    EXPECT_EQ(state_.CapacityKB, 4096);
    EXPECT_EQ(state_.EraseBlockKB, 32);
    EXPECT_EQ(state_.ChipSelected, 1);
    EXPECT_EQ(state_.LargeTransfer, 0);
    EXPECT_EQ(Log(), (QStringList{QStringLiteral("当前芯片cbCountKB=4096"), QStringLiteral("当前芯片cbBlockKB=32")}));
    EXPECT_EQ(modals_.messages, QStringList{});
}

TEST_F(ServiceWindowTest, AnEmptyCapacityIsRefusedAndTheDialogStillCloses) {
    Connect();
    const RunState before = state_;
    ASSERT_FALSE(Log().isEmpty());
    AnswerCapacityDialog([](TfrmSetZizeSpeed &dialog) { Press(dialog, "Button1"); });
    Pick("N8");
    EXPECT_EQ(closedByItself_, true);
    EXPECT_EQ(modals_.messages, QStringList{QStringLiteral("'' is not a valid integer value")});
    EXPECT_EQ(state_.CapacityKB, before.CapacityKB);
    EXPECT_EQ(state_.EraseBlockKB, before.EraseBlockKB);
    EXPECT_EQ(state_.ChipSelected, before.ChipSelected);
    EXPECT_EQ(Log(), QStringList{});
}

struct SpeedCase {
    const char *name;
    const char *typed;
    sim::Message frame;
    const char *logged;
};

class SpeedThroughWindow : public ServiceWindowTest, public ::testing::WithParamInterface<SpeedCase> {};

TEST_P(SpeedThroughWindow, SendsTheLowEightBitsAndLogsTheSpeedInEffect) {
    sim::Simulator &simulator = Connect();
    const QStringList logBefore = Log();
    AnswerCapacityDialog([typed = GetParam().typed](TfrmSetZizeSpeed &dialog) {
        TypeSpeed(dialog, typed);
        Press(dialog, "btnSetSpeed");
        EXPECT_TRUE(dialog.isVisible());
        dialog.hide();
    });
    Pick("N8");
    EXPECT_EQ(simulator.firmware().Received(), std::vector<sim::Message>{GetParam().frame});
    EXPECT_EQ(Log(), logBefore + QStringList{QString::fromUtf8(GetParam().logged)});
}

INSTANTIATE_TEST_SUITE_P(
    Divisors, SpeedThroughWindow,
    ::testing::Values(SpeedCase{"Zero", "0", {0xFC, 0x00, 0x03, 0xFF}, "配置SPI速度为:24MHz"},
                      SpeedCase{"Largest", "255", {0xFC, 0xFF, 0x03, 0x00}, "配置SPI速度为:0.09375MHz"},
                      SpeedCase{"PastTheRange", "300", {0xFC, 0x2C, 0x03, 0xD3}, "配置SPI速度为:0.533333333333333MHz"},
                      SpeedCase{"Negative", "-1", {0xFC, 0xFF, 0x03, 0x00}, "配置SPI速度为:0.09375MHz"},
                      SpeedCase{"AcknowledgedDivisorFive", "5", {0xFC, 0x05, 0x03, 0xFA}, "配置SPI速度为:4MHz"}),
    CaseName());

TEST_F(ServiceWindowTest, EnterPressesCloseWhichSendsTheSpeed) {
    sim::Simulator &simulator = Connect();
    AnswerCapacityDialog([](TfrmSetZizeSpeed &dialog) {
        TypeSpeed(dialog, "1");
        QTest::keyClick(&dialog, Qt::Key_Return);
    });
    Pick("N8");
    EXPECT_EQ(closedByItself_, true);
    EXPECT_EQ(simulator.firmware().Received(), std::vector<sim::Message>({{0xFC, 0x01, 0x03, 0xFE}}));
    EXPECT_EQ(Log().last(), QStringLiteral("配置SPI速度为:12MHz"));
}

TEST_F(ServiceWindowTest, SpeedFailuresLogNothing) {
    sim::Simulator &simulator = Connect();
    const QStringList logBefore = Log();
    AnswerCapacityDialog([](TfrmSetZizeSpeed &dialog) {
        TypeSpeed(dialog, "12x");
        Press(dialog, "Button2");
    });
    Pick("N8");
    EXPECT_EQ(closedByItself_, true);
    EXPECT_EQ(modals_.messages, QStringList{QStringLiteral("'12x' is not a valid integer value")});
    EXPECT_TRUE(simulator.firmware().Received().empty());

    sim::Faults faults;
    faults.wrongEcho = true;
    simulator.firmware().SetFaults(faults);
    AnswerCapacityDialog([](TfrmSetZizeSpeed &dialog) { Press(dialog, "Button2"); });
    Pick("N8");
    simulator.Stop();
    Pick("N8");
    EXPECT_EQ(Log(), logBefore);
}

struct ClockCase {
    const char *name;
    std::uint8_t divisor;
    const char *text;
};

class SpiClockText : public ::testing::TestWithParam<ClockCase> {};

TEST_P(SpiClockText, IsTheShortestFormOfAtMostFifteenDigits) {
    EXPECT_EQ(SpiClockMHzText(GetParam().divisor), QString::fromUtf8(GetParam().text));
}

INSTANTIATE_TEST_SUITE_P(
    Divisors, SpiClockText,
    ::testing::Values(ClockCase{"D0", 0, "24"}, ClockCase{"D1", 1, "12"}, ClockCase{"D2", 2, "8"},
                      ClockCase{"D3", 3, "6"}, ClockCase{"D4", 4, "4.8"}, ClockCase{"D5", 5, "4"},
                      ClockCase{"D6", 6, "3.42857142857143"}, ClockCase{"D7", 7, "3"},
                      ClockCase{"D8", 8, "2.66666666666667"}, ClockCase{"D9", 9, "2.4"}, ClockCase{"D11", 11, "2"},
                      ClockCase{"D15", 15, "1.5"}, ClockCase{"D23", 23, "1"}, ClockCase{"D47", 47, "0.5"},
                      ClockCase{"D127", 127, "0.1875"}, ClockCase{"D255", 255, "0.09375"}),
    CaseName());

TEST_F(ServiceWindowTest, PinModeItemsSendTheFrameAndShowTheirWiring) {
    sim::Simulator &simulator = Connect();
    AnswerPinDiagrams();
    Pick("MX25L1");
    Pick("MX25L1");
    Pick("N24CX1");
    EXPECT_EQ(pinDiagrams_, (std::vector<QStringList>{{kSpiWiring}, {kSpiWiring}, {kI2cWiring}}));
    const sim::Message mx25l{0xFE, 0x18, 0x20, 0xC2, 0x00, 0x00, 0x00, 0x8B};
    EXPECT_EQ(simulator.firmware().Received(),
              (std::vector<sim::Message>{mx25l, mx25l, {0xFE, 0x24, 0x24, 0x24, 0x00, 0x04, 0x00, 0x1B}}));
    EXPECT_EQ(Log().mid(Log().size() - 3),
              (QStringList{QStringLiteral("配置MX25L12845引脚成功!"), QStringLiteral("配置MX25L12845引脚成功!"),
                           QStringLiteral("配置ATMEL 24CXX引脚成功!")}));
    EXPECT_FALSE(Item("MX25L1")->isChecked());
    EXPECT_TRUE(Item("N24CX1")->isChecked());
}

TEST_F(ServiceWindowTest, WithoutAProgrammerThePinModeLogsNothingAndStillShowsItsWiring) {
    Window();
    const QStringList logBefore = Log();
    AnswerPinDiagrams();
    Pick("MX25L1");
    EXPECT_EQ(pinDiagrams_, std::vector<QStringList>{{kSpiWiring}});
    EXPECT_EQ(Log(), logBefore);
    EXPECT_TRUE(Item("MX25L1")->isChecked());
}

TEST_F(ServiceWindowTest, IoEmulationModeShowsFrameAndReplyInTheBuffer) {
    Connect();
    Pick("N10");
    EXPECT_EQ(Buffer().Bytes(), QByteArray::fromHex("FE 24 00 00 00 04 00 D8 FE 00 00 24 00 00 00 84"));
    EXPECT_EQ(Log().last(), QStringLiteral("测试CRC成功!"));
    EXPECT_TRUE(modals_.dialogs.empty());

    simulator_->Stop();
    const QStringList logBefore = Log();
    Pick("N10");
    EXPECT_EQ(Buffer().Bytes(), QByteArray::fromHex("FE 24 00 00 00 04 00 D8 FE 24 00 00 00 04 00 D8"));
    EXPECT_EQ(Log(), logBefore);
}

TEST_F(ServiceWindowTest, PinDiagramWindowLaysOutItsPictures) {
    TfrmPinBmp window;
    window.ShowWiring(PinWiring::I2c);
    EXPECT_EQ(window.objectName(), QStringLiteral("frmPinBmp"));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("引脚连结图"));
    EXPECT_EQ(window.size(), QSize(757, 557));
    EXPECT_FALSE(window.windowFlags() & Qt::WindowCloseButtonHint);
    QLabel *spi = Child<QLabel>(window, "Image1");
    QLabel *i2c = Child<QLabel>(window, "Image2");
    EXPECT_EQ(spi->geometry(), QRect(0, 0, 407, 490));
    EXPECT_EQ(spi->pixmap().size(), QSize(407, 490));
    EXPECT_EQ(i2c->geometry(), QRect(0, 5, 633, 524));
    // Drawn at its natural size; the rest of the place keeps the background.
    EXPECT_EQ(i2c->pixmap().size(), QSize(627, 513));
    EXPECT_EQ(i2c->alignment(), Qt::AlignLeft | Qt::AlignTop);
    EXPECT_TRUE(spi->isHidden());
    EXPECT_FALSE(i2c->isHidden());
    QPushButton *ok = Child<QPushButton>(window, "btnOK");
    EXPECT_EQ(ok->text(), QStringLiteral("确定"));
    EXPECT_EQ(ok->geometry(), QRect(656, 24, 75, 25));
    window.show();
    ok->click();
    EXPECT_EQ(window.result(), QDialog::Accepted);
    EXPECT_FALSE(window.isVisible());
}

TEST_F(ServiceWindowTest, AboutWindowNamesTheProductAndItsMaker) {
    Window();
    modals_.answer = [](QDialog &dialog) {
        EXPECT_NE(qobject_cast<TfrmAbout *>(&dialog), nullptr);
        EXPECT_EQ(dialog.objectName(), QStringLiteral("frmAbout"));
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("关于"));
        EXPECT_EQ(dialog.size(), QSize(298, 168));
        EXPECT_EQ(Child<QLabel>(dialog, "ProductName")->text(), QStringLiteral("Kestro编程器上位机"));
        EXPECT_EQ(Child<QLabel>(dialog, "MakerName")->text(), QStringLiteral("Kestro Electronics"));
        QLabel *icon = Child<QLabel>(dialog, "ProgramIcon");
        EXPECT_EQ(icon->geometry(), QRect(8, 8, 65, 57));
        EXPECT_FALSE(icon->pixmap().isNull());
        QPushButton *ok = Child<QPushButton>(dialog, "OKButton");
        EXPECT_EQ(ok->text(), QStringLiteral("OK"));
        EXPECT_TRUE(ok->isDefault());
        dialog.show();
        ok->click();
        return dialog.result();
    };
    Pick("N19");
    Pick("N19");
    EXPECT_EQ(modals_.dialogs.size(), 2u);
}

TEST_F(ServiceWindowTest, ChipTableOpensOverTheWorkingDirectorysFile) {
    QTemporaryDir folder;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(folder.path());
    Window();
    bool opened = false;
    modals_.answer = [&opened](QDialog &dialog) {
        opened = qobject_cast<TfrmIC *>(&dialog) != nullptr;
        return int(QDialog::Rejected);
    };
    Pick("N17");
    QDir::setCurrent(previous);
    EXPECT_TRUE(opened);
    EXPECT_TRUE(QFile::exists(folder.filePath(QStringLiteral("icdata.db"))));
    EXPECT_EQ(modals_.messages,
              QStringList{QStringLiteral("no such table: ic\n\nselect *, rowid as rowid from \"ic\"")});
}

struct ServiceCase {
    const char *name;
    const char *control;
    const char *message;
    const char *logLine;
    const char *buffer;  // hex, or empty when the buffer is left alone
};

class ServiceThroughWindow : public ServiceWindowTest, public ::testing::WithParamInterface<ServiceCase> {
protected:
    void Use(const char *control) {
        if (auto *button = Window().findChild<QPushButton *>(QLatin1String(control))) {
            // Hidden buttons, and the disabled application entry, are wired all the same.
            button->setEnabled(true);
            button->click();
        } else {
            Pick(control);
        }
    }
};

TEST_P(ServiceThroughWindow, ShowsTheOutcome) {
    const ServiceCase &c = GetParam();
    Connect();
    LoadBuffer("kept");
    const QStringList logBefore = Log();
    Use(c.control);
    EXPECT_EQ(modals_.messages, c.message[0] == '\0' ? QStringList() : QStringList{QString::fromUtf8(c.message)});
    EXPECT_EQ(Log(), c.logLine[0] == '\0' ? logBefore : logBefore + QStringList{QString::fromUtf8(c.logLine)});
    EXPECT_EQ(Buffer().Bytes(), c.buffer[0] == '\0' ? QByteArray("kept") : QByteArray::fromHex(c.buffer));
}

INSTANTIATE_TEST_SUITE_P(
    Controls, ServiceThroughWindow,
    ::testing::Values(ServiceCase{"BOOTLOAD21", "BOOTLOAD21", "EnterBoot OK!", "", ""},
                      ServiceCase{"BOOTLOAD1", "BOOTLOAD1", "EnterBoot OK!", "", ""},
                      ServiceCase{"N12", "N12", "", "", "6500000000000010"},
                      ServiceCase{"miDebugTest2", "miDebugTest2", "", "", "67 00 00 00 40 C2 20 18"},
                      ServiceCase{"Button8", "Button8", "测试OK", "", "640B1621"},
                      ServiceCase{"btnEnterApplication", "btnEnterApplication", "EnterApplication OK!", "", ""},
                      ServiceCase{"Button10", "Button10", "测试OK", "", "8883000000000055"},
                      ServiceCase{"Button11", "Button11", "", "芯片9FID_OLD是:20C2", ""},
                      ServiceCase{"Button12", "Button12", "", "", "66000000"},
                      ServiceCase{"Button14", "Button14", "", "芯片90ID是:17C2", ""},
                      ServiceCase{"Button15", "Button15", "", "芯片9FID是:FF1820C2", ""},
                      ServiceCase{"Button20", "Button20", "测试OK", "", ""}),
    CaseName());

TEST_F(ServiceWindowTest, WithoutAProgrammerServiceCommandsSayWhatTheyCan) {
    Window();
    Pick("BOOTLOAD1");
    Pick("N12");
    EXPECT_EQ(modals_.messages, QStringList{QStringLiteral("USBSendCMD Not OK!")});
    EXPECT_EQ(Buffer().Bytes(), QByteArray(8, '\0'));
}

// Settings, pin modes and service commands picked between two units of a
// read run at once; the read goes on and its image is what the view shows.
TEST_F(ServiceWindowTest, CommandsPickedDuringAReadInterleaveWithIt) {
    sim::Simulator &simulator = Connect();
    state_.CapacityKB = 4;
    AnswerPinDiagrams();
    QTimer::singleShot(0, &Window(), [&] {
        Pick("N12");
        Pick("MX25L1");
        Pick("BOOTLOAD1");
        AnswerCapacityDialog([](TfrmSetZizeSpeed &dialog) {
            TypeSpeed(dialog, "1");
            Press(dialog, "Button2");
        });
        Pick("N8");
    });
    Pick("miReadData");
    const QStringList log = Log();
    EXPECT_EQ(log.last().left(3), QStringLiteral("用时:"));
    EXPECT_TRUE(log.contains(QStringLiteral("读取数据已完成...")));
    EXPECT_TRUE(log.contains(QStringLiteral("配置MX25L12845引脚成功!")));
    EXPECT_TRUE(log.contains(QStringLiteral("配置SPI速度为:12MHz")));
    EXPECT_EQ(modals_.messages, QStringList{QStringLiteral("EnterBoot OK!")});
    EXPECT_EQ(Buffer().Bytes(), Bytes(simulator.firmware().Image(), 4096));
    EXPECT_EQ(state_.Busy, 0);
}

}  // namespace

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <QCheckBox>
#include <QPushButton>
#include <gtest/gtest.h>

#include "CaseName.h"
#include "Crc8.h"
#include "MainWindowFixture.h"
#include "SelfTestState.h"
#include "Un_ZIFA.h"

namespace {

QString PinBoxName(int pin) { return QStringLiteral("cbZIF%1").arg(pin, 2, 10, QLatin1Char('0')); }

std::vector<QString> PinBoxNames(int first, int last) {
    std::vector<QString> names;
    for (int pin = first; pin <= last; ++pin) names.push_back(PinBoxName(pin));
    return names;
}

// The main window connected to a recording programmer, and the panel made
// as the main window makes it.
class SelfTestPanelTest : public MainWindowTest {
protected:
    void Connect() {
        StartProgrammer().firmware().SetRecording(true);
        Window();
        simulator_->firmware().ClearReceived();
    }

    TfrmDevA &Panel() {
        if (!panel_) {
            panel_ = std::make_unique<TfrmDevA>(&Window());
            panel_->show();
        }
        return *panel_;
    }

    QCheckBox *Box(const QString &name) {
        auto *box = Panel().findChild<QCheckBox *>(name);
        EXPECT_NE(box, nullptr) << name.toStdString();
        return box;
    }
    void Click(const QString &name) { Box(name)->click(); }
    void Click(const std::vector<QString> &names) {
        for (const QString &name : names) Click(name);
    }

    // The state bytes of every frame received since the last call; each must
    // be a well-formed self-test frame.
    std::vector<SelfTestBytes> TakeFrames() {
        std::vector<SelfTestBytes> states;
        for (const sim::Message &frame : simulator_->firmware().Received()) {
            EXPECT_EQ(frame.size(), 8u);
            if (frame.size() != 8u) continue;
            EXPECT_EQ(frame[0], 0x88);
            EXPECT_EQ(frame[7], Crc8Bitwise(frame.data() + 1, 6));
            states.push_back({frame[1], frame[2], frame[3], frame[4], frame[5], frame[6]});
        }
        simulator_->firmware().ClearReceived();
        return states;
    }

    std::unique_ptr<TfrmDevA> panel_;
};

TEST_F(SelfTestPanelTest, OpensFromTheToolsMenuFreshAndFromZeroedStateEachTime) {
    Connect();
    std::vector<sim::Message> atShow;
    std::vector<sim::Message> afterClick;
    std::vector<bool> pin1CheckedAtShow;
    modals_.answer = [&](QDialog &dialog) {
        dialog.show();
        pin1CheckedAtShow.push_back(dialog.findChild<QCheckBox *>(QStringLiteral("cbZIF01"))->isChecked());
        atShow = simulator_->firmware().Received();
        dialog.findChild<QCheckBox *>(QStringLiteral("cbZIF01"))->click();
        afterClick = simulator_->firmware().Received();
        simulator_->firmware().ClearReceived();
        dialog.findChild<QPushButton *>(QStringLiteral("Button1"))->click();
        return dialog.result();
    };

    for (int opening = 0; opening < 2; ++opening) {
        SCOPED_TRACE(opening);
        Pick("N7");
        EXPECT_TRUE(atShow.empty());
        EXPECT_EQ(afterClick, (std::vector<sim::Message>{{0x88, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0xCD}}));
    }
    EXPECT_EQ(pin1CheckedAtShow, (std::vector<bool>{false, false}));
    EXPECT_TRUE(modals_.messages.isEmpty());
    EXPECT_TRUE(simulator_->firmware().Received().empty());
}

TEST_F(SelfTestPanelTest, WindowNamesAndFixedBoxes) {
    Connect();
    EXPECT_EQ(Panel().objectName(), QStringLiteral("frmDevA"));
    EXPECT_EQ(Panel().windowTitle(), QStringLiteral("编程器自检"));
    EXPECT_TRUE(Panel().isModal());
    EXPECT_FALSE(Panel().windowFlags() & Qt::WindowSystemMenuHint);
    EXPECT_FALSE(Panel().windowFlags() & Qt::WindowCloseButtonHint);
    for (const char *name : {"gbZIF", "Shape1", "Shape2", "Label1", "Label7"}) {
        EXPECT_NE(Panel().findChild<QWidget *>(QLatin1String(name)), nullptr) << name;
    }

    struct Fixed {
        const char *name;
        const char *caption;
        int tag;
        bool checked;
    };
    for (const Fixed &fixed : {Fixed{"cbZIF20", "ZIF20", 20, false}, Fixed{"cbZIF40", "ZIF40", 40, false},
                               Fixed{"cbZIFGND20", "20脚接GND", 0, true}}) {
        SCOPED_TRACE(fixed.name);
        QCheckBox *box = Box(QLatin1String(fixed.name));
        EXPECT_EQ(box->text(), QString::fromUtf8(fixed.caption));
        EXPECT_EQ(box->property("Tag"), QVariant(fixed.tag));
        EXPECT_EQ(box->isChecked(), fixed.checked);
        EXPECT_FALSE(box->isEnabled());
        box->setChecked(!fixed.checked);
    }
    EXPECT_TRUE(TakeFrames().empty());
}

// The wiring of each switch: the one bit its box sets in the frame.
struct SwitchCase {
    std::string name;
    const char *box;
    const char *caption;
    int tag;
    int stateByte;  // 1 to 6
    std::uint8_t mask;
};

void PrintTo(const SwitchCase &param, std::ostream *out) { *out << param.name; }

class SelfTestSwitchTest : public SelfTestPanelTest, public ::testing::WithParamInterface<SwitchCase> {};

TEST_P(SelfTestSwitchTest, SetsAndClearsItsBitAlone) {
    const SwitchCase &param = GetParam();
    Connect();
    QCheckBox *box = Box(QLatin1String(param.box));
    EXPECT_EQ(box->text(), QString::fromUtf8(param.caption));
    EXPECT_EQ(box->property("Tag"), QVariant(param.tag));

    SelfTestBytes set{};
    set[std::size_t(param.stateByte - 1)] = param.mask;
    box->click();
    EXPECT_EQ(TakeFrames(), std::vector<SelfTestBytes>{set});
    box->click();
    EXPECT_EQ(TakeFrames(), std::vector<SelfTestBytes>{SelfTestBytes{}});
}

INSTANTIATE_TEST_SUITE_P(
    Wiring, SelfTestSwitchTest,
    ::testing::Values(
        SwitchCase{"Vpp14V", "cbVPP14V", "勾选VPP为14V，不勾为12V", 59, 1, 0x01},
        SwitchCase{"Vpp01", "cbZIFVPP01", "01脚加VPP", 53, 1, 0x02},
        SwitchCase{"Vpp09", "cbZIFVPP09", "09脚加VPP", 54, 1, 0x04},
        SwitchCase{"Vpp31", "cbZIFVPP31", "31脚加VPP", 55, 1, 0x08},
        SwitchCase{"Gnd10", "cbZIFGND10", "10脚接GND", 56, 1, 0x10},
        SwitchCase{"Gnd16", "cbZIFGND16", "16脚接GND", 57, 1, 0x20},
        SwitchCase{"Pin01", "cbZIF01", "ZIF01", 1, 2, 0x01}, SwitchCase{"Pin02", "cbZIF02", "ZIF02", 2, 2, 0x02},
        SwitchCase{"Pin04", "cbZIF04", "ZIF04", 4, 2, 0x04}, SwitchCase{"Pin03", "cbZIF03", "ZIF03", 3, 2, 0x08},
        SwitchCase{"Pin05", "cbZIF05", "ZIF05", 5, 2, 0x10}, SwitchCase{"Pin06", "cbZIF06", "ZIF06", 6, 2, 0x20},
        SwitchCase{"Pin08", "cbZIF08", "ZIF08", 8, 2, 0x40}, SwitchCase{"Pin07", "cbZIF07", "ZIF07", 7, 2, 0x80},
        SwitchCase{"Pin09", "cbZIF09", "ZIF09", 9, 3, 0x01}, SwitchCase{"Pin10", "cbZIF10", "ZIF10", 10, 3, 0x02},
        SwitchCase{"Pin11", "cbZIF11", "ZIF11", 11, 3, 0x04}, SwitchCase{"Pin12", "cbZIF12", "ZIF12", 12, 3, 0x08},
        SwitchCase{"Pin13", "cbZIF13", "ZIF13", 13, 3, 0x10}, SwitchCase{"Pin14", "cbZIF14", "ZIF14", 14, 3, 0x20},
        SwitchCase{"Pin15", "cbZIF15", "ZIF15", 15, 3, 0x40}, SwitchCase{"Pin16", "cbZIF16", "ZIF16", 16, 3, 0x80},
        SwitchCase{"Pin17", "cbZIF17", "ZIF17", 17, 4, 0x01}, SwitchCase{"Pin19", "cbZIF19", "ZIF19", 19, 4, 0x02},
        SwitchCase{"Pin18", "cbZIF18", "ZIF18", 18, 4, 0x04},
        SwitchCase{"Lamps", "cbRUN", "点亮RUN/ERR指示灯", 58, 4, 0x08},
        SwitchCase{"Pin39", "cbZIF39", "ZIF39", 39, 4, 0x20}, SwitchCase{"Pin38", "cbZIF38", "ZIF38", 38, 4, 0x40},
        SwitchCase{"Pin37", "cbZIF37", "ZIF37", 37, 4, 0x80},
        SwitchCase{"Pin36", "cbZIF36", "ZIF36", 36, 5, 0x01}, SwitchCase{"Pin35", "cbZIF35", "ZIF35", 35, 5, 0x02},
        SwitchCase{"Pin34", "cbZIF34", "ZIF34", 34, 5, 0x04}, SwitchCase{"Pin33", "cbZIF33", "ZIF33", 33, 5, 0x08},
        SwitchCase{"Pin32", "cbZIF32", "ZIF32", 32, 5, 0x10}, SwitchCase{"Pin31", "cbZIF31", "ZIF31", 31, 5, 0x20},
        SwitchCase{"Pin30", "cbZIF30", "ZIF30", 30, 5, 0x40}, SwitchCase{"Pin29", "cbZIF29", "ZIF29", 29, 5, 0x80},
        SwitchCase{"Pin28", "cbZIF28", "ZIF28", 28, 6, 0x01}, SwitchCase{"Pin27", "cbZIF27", "ZIF27", 27, 6, 0x02},
        SwitchCase{"Pin26", "cbZIF26", "ZIF26", 26, 6, 0x04}, SwitchCase{"Pin25", "cbZIF25", "ZIF25", 25, 6, 0x08},
        SwitchCase{"Pin24", "cbZIF24", "ZIF24", 24, 6, 0x10}, SwitchCase{"Pin23", "cbZIF23", "ZIF23", 23, 6, 0x20},
        SwitchCase{"Pin22", "cbZIF22", "ZIF22", 22, 6, 0x40}, SwitchCase{"Pin21", "cbZIF21", "ZIF21", 21, 6, 0x80}),
    CaseName());

// The two supply boxes: after the first click exactly one is selected.
struct SupplyCase {
    std::string name;
    std::vector<QString> before;
    QString click;
    std::vector<std::uint8_t> supplyBytes;  // byte 1 of each frame the click sends
    bool checked5V;
};

void PrintTo(const SupplyCase &param, std::ostream *out) { *out << param.name; }

class SelfTestSupplyTest : public SelfTestPanelTest, public ::testing::WithParamInterface<SupplyCase> {};

TEST_P(SelfTestSupplyTest, KeepsExactlyOneSupply) {
    const SupplyCase &param = GetParam();
    Connect();
    Click(param.before);
    TakeFrames();
    Click(param.click);

    std::vector<std::uint8_t> supplyBytes;
    for (const SelfTestBytes &state : TakeFrames()) supplyBytes.push_back(state[0]);
    EXPECT_EQ(supplyBytes, param.supplyBytes);
    EXPECT_EQ(Box(QStringLiteral("cbZIF5V"))->isChecked(), param.checked5V);
    EXPECT_EQ(Box(QStringLiteral("cbZIF3V"))->isChecked(), !param.checked5V);
}

const QString k5V = QStringLiteral("cbZIF5V");
const QString k3V = QStringLiteral("cbZIF3V");

INSTANTIATE_TEST_SUITE_P(Clicks, SelfTestSupplyTest,
                         ::testing::Values(SupplyCase{"First5V", {}, k5V, {0x40}, true},
                                           SupplyCase{"First3V", {}, k3V, {0x80}, false},
                                           SupplyCase{"To5VFrom3V", {k3V}, k5V, {0x40, 0x40}, true},
                                           SupplyCase{"To3VFrom5V", {k5V}, k3V, {0x80, 0x80}, false},
                                           SupplyCase{"Unchecking3VChecks5V", {k3V}, k3V, {0x40, 0x40}, true},
                                           SupplyCase{"Unchecking5VChecks3V", {k5V}, k5V, {0x80, 0x80}, false},
                                           SupplyCase{"KeepsTheVppLevel",
                                                      {QStringLiteral("cbVPP14V"), k3V},
                                                      k5V,
                                                      {0x41, 0x41},
                                                      true}),
                         CaseName());

// A select-all box sets its 19 pin boxes, each sending its own frame, then
// sends the final state; the bits it does not own keep their values.
struct SelectAllCase {
    std::string name;
    std::vector<QString> before;
    QString click;
    std::size_t frames;
    SelfTestBytes finalState;
    bool pinsChecked;
};

void PrintTo(const SelectAllCase &param, std::ostream *out) { *out << param.name; }

class SelfTestSelectAllTest : public SelfTestPanelTest, public ::testing::WithParamInterface<SelectAllCase> {};

TEST_P(SelfTestSelectAllTest, SetsItsSide) {
    const SelectAllCase &param = GetParam();
    Connect();
    Click(param.before);
    TakeFrames();
    Click(param.click);

    const std::vector<SelfTestBytes> frames = TakeFrames();
    EXPECT_EQ(frames.size(), param.frames);
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.back(), param.finalState);
    EXPECT_EQ(SelfTestState, param.finalState);
    const bool left = param.click == QStringLiteral("cbSelectAllLeft");
    for (const QString &name : left ? PinBoxNames(1, 19) : PinBoxNames(21, 39)) {
        EXPECT_EQ(Box(name)->isChecked(), param.pinsChecked) << name.toStdString();
    }
}

const QString kLeft = QStringLiteral("cbSelectAllLeft");
const QString kRight = QStringLiteral("cbSelectAllRight");
const QString kLamps = QStringLiteral("cbRUN");

std::vector<QString> Joined(std::vector<QString> first, const std::vector<QString> &second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

INSTANTIATE_TEST_SUITE_P(
    Sides, SelfTestSelectAllTest,
    ::testing::Values(
        SelectAllCase{"LeftOn", {kLamps, PinBoxName(38)}, kLeft, 20, {0x00, 0xFF, 0xFF, 0x4F, 0x00, 0x00}, true},
        SelectAllCase{"LeftOff", {kLamps, PinBoxName(38), kLeft}, kLeft, 20, {0x00, 0x00, 0x00, 0x48, 0x00, 0x00},
                      false},
        SelectAllCase{"RightOn", {kLamps, PinBoxName(18)}, kRight, 20, {0x00, 0x00, 0x00, 0xEC, 0xFF, 0xFF}, true},
        SelectAllCase{"RightOff", {kLamps, PinBoxName(18), kRight}, kRight, 20, {0x00, 0x00, 0x00, 0x0C, 0x00, 0x00},
                      false},
        SelectAllCase{"LeftOffAfterOnePinUnchecked", {kLeft, PinBoxName(5)}, kLeft, 19, {}, false},
        SelectAllCase{"LeftOnWithAllPinsChecked", PinBoxNames(1, 19), kLeft, 1, {0x00, 0xFF, 0xFF, 0x07, 0x00, 0x00},
                      true},
        SelectAllCase{"RightOffWithAllPinsUnchecked", Joined({kRight}, PinBoxNames(21, 39)), kRight, 1, {}, false}),
    CaseName());

TEST_F(SelfTestPanelTest, EachForcedBoxSendsItsFrameBeforeTheSelectAllDoes) {
    Connect();
    Click(kLeft);
    // Pin 18's box is the 17th to be set; the state bytes are complete
    // before any box is.
    std::vector<SelfTestBytes> expected(16, SelfTestBytes{0x00, 0xFF, 0xFF, 0x03, 0x00, 0x00});
    expected.resize(20, SelfTestBytes{0x00, 0xFF, 0xFF, 0x07, 0x00, 0x00});
    EXPECT_EQ(TakeFrames(), expected);
}

TEST_F(SelfTestPanelTest, WithoutAProgrammerStateAndBoxesStillChangeSilently) {
    Window();
    Click({PinBoxName(1), k3V, kRight, kLamps});
    EXPECT_EQ(SelfTestState, (SelfTestBytes{0x80, 0x01, 0x00, 0xE8, 0xFF, 0xFF}));
    EXPECT_TRUE(Box(PinBoxName(21))->isChecked());
    EXPECT_TRUE(Box(k3V)->isChecked());
    EXPECT_TRUE(modals_.messages.isEmpty());
    EXPECT_TRUE(modals_.dialogs.empty());
}

}  // namespace

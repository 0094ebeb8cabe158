// The main window under the offscreen platform, driven by the names of its
// controls, against in-process simulators through the shipped library.
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <QAction>
#include <QActionGroup>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>
#include <gtest/gtest.h>

#include "CaseName.h"
#include "DataBuffer.h"
#include "HexView.h"
#include "Lamp.h"
#include "MainWindowFixture.h"
#include "ModalRunner.h"
#include "QtPrinters.h"
#include "Simulator.h"
#include "Un_Main.h"

namespace {

const std::vector<bool> kAllEnabled(6, true);
const std::vector<bool> kAllDisabled(6, false);

TEST_F(MainWindowTest, StartsWithoutProgrammer) {
    TfrmMain &window = Window();
    EXPECT_EQ(Log(), QStringList{QStringLiteral("设备连接失败...")});
    EXPECT_EQ(Item("miConnect")->text(), QStringLiteral("连结设备"));
    EXPECT_EQ(Item("miConnect")->property("Tag").toInt(), 1);
    EXPECT_FALSE(Find<Lamp>("LEDWork")->IsLit());
    // The test program carries no version record.
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Kestro编程器 Version:0.0.0.0"));
    EXPECT_EQ(state_.CapacityKB, 8192);
    EXPECT_EQ(state_.EraseBlockKB, 64);
    EXPECT_EQ(state_.ChipSelected, 1);
    EXPECT_EQ(state_.LargeTransfer, 0);
    EXPECT_EQ(state_.FirstBlock, 1);
    EXPECT_EQ(OperationItemsEnabled(), kAllEnabled);
}

TEST_F(MainWindowTest, StartsConnectedToTheProgrammer) {
    StartProgrammer();
    Window();
    EXPECT_EQ(Log(), QStringList{QStringLiteral("设备连接成功...")});
    EXPECT_EQ(Item("miConnect")->text(), QStringLiteral("断开设备"));
    EXPECT_EQ(Item("miConnect")->property("Tag").toInt(), 2);
    EXPECT_TRUE(Find<Lamp>("LEDWork")->IsLit());
    EXPECT_EQ(state_.DeviceCount, 1);
}

TEST_F(MainWindowTest, ConnectToggle) {
    sim::Simulator &simulator = StartProgrammer();
    Window();
    Pick("miConnect");
    EXPECT_EQ(Log().last(), QStringLiteral("与设备断开连接..."));
    EXPECT_EQ(Item("miConnect")->text(), QStringLiteral("连结设备"));
    EXPECT_FALSE(Find<Lamp>("LEDWork")->IsLit());
    Pick("miConnect");
    EXPECT_EQ(Log().last(), QStringLiteral("设备连接成功..."));
    EXPECT_TRUE(Find<Lamp>("LEDWork")->IsLit());

    // Disconnecting always succeeds; connecting to nothing leaves the toggle.
    simulator.Stop();
    Pick("miConnect");
    Pick("miConnect");
    EXPECT_EQ(Log().mid(3), (QStringList{QStringLiteral("与设备断开连接..."), QStringLiteral("设备连接失败...")}));
    EXPECT_EQ(Item("miConnect")->text(), QStringLiteral("连结设备"));
    EXPECT_EQ(Item("miConnect")->property("Tag").toInt(), 1);
    EXPECT_FALSE(Find<Lamp>("LEDWork")->IsLit());
}

struct IdentifyCase {
    const char *name;
    std::optional<std::uint16_t> id;  // nullopt: no programmer
    bool wrongEcho;
    const char *lastLine;
    bool itemsEnabled;
};

class IdentifyThroughWindow : public MainWindowTest, public ::testing::WithParamInterface<IdentifyCase> {};

TEST_P(IdentifyThroughWindow, LogsTheIdAndGatesTheOperationItems) {
    const IdentifyCase &test = GetParam();
    const sim::ChipModel chip{"custom", sim::ChipKind::SpiNor, 65536, 65536, {0xC2, 0x20, 0x18},
                              {static_cast<std::uint8_t>(test.id.value_or(0) & 0xFF),
                               static_cast<std::uint8_t>(test.id.value_or(0) >> 8)}};
    if (test.id) {
        StartProgrammer(chip);
        sim::Faults faults;
        faults.wrongEcho = test.wrongEcho;
        simulator_->firmware().SetFaults(faults);
    }
    Window();
    Pick("miGetID");
    EXPECT_EQ(Log().mid(1), (QStringList{QStringLiteral("------------------- 检测芯片 -------------------"),
                                         QString::fromUtf8(test.lastLine)}));
    EXPECT_EQ(OperationItemsEnabled(), test.itemsEnabled ? kAllEnabled : kAllDisabled);
    EXPECT_EQ(state_.Busy, 0);
    EXPECT_EQ(Window().cursor().shape(), Qt::ArrowCursor);
}

INSTANTIATE_TEST_SUITE_P(
    Ids, IdentifyThroughWindow,
    ::testing::Values(IdentifyCase{"id1234", 0x1234, false, "芯片ID是:1234", true},
                      IdentifyCase{"idFFFF", 0xFFFF, false, "芯片ID是:FFFF", false},
                      IdentifyCase{"id0000", 0x0000, false, "芯片ID是:0000", false},
                      IdentifyCase{"wrongEcho", 0x1234, true, "读取芯片ID错误...", false},
                      IdentifyCase{"noDevice", std::nullopt, false, "未连接到设备...", false}),
    CaseName());

TEST_F(MainWindowTest, OnlyAGoodIdentifyEnablesTheItemsAgain) {
    Window();
    Pick("miGetID");
    ASSERT_EQ(OperationItemsEnabled(), kAllDisabled);
    StartProgrammer();
    Pick("miConnect");
    EXPECT_EQ(OperationItemsEnabled(), kAllDisabled);
    Pick("miGetID");
    EXPECT_EQ(Log().last(), QStringLiteral("芯片ID是:17C2"));
    EXPECT_EQ(state_.LastChipId, 0x17C2);
    EXPECT_EQ(OperationItemsEnabled(), kAllEnabled);
}

TEST_F(MainWindowTest, BusyAndUnselectedChipHoldOperationsOff) {
    StartProgrammer();
    Window();
    state_.Busy = 1;
    Pick("miGetID");
    Pick("miReadData");
    state_.Busy = 0;
    state_.ChipSelected = 0;
    Pick("miReadData");
    EXPECT_EQ(Log().mid(1), (QStringList{QStringLiteral("系统工作中，请稍候..."), QStringLiteral("系统工作中，请稍候..."),
                                         QStringLiteral("请选择芯片型号...")}));
    EXPECT_EQ(Buffer().Size(), 0);
}

TEST_F(MainWindowTest, ReadsTheChipIntoTheHexView) {
    sim::Simulator &simulator = StartProgrammer();
    Window();
    state_.CapacityKB = 1;
    simulator.firmware().SetRecording(true);
    Pick("miReadData");
    EXPECT_EQ(Log().mid(1), (QStringList{QStringLiteral("------------------- 读取模式 -------------------"),
                                         QStringLiteral("正在读取数据，请稍等..."), QStringLiteral("读取数据已完成..."),
                                         QStringLiteral("用时:0秒")}));
    EXPECT_EQ(Buffer().Bytes(), Bytes(simulator.firmware().Image(), 1024));
    EXPECT_FALSE(Buffer().Modified());
    const auto frames = simulator.firmware().Received();
    EXPECT_EQ(frames, (std::vector<sim::Message>{{0x13, 0x01, 0x00, 0x01}, {0x13, 0x02, 0x00, 0x01}}));
    EXPECT_EQ(Find<QProgressBar>("Gauge1")->maximum(), 2);
    EXPECT_EQ(Find<QProgressBar>("Gauge1")->value(), 2);
    EXPECT_EQ(state_.Busy, 0);
    EXPECT_EQ(OperationItemsEnabled(), kAllEnabled);
    EXPECT_EQ(Window().cursor().shape(), Qt::ArrowCursor);
}

TEST_F(MainWindowTest, FailedReadStillShowsWhatArrived) {
    sim::Simulator &simulator = StartProgrammer();
    Window();
    state_.CapacityKB = 4;
    sim::Faults faults;
    faults.dropAtUnit = 3;
    simulator.firmware().SetFaults(faults);
    Pick("miReadData");
    EXPECT_EQ(Buffer().Bytes(), Bytes(simulator.firmware().Image(), 1024));
    EXPECT_TRUE(Log().last().startsWith(QStringLiteral("用时:")));
    EXPECT_EQ(OperationItemsEnabled(), kAllEnabled);
    EXPECT_EQ(state_.Busy, 0);
}

TEST_F(MainWindowTest, OtherCommandsRunBetweenTwoUnits) {
    StartProgrammer();
    Window();
    state_.CapacityKB = 2;
    std::optional<bool> readItemEnabledMeanwhile;
    std::optional<Qt::CursorShape> cursorMeanwhile;
    QTimer::singleShot(0, &Window(), [&] {
        readItemEnabledMeanwhile = Item("miReadData")->isEnabled();
        cursorMeanwhile = Window().cursor().shape();
        Pick("miGetID");
        Pick("miReadData");
    });
    Pick("miReadData");
    ASSERT_TRUE(readItemEnabledMeanwhile.has_value());
    EXPECT_FALSE(*readItemEnabledMeanwhile);
    EXPECT_EQ(cursorMeanwhile, Qt::WaitCursor);
    const QStringList log = Log();
    const auto busy = log.indexOf(QStringLiteral("系统工作中，请稍候..."));
    EXPECT_GT(busy, log.indexOf(QStringLiteral("正在读取数据，请稍等...")));
    EXPECT_LT(busy, log.indexOf(QStringLiteral("读取数据已完成...")));
    // The disabled read item did nothing; only the identify answered "busy".
    EXPECT_EQ(log.count(QStringLiteral("系统工作中，请稍候...")), 1);
    EXPECT_EQ(Buffer().Size(), 2048);
}

// The largest image the program handles, end to end.
TEST_F(MainWindowTest, ReadsAWhole16MiBChip) {
    sim::Simulator &simulator = StartProgrammer();
    Window();
    state_.CapacityKB = 16384;
    Pick("miReadData");
    const std::vector<std::uint8_t> image = simulator.firmware().Image();
    EXPECT_EQ(Buffer().Bytes(), Bytes(image, image.size()));
    EXPECT_EQ(Log().at(Log().size() - 2), QStringLiteral("读取数据已完成..."));
    EXPECT_EQ(Find<QProgressBar>("Gauge1")->value(), 32768);
}

struct HeaderCase {
    const char *name;
    std::uint32_t length;
    qsizetype bufferSize;
    const char *outcome;
};

class ReadHeaderThroughWindow : public MainWindowTest, public ::testing::WithParamInterface<HeaderCase> {};

// Whatever length the header announces is read; lengths the library refuses end the read.
TEST_P(ReadHeaderThroughWindow, ShowsWhatTheHeadersAnnounced) {
    const HeaderCase &test = GetParam();
    sim::Simulator &simulator = StartProgrammer();
    Window();
    state_.CapacityKB = 2;
    sim::Faults faults;
    faults.headerLength = test.length;
    simulator.firmware().SetFaults(faults);
    Pick("miReadData");
    EXPECT_EQ(Buffer().Size(), test.bufferSize);
    EXPECT_EQ(Log().at(Log().size() - 2), QString::fromUtf8(test.outcome));
    EXPECT_EQ(OperationItemsEnabled(), kAllEnabled);
}

INSTANTIATE_TEST_SUITE_P(Lengths, ReadHeaderThroughWindow,
                         ::testing::Values(HeaderCase{"length300", 300, 4 * 300, "读取数据已完成..."},
                                           HeaderCase{"length0", 0, 0, "读数据失败..."},
                                           HeaderCase{"length8193", 8193, 0, "读数据失败..."}),
                         CaseName());

// Closing the window or disconnecting in the middle of a read lets the read
// finish on the pipes it already has, and nothing breaks.
TEST_F(MainWindowTest, CloseAndDisconnectDuringARead) {
    sim::Simulator &simulator = StartProgrammer();
    Window();
    state_.CapacityKB = 4;
    QTimer::singleShot(0, &Window(), [&] {
        Pick("miConnect");
        Window().close();
    });
    Pick("miReadData");
    EXPECT_FALSE(Window().isVisible());
    EXPECT_EQ(Buffer().Bytes(), Bytes(simulator.firmware().Image(), 4096));
    const QStringList log = Log();
    EXPECT_TRUE(log.contains(QStringLiteral("与设备断开连接...")));
    EXPECT_EQ(log.at(log.size() - 2), QStringLiteral("读取数据已完成..."));
    EXPECT_EQ(state_.Busy, 0);
}

TEST_F(MainWindowTest, LoadsAndSavesFilesThroughTheDialogs) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString source = folder.filePath(QStringLiteral("source.bin"));
    const QByteArray content = Bytes(Pattern(3000), 3000);
    {
        QFile file(source);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    Window();
    const QStringList logAtStart = Log();

    modals_.answer = Choose(source);
    Pick("N2");
    EXPECT_EQ(Buffer().Bytes(), content);
    EXPECT_EQ(Buffer().CurrentFileName(), source);

    const QString target = folder.filePath(QStringLiteral("target.bin"));
    modals_.answer = Choose(target);
    Pick("N3");
    QFile saved(target);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), content);

    // Cancelled dialogs change nothing; the handlers never log.
    modals_.answer = nullptr;
    Pick("N2");
    Pick("N3");
    EXPECT_EQ(Buffer().CurrentFileName(), target);
    EXPECT_EQ(Log(), logAtStart);
    EXPECT_TRUE(modals_.messages.isEmpty());
}

TEST_F(MainWindowTest, BufferErrorsEndInAnErrorBox) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    StartProgrammer();
    Window();
    state_.CapacityKB = 1;
    Pick("miReadData");
    const QByteArray before = Buffer().Bytes();

    const QString missing = folder.filePath(QStringLiteral("missing.bin"));
    modals_.answer = Choose(missing);
    Pick("N2");
    ASSERT_EQ(modals_.messages.size(), 1);
    EXPECT_TRUE(modals_.messages[0].startsWith(QStringLiteral("Cannot open %1.\r\n(").arg(missing)))
        << modals_.messages[0].toStdString();
    EXPECT_EQ(Buffer().Bytes(), before);

    // A file can't be created below a plain file.
    const QString plain = folder.filePath(QStringLiteral("plain"));
    {
        QFile file(plain);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    modals_.answer = Choose(plain + QStringLiteral("/save.bin"));
    Pick("N3");
    ASSERT_EQ(modals_.messages.size(), 2);
    EXPECT_TRUE(modals_.messages[1].startsWith(QStringLiteral("Cannot create file \"")))
        << modals_.messages[1].toStdString();
    EXPECT_EQ(Buffer().Bytes(), before);
}

TEST_F(MainWindowTest, FileDialogsKeepTheirSettingsAndLastName) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    Window();
    auto *odOpen = Find<QFileDialog>("odOpen");
    auto *sdSave = Find<QFileDialog>("sdSave");
    EXPECT_EQ(odOpen->windowTitle(), QStringLiteral("装载文件到缓存"));
    EXPECT_EQ(sdSave->windowTitle(), QStringLiteral("保存缓存到文件"));
    EXPECT_EQ(odOpen->nameFilters(), QStringList{QStringLiteral("*.bin (*.bin)")});
    EXPECT_EQ(sdSave->nameFilters(), QStringList{QStringLiteral("*.bin (*.bin)")});
    EXPECT_EQ(odOpen->directory().absolutePath(), QDir::current().absolutePath());
    EXPECT_EQ(QFileInfo(sdSave->selectedFiles().value(0)).fileName(), QStringLiteral("save.bin"));
    EXPECT_TRUE(sdSave->testOption(QFileDialog::DontConfirmOverwrite));

    const QString target = folder.filePath(QStringLiteral("first.bin"));
    modals_.answer = Choose(target);
    Pick("N3");
    QString offeredNext;
    modals_.answer = [&](QDialog &dialog) {
        offeredNext = static_cast<QFileDialog &>(dialog).selectedFiles().value(0);
        return int(QDialog::Rejected);
    };
    Pick("N3");
    EXPECT_EQ(offeredNext, target);
    ASSERT_EQ(modals_.dialogs.size(), 2u);
    EXPECT_EQ(modals_.dialogs[0], modals_.dialogs[1]);
}

// Picking the checked item of a radio group leaves the group with none.
TEST_F(MainWindowTest, RadioGroupsToggle) {
    Window();
    QAction *mx25l = Item("MX25L1");
    QAction *smbus = Item("N24CX1");
    QAction *ioEmulation = Item("N10");
    EXPECT_FALSE(mx25l->isChecked() || smbus->isChecked() || ioEmulation->isChecked());
    mx25l->trigger();
    smbus->trigger();
    EXPECT_FALSE(mx25l->isChecked());
    EXPECT_TRUE(smbus->isChecked());
    smbus->trigger();
    EXPECT_FALSE(mx25l->isChecked() || smbus->isChecked() || ioEmulation->isChecked());

    QAction *writeMx25l = Item("miMX25L");
    QAction *writeSst = Item("SST25VF016B1");
    EXPECT_TRUE(writeMx25l->isChecked());
    writeSst->trigger();
    EXPECT_FALSE(writeMx25l->isChecked());
    writeSst->trigger();
    EXPECT_FALSE(writeMx25l->isChecked() || writeSst->isChecked());
}

TEST_F(MainWindowTest, ControlsCarryTheirNamesAndCaptions) {
    TfrmMain &window = Window();
    EXPECT_EQ(window.objectName(), QStringLiteral("frmMain"));
    EXPECT_EQ(window.size(), QSize(869, 595));
    EXPECT_FALSE(window.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(window.windowFlags() & Qt::WindowMinimizeButtonHint);

    const std::pair<const char *, const char *> items[] = {
        {"N2", "装载文件"}, {"N3", "保存文件"}, {"N8", "容量和速度配置"}, {"MX25L1", "MX25L"},
        {"N24CX1", "24CX_SMBUS"}, {"N10", "24CX_IO模拟_ZIF座最上面8脚放集成块"}, {"miMX25L", "MX25L"},
        {"SST25VF016B1", "SST25VF016B"}, {"miGetID", "检测芯片"}, {"miEraseIC", "擦除芯片"},
        {"miICBlank", "芯片查空"}, {"miReadData", "读数据"}, {"miWriteData", "写数据"},
        {"miTestData", "校验数据"}, {"miAutoProgram", "自动编程"}, {"BOOTLOAD21", "进入BOOTLOAD2_GOOD"},
        {"BOOTLOAD1", "进入BOOTLOAD1"}, {"N7", "设备自检"}, {"N17", "芯片维护"}, {"N12", "调试测试1"},
        {"miDebugTest2", "调试测试2"}, {"N18", "使用说明"}, {"N19", "关于"}};
    for (const auto &[name, caption] : items) {
        EXPECT_EQ(Item(name)->text(), QString::fromUtf8(caption)) << name;
    }
    EXPECT_TRUE(Item("N9")->isSeparator());
    EXPECT_TRUE(Item("N11")->isSeparator());
    EXPECT_EQ(Find<QMenu>("N20")->title(), QStringLiteral("配置引脚"));
    EXPECT_EQ(Find<QMenu>("N21")->title(), QStringLiteral("写模式"));

    const std::pair<const char *, const char *> hints[] = {
        {"TbBtnLoad", "装载数据"}, {"TbBtnSave", "保存数据"}, {"TbBtnZoomIn", "连结设备"},
        {"TbBtnZoomFit", "引脚配置"}, {"TbBtnZoomOut", "写模式"}, {"TbBtnCursor1", "光标1"},
        {"TbBtnCursor2", "光标2"}, {"TbBtnCursor", "适合光标"}, {"TbBtnTrigPst", "转到触发位置"},
        {"TbBtnPreEdg", "转到上一个沿变化"}, {"TbBtnStart", "开始"}, {"TbBtnStop", "停止"}};
    for (const auto &[name, hint] : hints) {
        EXPECT_EQ(Item(name)->toolTip(), QString::fromUtf8(hint)) << name;
    }
    EXPECT_EQ(Find<Lamp>("LEDWork")->toolTip(), QStringLiteral("设备运行指示灯"));
    EXPECT_EQ(Find<QToolBar>("TbLogic")->iconSize(), QSize(24, 24));

    for (const char *name : {"Button8", "btnEnterApplication", "Button10", "Button11", "Button12", "Button14",
                             "Button15", "Button20"}) {
        EXPECT_FALSE(Find<QPushButton>(name)->isVisible()) << name;
    }
    EXPECT_FALSE(Find<QPushButton>("btnEnterApplication")->isEnabled());

    EXPECT_EQ(Find<QLabel>("Label4")->text(),
              QStringLiteral("经测试能读写下列芯片：\nMX25L12845\nMX25L12805\nMX25L6445EM2I\nMX25L3205DM-12G\nSST25VF016B"));
    EXPECT_EQ(Find<QPlainTextEdit>("Memo1")->height(), 84);
    EXPECT_EQ(Find<QProgressBar>("Gauge1")->height(), 17);
    QList<QLabel *> panels = Find<QStatusBar>("StbInf")->findChildren<QLabel *>();
    std::vector<int> widths;
    for (QLabel *panel : panels) {
        widths.push_back(panel->width());
    }
    EXPECT_EQ(widths, (std::vector<int>{150, 150, 150, 150, 150, 50}));
}

TEST_F(MainWindowTest, ClosingTheWindowAlwaysCloses) {
    StartProgrammer();
    TfrmMain &window = Window();
    EXPECT_TRUE(window.close());
    EXPECT_FALSE(window.isVisible());
}

}  // namespace

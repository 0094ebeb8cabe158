#include "Un_Main.h"

#include <chrono>

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFrame>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QVBoxLayout>

#include "CentreOnScreen.h"
#include "ChipOperations.h"
#include "DataBuffer.h"
#include "HexView.h"
#include "Lamp.h"
#include "ModalRunner.h"
#include "Un_IC.h"
#include "Un_Tools.h"
#include "Un_ZIFA.h"
#include "Vantu.h"

namespace {

// miConnect's Tag: what the next click does.
constexpr int kNotConnected = 1;
constexpr int kConnected = 2;

const QString kSelectChipLine = QStringLiteral("请选择芯片型号...");

}  // namespace

TfrmMain::TfrmMain(RunState &state, ModalRunner &modals, QWidget *parent)
    : QMainWindow(parent), state_(state), modals_(modals) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    resize(869, 595);
    CentreOnScreen(*this);
    BuildToolBar();
    BuildMenu();
    BuildClientArea();
    BuildStatusBar();
    BuildFileDialogs();
    FormCreate();
}

void TfrmMain::BuildToolBar() {
    auto *bar = addToolBar(QString());
    bar->setObjectName(QStringLiteral("TbLogic"));
    bar->setIconSize({24, 24});
    bar->setMovable(false);
    // A button without a name stands for a separator. None has an action.
    struct Button {
        const char *name;
        QString hint;
        QStyle::StandardPixmap image;
    };
    const Button buttons[] = {
        {"TbBtnLoad", QStringLiteral("装载数据"), QStyle::SP_DialogOpenButton},
        {"TbBtnSave", QStringLiteral("保存数据"), QStyle::SP_DialogSaveButton},
        {nullptr, {}, {}},
        {"TbBtnZoomIn", QStringLiteral("连结设备"), QStyle::SP_DriveNetIcon},
        {"TbBtnZoomFit", QStringLiteral("引脚配置"), QStyle::SP_FileDialogDetailedView},
        {"TbBtnZoomOut", QStringLiteral("写模式"), QStyle::SP_FileDialogListView},
        {"TbBtnCursor1", QStringLiteral("光标1"), QStyle::SP_ArrowLeft},
        {"TbBtnCursor2", QStringLiteral("光标2"), QStyle::SP_ArrowRight},
        {"TbBtnCursor", QStringLiteral("适合光标"), QStyle::SP_ArrowUp},
        {"TbBtnTrigPst", QStringLiteral("转到触发位置"), QStyle::SP_MediaSeekForward},
        {"TbBtnPreEdg", QStringLiteral("转到上一个沿变化"), QStyle::SP_MediaSeekBackward},
        {nullptr, {}, {}},
        {"TbBtnStart", QStringLiteral("开始"), QStyle::SP_MediaPlay},
        {"TbBtnStop", QStringLiteral("停止"), QStyle::SP_MediaStop},
        {nullptr, {}, {}},
    };
    for (const Button &button : buttons) {
        if (button.name == nullptr) {
            bar->addSeparator();
            continue;
        }
        QAction *action = bar->addAction(style()->standardIcon(button.image), QString());
        action->setObjectName(QLatin1String(button.name));
        action->setToolTip(button.hint);
    }
    LEDWork = new Lamp(bar);
    LEDWork->setObjectName(QStringLiteral("LEDWork"));
    LEDWork->setToolTip(QStringLiteral("设备运行指示灯"));
    bar->addWidget(LEDWork);
}

QAction *TfrmMain::AddItem(QMenu *menu, const char *name, const QString &caption) {
    QAction *item = menu->addAction(caption);
    item->setObjectName(QLatin1String(name));
    return item;
}

QAction *TfrmMain::AddRadioItem(QMenu *menu, QActionGroup *group, const char *name, const QString &caption) {
    QAction *item = AddItem(menu, name, caption);
    item->setCheckable(true);
    group->addAction(item);
    return item;
}

// A handler ends in an error box when the buffer operations raise an error;
// nothing is let through to the event loop.
void TfrmMain::RunHandler(void (TfrmMain::*handler)()) {
    try {
        (this->*handler)();
    } catch (const BufferError &error) {
        ShowError(error.Message());
    } catch (const std::exception &error) {
        ShowError(QString::fromLocal8Bit(error.what()));
    }
}

void TfrmMain::BindHandler(QAction *item, void (TfrmMain::*handler)()) {
    connect(item, &QAction::triggered, this, [this, handler] { RunHandler(handler); });
}

void TfrmMain::BindHandler(QPushButton *button, void (TfrmMain::*handler)()) {
    connect(button, &QPushButton::clicked, this, [this, handler] { RunHandler(handler); });
}

void TfrmMain::BuildMenu() {
    QMenuBar *MainMenu1 = menuBar();
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));

    QMenu *file = MainMenu1->addMenu(QStringLiteral("文件"));
    BindHandler(AddItem(file, "N2", QStringLiteral("装载文件")), &TfrmMain::btnLoadFileClick);
    BindHandler(AddItem(file, "N3", QStringLiteral("保存文件")), &TfrmMain::btnSaveFileClick);

    QMenu *chip = MainMenu1->addMenu(QStringLiteral("芯片编程"));
    miConnect = AddItem(chip, "miConnect", QStringLiteral("连结设备"));
    miConnect->setProperty("Tag", kNotConnected);
    BindHandler(miConnect, &TfrmMain::btnConnectClick);
    BindHandler(AddItem(chip, "N8", QStringLiteral("容量和速度配置")), &TfrmMain::N8Click);

    // Picking the checked item of a group unchecks it and leaves none checked.
    QMenu *N20 = chip->addMenu(QStringLiteral("配置引脚"));
    N20->setObjectName(QStringLiteral("N20"));
    auto *pinModes = new QActionGroup(this);
    pinModes->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    BindHandler(AddRadioItem(N20, pinModes, "MX25L1", QStringLiteral("MX25L")), &TfrmMain::btnPinMX25LClick);
    BindHandler(AddRadioItem(N20, pinModes, "N24CX1", QStringLiteral("24CX_SMBUS")), &TfrmMain::btnPin24CXClick);
    BindHandler(AddRadioItem(N20, pinModes, "N10", QStringLiteral("24CX_IO模拟_ZIF座最上面8脚放集成块")),
                &TfrmMain::N10Click);

    QMenu *N21 = chip->addMenu(QStringLiteral("写模式"));
    N21->setObjectName(QStringLiteral("N21"));
    auto *writeModes = new QActionGroup(this);
    writeModes->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    miMX25L = AddRadioItem(N21, writeModes, "miMX25L", QStringLiteral("MX25L"));
    miMX25L->setChecked(true);
    AddRadioItem(N21, writeModes, "SST25VF016B1", QStringLiteral("SST25VF016B"));

    chip->addSeparator()->setObjectName(QStringLiteral("N9"));
    miGetID = AddItem(chip, "miGetID", QStringLiteral("检测芯片"));
    BindHandler(miGetID, &TfrmMain::btnGetIDClick);
    miEraseIC = AddItem(chip, "miEraseIC", QStringLiteral("擦除芯片"));
    BindHandler(miEraseIC, &TfrmMain::btnEraseICClick);
    miICBlank = AddItem(chip, "miICBlank", QStringLiteral("芯片查空"));
    BindHandler(miICBlank, &TfrmMain::btnICBlankClick);
    miReadData = AddItem(chip, "miReadData", QStringLiteral("读数据"));
    BindHandler(miReadData, &TfrmMain::btnReadDataClick);
    miWriteData = AddItem(chip, "miWriteData", QStringLiteral("写数据"));
    BindHandler(miWriteData, &TfrmMain::btnWriteDataClick);
    miTestData = AddItem(chip, "miTestData", QStringLiteral("校验数据"));
    BindHandler(miTestData, &TfrmMain::btnTestDataClick);
    miAutoProgram = AddItem(chip, "miAutoProgram", QStringLiteral("自动编程"));
    BindHandler(miAutoProgram, &TfrmMain::btnAutoProgramClick);

    QMenu *tools = MainMenu1->addMenu(QStringLiteral("系统工具"));
    BindHandler(AddItem(tools, "BOOTLOAD21", QStringLiteral("进入BOOTLOAD2_GOOD")), &TfrmMain::BOOTLOAD21Click);
    BindHandler(AddItem(tools, "BOOTLOAD1", QStringLiteral("进入BOOTLOAD1")), &TfrmMain::btnEnterBootloadClick);
    BindHandler(AddItem(tools, "N7", QStringLiteral("设备自检")), &TfrmMain::btnDevTestClick);
    BindHandler(AddItem(tools, "N17", QStringLiteral("芯片维护")), &TfrmMain::btnAddICClick);
    tools->addSeparator()->setObjectName(QStringLiteral("N11"));
    BindHandler(AddItem(tools, "N12", QStringLiteral("调试测试1")), &TfrmMain::btnFunTestClick);
    BindHandler(AddItem(tools, "miDebugTest2", QStringLiteral("调试测试2")), &TfrmMain::miDebugTest2Click);

    QMenu *help = MainMenu1->addMenu(QStringLiteral("帮助"));
    AddItem(help, "N18", QStringLiteral("使用说明"));
    BindHandler(AddItem(help, "N19", QStringLiteral("关于")), &TfrmMain::N19Click);
}

void TfrmMain::BuildClientArea() {
    auto *client = new QWidget(this);
    auto *column = new QVBoxLayout(client);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto *Panel1 = new QFrame(client);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setMinimumHeight(160);
    auto *panelColumn = new QVBoxLayout(Panel1);
    panelColumn->setContentsMargins(1, 1, 1, 1);
    panelColumn->setSpacing(0);
    MPHexEditorEx1 = new HexView(Panel1);
    MPHexEditorEx1->setObjectName(QStringLiteral("MPHexEditorEx1"));
    panelColumn->addWidget(MPHexEditorEx1, 1);
    Memo1 = new QPlainTextEdit(Panel1);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setFixedHeight(84);
    panelColumn->addWidget(Memo1);
    column->addWidget(Panel1, 1);

    Gauge1 = new QProgressBar(client);
    Gauge1->setObjectName(QStringLiteral("Gauge1"));
    Gauge1->setFixedHeight(17);
    Gauge1->setRange(0, 100);
    Gauge1->setValue(0);
    column->addWidget(Gauge1);

    auto *Label4 = new QLabel(QStringLiteral("经测试能读写下列芯片：\nMX25L12845\nMX25L12805\nMX25L6445EM2I\n"
                                             "MX25L3205DM-12G\nSST25VF016B"),
                              client);
    Label4->setObjectName(QStringLiteral("Label4"));
    Label4->setStyleSheet(QStringLiteral("color: red;"));
    column->addWidget(Label4);

    // Service buttons that the window holds but never shows.
    struct Hidden {
        const char *name;
        QString caption;
        void (TfrmMain::*handler)();
    };
    const Hidden hidden[] = {
        {"Button8", QStringLiteral("测试$64"), &TfrmMain::Button8Click},
        {"btnEnterApplication", QStringLiteral("EnterApplication"), &TfrmMain::btnEnterApplicationClick},
        {"Button10", QStringLiteral("引脚测试$88"), &TfrmMain::Button10Click},
        {"Button11", QStringLiteral("检测芯片SPI_CHIP_ID_OLD"), &TfrmMain::Button11Click},
        {"Button12", QStringLiteral("锁存信号$66"), &TfrmMain::Button12Click},
        {"Button14", QStringLiteral("检测芯片SPI_CHIP_ID_90"), &TfrmMain::Button14Click},
        {"Button15", QStringLiteral("检测芯片SPI_CHIP_ID_9F"), &TfrmMain::Button15Click},
        {"Button20", QStringLiteral("测试SPICLK引脚$FD"), &TfrmMain::Button20Click},
    };
    for (const Hidden &entry : hidden) {
        auto *button = new QPushButton(entry.caption, client);
        button->setObjectName(QLatin1String(entry.name));
        button->hide();
        BindHandler(button, entry.handler);
    }
    client->findChild<QPushButton *>(QStringLiteral("btnEnterApplication"))->setEnabled(false);
    client->findChild<QPushButton *>(QStringLiteral("Button12"))->setToolTip(QStringLiteral("NSSMD0 = 0"));

    setCentralWidget(client);
}

void TfrmMain::BuildStatusBar() {
    QStatusBar *StbInf = statusBar();
    StbInf->setObjectName(QStringLiteral("StbInf"));
    StbInf->setSizeGripEnabled(false);
    const QString texts[] = {QStringLiteral("Kestro编程器"), QStringLiteral("SPI FLASH / I2C EEPROM"),
                             QStringLiteral("USB 全速"), QString(), QString(), QString()};
    const int widths[] = {150, 150, 150, 150, 150, 50};
    for (int index = 0; index < 6; ++index) {
        auto *panel = new QLabel(texts[index], StbInf);
        panel->setObjectName(QStringLiteral("StbInfPanel%1").arg(index));
        panel->setFixedWidth(widths[index]);
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        if (index < 3) {
            panel->setAlignment(Qt::AlignCenter);
        }
        StbInf->addWidget(panel);
    }
}

// Both dialogs live as long as the window, so a second use starts from the
// name chosen before.
void TfrmMain::BuildFileDialogs() {
    const auto make = [this](const char *name, const QString &title) {
        auto *dialog = new QFileDialog(this, title);
        dialog->setObjectName(QLatin1String(name));
        dialog->setOption(QFileDialog::DontUseNativeDialog);
        dialog->setNameFilter(QStringLiteral("*.bin (*.bin)"));
        dialog->setDefaultSuffix(QStringLiteral("bin"));
        return dialog;
    };
    odOpen = make("odOpen", QStringLiteral("装载文件到缓存"));
    odOpen->setAcceptMode(QFileDialog::AcceptOpen);
    odOpen->setFileMode(QFileDialog::AnyFile);
    odOpen->setDirectory(QStringLiteral("."));
    sdSave = make("sdSave", QStringLiteral("保存缓存到文件"));
    sdSave->setAcceptMode(QFileDialog::AcceptSave);
    sdSave->setOption(QFileDialog::DontConfirmOverwrite);
    sdSave->selectFile(QStringLiteral("save.bin"));
}

void TfrmMain::FormCreate() {
    Memo1->clear();
    btnConnectClick();
    state_.CapacityKB = 8192;
    state_.EraseBlockKB = 64;
    state_.ChipSelected = 1;
    state_.LargeTransfer = 0;
    setWindowTitle(QStringLiteral("Kestro编程器 Version:") + GetVersionString());
}

void TfrmMain::closeEvent(QCloseEvent *event) {
    FormCloseQuery();
    event->accept();
}

void TfrmMain::FormCloseQuery() { Vantu_CloseDevice(); }

bool TfrmMain::ConnectDevice() {
    if (Vantu_GetNumDevices(&state_.DeviceCount) != VANTU_OK) {
        return false;
    }
    if (Vantu_OpenDevice(state_.DeviceCount - 1) != VANTU_OK) {
        return false;
    }
    for (std::int32_t index = 0; index < state_.DeviceCount; ++index) {
        char text[256] = {};
        if (Vantu_GetProductString(index, text, 0) != VANTU_OK) {
            return false;
        }
    }
    return true;
}

void TfrmMain::btnConnectClick() {
    if (miConnect->property("Tag").toInt() == kNotConnected) {
        if (ConnectDevice()) {
            AppendLog(QStringLiteral("设备连接成功..."));
            miConnect->setText(QStringLiteral("断开设备"));
            miConnect->setProperty("Tag", kConnected);
            LEDWork->SetLit(true);
        } else {
            AppendLog(QStringLiteral("设备连接失败..."));
        }
        return;
    }
    Vantu_CloseDevice();
    miConnect->setText(QStringLiteral("连结设备"));
    miConnect->setProperty("Tag", kNotConnected);
    LEDWork->SetLit(false);
    AppendLog(QStringLiteral("与设备断开连接..."));
}

void TfrmMain::SetOperationItemsEnabled(bool enabled) {
    for (QAction *item : {miEraseIC, miICBlank, miReadData, miWriteData, miTestData, miAutoProgram}) {
        item->setEnabled(enabled);
    }
}

void TfrmMain::EnableOperationItems() { SetOperationItemsEnabled(true); }

void TfrmMain::DisableOperationItems() { SetOperationItemsEnabled(false); }

void TfrmMain::BeginOperation() {
    state_.Busy = 1;
    setCursor(Qt::WaitCursor);
    DisableOperationItems();
}

void TfrmMain::EndOperation() {
    state_.Busy = 0;
    EnableOperationItems();
    unsetCursor();
}

bool TfrmMain::RefuseWhenBusy() {
    if (state_.Busy == 0) {
        return false;
    }
    AppendLog(QStringLiteral("系统工作中，请稍候..."));
    return true;
}

void TfrmMain::RunStandardOperation(const QString &banner, const std::function<void()> &work) {
    if (RefuseWhenBusy()) {
        return;
    }
    if (state_.ChipSelected == 0) {
        AppendLog(kSelectChipLine);
        return;
    }
    RunOperation(banner, work);
}

void TfrmMain::RunOperation(const QString &banner, const std::function<void()> &work) {
    BeginOperation();
    AppendLog(banner);
    try {
        work();
    } catch (...) {
        EndOperation();
        throw;
    }
    EndOperation();
}

void TfrmMain::btnLoadFileClick() {
    if (modals_.Run(*odOpen) != QDialog::Accepted || odOpen->selectedFiles().isEmpty()) {
        return;
    }
    MPHexEditorEx1->LoadBufferFromFile(odOpen->selectedFiles().constFirst());
}

void TfrmMain::btnSaveFileClick() {
    if (modals_.Run(*sdSave) != QDialog::Accepted || sdSave->selectedFiles().isEmpty()) {
        return;
    }
    MPHexEditorEx1->SaveBufferToFile(sdSave->selectedFiles().constFirst(), true);
}

void TfrmMain::btnDevTestClick() {
    TfrmDevA window(this);
    modals_.Run(window);
}

void TfrmMain::btnAddICClick() {
    TfrmIC window(modals_);
    if (window.HasConnection()) modals_.Run(window);
}

void TfrmMain::ShowError(const QString &message) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Kestro_QX"), message, QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("ErrorBox"));
    modals_.Run(box);
}

void TfrmMain::AppendLog(const QString &line) { Memo1->appendPlainText(line); }

void TfrmMain::SetGaugeMaximum(int maximum) { Gauge1->setMaximum(maximum); }

void TfrmMain::SetGaugePosition(int position) { Gauge1->setValue(position); }

void TfrmMain::ProcessPendingMessages() { QCoreApplication::processEvents(); }

std::uint32_t TfrmMain::TickCount() {
    using namespace std::chrono;
    return static_cast<std::uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

bool TfrmMain::WriteModeMX25LChecked() { return miMX25L->isChecked(); }

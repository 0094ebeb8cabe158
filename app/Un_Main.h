// The main window of Kestro_QX: menus, tool bar, hex view, log, gauge and
// status bar, the connect toggle and the frame every chip operation runs in.
// Controls carry their names as objectName, so the window can be driven and
// inspected by name.
#pragma once

#include <functional>

#include <QMainWindow>

#include "ChipHost.h"
#include "Un_Const.h"

class HexView;
class Lamp;
class ModalRunner;
class QAction;
class QActionGroup;
class QFileDialog;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
enum class PinMode;
enum class PinWiring;
enum class ServiceCommand;

class TfrmMain : public QMainWindow, private ChipHost {
    Q_OBJECT

public:
    // The window runs FormCreate (connect, defaults, caption) as it is made.
    TfrmMain(RunState &state, ModalRunner &modals, QWidget *parent = nullptr);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void BuildToolBar();
    void BuildMenu();
    void BuildClientArea();
    void BuildStatusBar();
    void BuildFileDialogs();
    QAction *AddItem(QMenu *menu, const char *name, const QString &caption);
    QAction *AddRadioItem(QMenu *menu, QActionGroup *group, const char *name, const QString &caption);
    void BindHandler(QAction *item, void (TfrmMain::*handler)());
    void BindHandler(QPushButton *button, void (TfrmMain::*handler)());
    void RunHandler(void (TfrmMain::*handler)());

    void FormCreate();
    void FormCloseQuery();
    bool ConnectDevice();
    void EnableOperationItems();
    void DisableOperationItems();
    void SetOperationItemsEnabled(bool enabled);

    // Handlers of the menu items and the hidden buttons.
    void btnConnectClick();
    void btnLoadFileClick();
    void btnSaveFileClick();
    void btnDevTestClick();
    void btnAddICClick();

    // Chip operations (Un_MainOperations.cpp).
    void btnGetIDClick();
    void btnReadDataClick();
    void btnWriteDataClick();
    void btnEraseICClick();
    void btnICBlankClick();
    void btnTestDataClick();
    void btnAutoProgramClick();

    // Settings, pin modes, the about box and the service commands
    // (Un_MainService.cpp).
    void N8Click();
    void btnPinMX25LClick();
    void btnPin24CXClick();
    void N10Click();
    void N19Click();
    void BOOTLOAD21Click();
    void btnEnterBootloadClick();
    void btnFunTestClick();
    void miDebugTest2Click();
    void Button8Click();
    void btnEnterApplicationClick();
    void Button10Click();
    void Button11Click();
    void Button12Click();
    void Button14Click();
    void Button15Click();
    void Button20Click();
    // Sends the pin mode, then shows the wiring picture in its window.
    void ConfigurePinModeAndShowWiring(PinMode mode, PinWiring wiring);
    // Runs one service command and shows the operator its outcome.
    void RunService(ServiceCommand command);

    // Test Busy and ChipSelected, then RunOperation.
    void RunStandardOperation(const QString &banner, const std::function<void()> &work);
    // Hold off the other operations, log the banner, do the work, and release
    // everything whatever the work did.
    void RunOperation(const QString &banner, const std::function<void()> &work);
    // Logs "系统工作中，请稍候..." and returns true while an operation runs.
    bool RefuseWhenBusy();
    void BeginOperation();
    void EndOperation();
    void ShowError(const QString &message);

    // ChipHost
    void AppendLog(const QString &line) override;
    void SetGaugeMaximum(int maximum) override;
    void SetGaugePosition(int position) override;
    void ProcessPendingMessages() override;
    std::uint32_t TickCount() override;
    bool WriteModeMX25LChecked() override;

    RunState &state_;
    ModalRunner &modals_;

    HexView *MPHexEditorEx1 = nullptr;
    QPlainTextEdit *Memo1 = nullptr;
    QProgressBar *Gauge1 = nullptr;
    Lamp *LEDWork = nullptr;
    QFileDialog *odOpen = nullptr;
    QFileDialog *sdSave = nullptr;

    QAction *miConnect = nullptr;
    QAction *miMX25L = nullptr;
    QAction *miGetID = nullptr;
    QAction *miEraseIC = nullptr;
    QAction *miICBlank = nullptr;
    QAction *miReadData = nullptr;
    QAction *miWriteData = nullptr;
    QAction *miTestData = nullptr;
    QAction *miAutoProgram = nullptr;
};

// The main window's settings, pin modes, about box and service commands.
// None of them tests Busy: picked between two units of a running operation,
// their frames interleave with the operation's.
#include <QBuffer>
#include <QMessageBox>
#include <QPlainTextEdit>

#include "HexView.h"
#include "ModalRunner.h"
#include "PinModes.h"
#include "ServiceCommands.h"
#include "Un_About.h"
#include "Un_Main.h"
#include "Un_PinBmp.h"
#include "Un_SetSizeSpeed.h"

namespace {

class MemoLog : public DialogLog {
public:
    explicit MemoLog(QPlainTextEdit &memo) : memo_(memo) {}
    void ClearLog() override { memo_.clear(); }
    void AppendLog(const QString &line) override { memo_.appendPlainText(line); }

private:
    QPlainTextEdit &memo_;
};

QByteArray AsBytes(const PinModeFrame &frame) {
    return QByteArray(reinterpret_cast<const char *>(frame.data()), static_cast<qsizetype>(frame.size()));
}

void LoadBytes(HexView &view, const QByteArray &bytes) {
    QBuffer stream;
    stream.setData(bytes);
    stream.open(QIODevice::ReadOnly);
    view.LoadBufferFromStream(stream);
}

}  // namespace

void TfrmMain::N8Click() {
    MemoLog log(*Memo1);
    TfrmSetZizeSpeed dialog(state_, log, modals_, this);
    modals_.Run(dialog);
}

void TfrmMain::ConfigurePinModeAndShowWiring(PinMode mode, PinWiring wiring) {
    // The wiring is shown whatever the programmer answered.
    ConfigurePinMode(*this, mode);
    TfrmPinBmp window(this);
    window.ShowWiring(wiring);
    modals_.Run(window);
}

void TfrmMain::btnPinMX25LClick() { ConfigurePinModeAndShowWiring(PinMode::MX25L, PinWiring::Spi); }

void TfrmMain::btnPin24CXClick() { ConfigurePinModeAndShowWiring(PinMode::Smbus24CX, PinWiring::I2c); }

void TfrmMain::N10Click() {
    const PinModeOutcome outcome = ConfigurePinMode(*this, PinMode::Io24CX);
    LoadBytes(*MPHexEditorEx1, AsBytes(outcome.sent) + AsBytes(outcome.buffer));
}

void TfrmMain::N19Click() {
    TfrmAbout window(this);
    modals_.Run(window);
}

void TfrmMain::RunService(ServiceCommand command) {
    const ServiceOutcome outcome = RunServiceCommand(command);
    if (outcome.message) {
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Kestro_QX"), *outcome.message, QMessageBox::Ok,
                        this);
        box.setObjectName(QStringLiteral("InfoBox"));
        modals_.Run(box);
    }
    if (outcome.logLine) AppendLog(*outcome.logLine);
    if (outcome.bufferBytes) LoadBytes(*MPHexEditorEx1, *outcome.bufferBytes);
}

void TfrmMain::BOOTLOAD21Click() { RunService(ServiceCommand::EnterBootLoader2); }

void TfrmMain::btnEnterBootloadClick() { RunService(ServiceCommand::EnterBootLoader1); }

void TfrmMain::btnFunTestClick() { RunService(ServiceCommand::DebugTest1); }

void TfrmMain::miDebugTest2Click() { RunService(ServiceCommand::DebugTest2); }

void TfrmMain::Button8Click() { RunService(ServiceCommand::Echo); }

void TfrmMain::btnEnterApplicationClick() { RunService(ServiceCommand::EnterApplication); }

void TfrmMain::Button10Click() { RunService(ServiceCommand::PinTest); }

void TfrmMain::Button11Click() { RunService(ServiceCommand::ProbeIdOld); }

void TfrmMain::Button12Click() { RunService(ServiceCommand::Latch); }

void TfrmMain::Button14Click() { RunService(ServiceCommand::ProbeId90); }

void TfrmMain::Button15Click() { RunService(ServiceCommand::ProbeId9F); }

void TfrmMain::Button20Click() { RunService(ServiceCommand::SpiClockTest); }

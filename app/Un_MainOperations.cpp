// The main window's chip operations: each runs a chip routine of
// programmer/ on the window's buffer and log.
#include <QBuffer>

#include "ChipOperations.h"
#include "HexView.h"
#include "Un_Main.h"

void TfrmMain::btnGetIDClick() {
    if (RefuseWhenBusy()) {
        return;
    }
    state_.Busy = 1;
    setCursor(Qt::WaitCursor);
    AppendLog(QStringLiteral("------------------- 检测芯片 -------------------"));
    state_.LastChipId = IdentifyChip(*this, state_);
    state_.Busy = 0;
    if (state_.LastChipId > 0 && state_.LastChipId < 0xFFFF) {
        EnableOperationItems();
    } else {
        DisableOperationItems();
    }
    unsetCursor();
}

void TfrmMain::btnReadDataClick() {
    RunStandardOperation(QStringLiteral("------------------- 读取模式 -------------------"), [this] {
        QBuffer stream;
        stream.open(QIODevice::ReadWrite);
        ReadChip(*this, state_, stream);
        MPHexEditorEx1->LoadBufferFromStream(stream);
    });
}

void TfrmMain::btnWriteDataClick() {}

void TfrmMain::btnEraseICClick() {}

void TfrmMain::btnICBlankClick() {}

void TfrmMain::btnTestDataClick() {}

void TfrmMain::btnAutoProgramClick() {}

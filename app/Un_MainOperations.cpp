// The main window's chip operations: each runs a chip routine of
// programmer/ on the window's buffer and log.
#include <algorithm>

#include <QBuffer>
#include <QMessageBox>

#include "ChipOperations.h"
#include "HexView.h"
#include "ModalRunner.h"
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

void TfrmMain::btnWriteDataClick() {
    RunStandardOperation(QStringLiteral("------------------- 写入模式 -------------------"), [this] {
        QBuffer stream;
        stream.open(QIODevice::ReadWrite);
        MPHexEditorEx1->SaveBufferToStream(stream);
        WriteChip(*this, state_, stream);
    });
}

void TfrmMain::btnEraseICClick() {
    if (RefuseWhenBusy()) {
        return;
    }
    QMessageBox question(QMessageBox::Question, QStringLiteral("询问"), QStringLiteral("你确定要擦除吗？"),
                         QMessageBox::Yes | QMessageBox::No, this);
    question.setObjectName(QStringLiteral("EraseQuestion"));
    question.setDefaultButton(QMessageBox::Yes);
    if (modals_.Run(question) != QMessageBox::Yes) {
        return;
    }
    BeginOperation();
    EraseChip(*this, state_);
    EndOperation();
}

void TfrmMain::btnICBlankClick() {
    RunStandardOperation(QStringLiteral("------------------- 查空模式 -------------------"), [this] {
        QBuffer stream;
        stream.open(QIODevice::ReadWrite);
        ReadChip(*this, state_, stream);
        MPHexEditorEx1->LoadBufferFromStream(stream);
        const QByteArray &image = stream.buffer();
        if (image.isEmpty()) {
            return;
        }
        const bool blank = std::all_of(image.begin(), image.end(), [](char byte) { return byte == '\xFF'; });
        AppendLog(blank ? QStringLiteral("芯片为空!") : QStringLiteral("芯片不为空!"));
    });
}

void TfrmMain::btnTestDataClick() {
    RunStandardOperation(QStringLiteral("------------------- 校验模式 -------------------"), [this] {
        QBuffer chip;
        chip.open(QIODevice::ReadWrite);
        ReadChip(*this, state_, chip);
        QBuffer buffer;
        buffer.open(QIODevice::ReadWrite);
        MPHexEditorEx1->SaveBufferToStream(buffer);
        const QString chipDigest = StreamDigestHex(chip);
        const QString bufferDigest = StreamDigestHex(buffer);
        AppendLog(QStringLiteral("芯片中的数据校验码为：") + chipDigest);
        AppendLog(QStringLiteral("缓存中的数据校验码为：") + bufferDigest);
        AppendLog(chipDigest == bufferDigest ? QStringLiteral("芯片中的数据与缓存中的数据一致！")
                                             : QStringLiteral("芯片中的数据与缓存中的数据不一致！"));
    });
}

// Erases and writes without asking and without the Busy and ChipSelected
// tests of the other operations.
void TfrmMain::btnAutoProgramClick() {
    RunOperation(QStringLiteral("----------------- 自动编程模式 -----------------"), [this] {
        EraseChip(*this, state_);
        QBuffer stream;
        stream.open(QIODevice::ReadWrite);
        MPHexEditorEx1->SaveBufferToStream(stream);
        WriteChip(*this, state_, stream);
    });
}

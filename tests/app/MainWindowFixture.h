// The main window under the offscreen platform, driven by the names of its
// controls, against an in-process simulator through the shipped library: the
// fixture the window tests of the main window share.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QAction>
#include <QBuffer>
#include <QByteArray>
#include <QFileDialog>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringList>
#include <gtest/gtest.h>

#include "DataBuffer.h"
#include "HexView.h"
#include "ModalRunner.h"
#include "QtPrinters.h"
#include "Simulator.h"
#include "Un_Main.h"

// Answers every modal dialog by script and keeps the texts of message boxes.
// A message box is answered by answerBox, or else by its default button (OK
// when it has none).
class ScriptedModals : public ModalRunner {
public:
    std::function<int(QDialog &)> answer;
    std::function<int(QMessageBox &)> answerBox;
    QStringList messages;
    std::vector<QDialog *> dialogs;

    int Run(QDialog &dialog) override {
        dialogs.push_back(&dialog);
        if (auto *box = qobject_cast<QMessageBox *>(&dialog)) {
            messages.append(box->text());
            if (answerBox) return answerBox(*box);
            QPushButton *byDefault = box->defaultButton();
            return byDefault != nullptr ? int(box->standardButton(byDefault)) : int(QMessageBox::Ok);
        }
        return answer ? answer(dialog) : QDialog::Rejected;
    }
};

// Picks the given file in a file dialog and confirms it.
inline std::function<int(QDialog &)> Choose(const QString &path) {
    return [path](QDialog &dialog) {
        static_cast<QFileDialog &>(dialog).selectFile(path);
        return int(QDialog::Accepted);
    };
}

inline std::vector<std::uint8_t> Pattern(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t index = 0; index < size; ++index) {
        bytes[index] = static_cast<std::uint8_t>(0xA5 ^ (index * 7) ^ (index >> 9));
    }
    return bytes;
}

inline QByteArray Bytes(const std::vector<std::uint8_t> &bytes, std::size_t count) {
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), static_cast<qsizetype>(count));
}

inline const sim::ChipModel &Mx25l12845() { return *sim::FindChipModel("MX25L12845"); }

class MainWindowTest : public ::testing::Test {
protected:
    ~MainWindowTest() override {
        window_.reset();
        if (simulator_) {
            simulator_->Stop();
        }
    }

    // Starts a simulated programmer holding the chip, filled with Pattern.
    sim::Simulator &StartProgrammer(const sim::ChipModel &chip = Mx25l12845()) {
        simulator_ = std::make_unique<sim::Simulator>(chip);
        std::string error;
        EXPECT_TRUE(simulator_->Start(&error)) << error;
        simulator_->firmware().SetImage(Pattern(chip.capacity));
        return *simulator_;
    }

    // The window, made and shown at the first call (so after StartProgrammer
    // when the test wants it connected).
    TfrmMain &Window() {
        if (!window_) {
            window_ = std::make_unique<TfrmMain>(state_, modals_);
            window_->show();
        }
        return *window_;
    }

    template <typename Control>
    Control *Find(const char *name) {
        auto *control = Window().findChild<Control *>(QLatin1String(name));
        EXPECT_NE(control, nullptr) << name;
        return control;
    }
    QAction *Item(const char *name) { return Find<QAction>(name); }
    void Pick(const char *name) { Item(name)->trigger(); }

    QStringList Log() {
        const QString text = Find<QPlainTextEdit>("Memo1")->toPlainText();
        return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
    }
    DataBuffer &Buffer() { return Find<HexView>("MPHexEditorEx1")->Buffer(); }
    // Puts the bytes in the hex view as a chip read would.
    void LoadBuffer(const QByteArray &bytes) {
        QBuffer stream;
        stream.setData(bytes);
        ASSERT_TRUE(stream.open(QIODevice::ReadOnly));
        Find<HexView>("MPHexEditorEx1")->LoadBufferFromStream(stream);
    }

    std::vector<bool> OperationItemsEnabled() {
        std::vector<bool> enabled;
        for (const char *name : {"miEraseIC", "miICBlank", "miReadData", "miWriteData", "miTestData", "miAutoProgram"}) {
            enabled.push_back(Item(name)->isEnabled());
        }
        return enabled;
    }

    RunState state_;
    ScriptedModals modals_;
    std::unique_ptr<sim::Simulator> simulator_;
    std::unique_ptr<TfrmMain> window_;
};

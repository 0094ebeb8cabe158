// The capacity and speed dialog: the chip's capacity and erase block go into
// RunState, the serial clock divisor goes to the programmer at once. Every
// opening starts from the same contents; the dialog shows no current setting.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include <QDialog>
#include <QString>

#include "Un_Const.h"

class ModalRunner;
class QComboBox;
class QLineEdit;
class QKeyEvent;
class QPushButton;

// The main window's log as the dialog writes to it.
class DialogLog {
public:
    virtual ~DialogLog() = default;
    virtual void ClearLog() = 0;
    virtual void AppendLog(const QString &line) = 0;
};

using SpeedFrame = std::array<std::uint8_t, 4>;

// FC, the divisor, 03 and the divisor's complement.
SpeedFrame BuildSpeedFrame(std::uint8_t divisor);

// Sends the divisor to the programmer the window has open. The divisor the
// programmer reports in effect, or nothing when the write or the read failed
// or the reply does not acknowledge the speed command.
std::optional<std::uint8_t> SendSpeed(std::uint8_t divisor);

// The serial clock for a divisor, 48 MHz / (2 × (divisor + 1)), in the
// shortest form of at most 15 significant digits: "24", "2.66666666666667".
QString SpiClockMHzText(std::uint8_t divisor);

// The text as a decimal 32-bit integer, or nothing when it is not one.
std::optional<std::int32_t> IntegerValue(const QString &text);

// "'<text>' is not a valid integer value".
QString NotAnIntegerMessage(const QString &text);

class TfrmSetZizeSpeed : public QDialog {
    Q_OBJECT

public:
    // The error box of a text that is not an integer goes through modals.
    TfrmSetZizeSpeed(RunState &state, DialogLog &log, ModalRunner &modals, QWidget *parent = nullptr);

protected:
    // Escape does not close the dialog: each way out applies a setting.
    void keyPressEvent(QKeyEvent *event) override;

private:
    QPushButton *AddButton(const char *name, const QString &caption, int x, int y);
    // Apply capacity and block size.
    void Button1Click();
    // Send the speed.
    void Button2Click();
    // The text's integer value; when it has none, says so in an error box.
    std::optional<std::int32_t> IntegerOf(const QString &text);

    RunState &state_;
    DialogLog &log_;
    ModalRunner &modals_;
    QComboBox *cbCountKB = nullptr;
    QComboBox *cbBlockKB = nullptr;
    QLineEdit *Edit1 = nullptr;
};

// The pin diagram window: how to wire the chip into the programmer's 40-pin
// socket for the pin mode just sent. Both pictures start hidden; the caller
// makes one visible before showing the window.
#pragma once

#include <QDialog>

class QLabel;

enum class PinWiring { Spi, I2c };

class TfrmPinBmp : public QDialog {
    Q_OBJECT

public:
    explicit TfrmPinBmp(QWidget *owner = nullptr);

    // Makes the wiring's picture the only one visible.
    void ShowWiring(PinWiring wiring);

private:
    QLabel *Image1 = nullptr;  // SPI wiring
    QLabel *Image2 = nullptr;  // I2C wiring
};

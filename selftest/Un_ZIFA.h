// The socket self-test panel: one check box per switch of the programmer's
// 40-pin socket, laid out like the socket. Every change of a box sends the
// complete wanted state (SelfTestState.h) to the programmer the main window
// has open; the panel never shows a message.
#pragma once

#include <array>

#include <QDialog>

class QCheckBox;
class QShowEvent;

class TfrmDevA : public QDialog {
    Q_OBJECT

public:
    explicit TfrmDevA(QWidget *owner);

protected:
    void showEvent(QShowEvent *event) override;

private:
    QCheckBox *AddBox(QWidget *parent, const QString &name, const QString &caption, int tag, int x, int y,
                      int width);
    void FormShow();
    // Runs for every enabled box whenever its state changes, also when this
    // handler sets it, so the boxes it forces report their own frames first.
    void cbZIFClick(QCheckBox *sender);

    std::array<QCheckBox *, 62> boxOfTag_{};
};

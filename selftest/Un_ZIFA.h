// The socket self-test panel.
#pragma once

#include <QDialog>

class TfrmDevA : public QDialog {
    Q_OBJECT

public:
    explicit TfrmDevA(QWidget *owner);
};

// The about window: the program's name, its maker and a small picture.
#pragma once

#include <QDialog>

class TfrmAbout : public QDialog {
    Q_OBJECT

public:
    explicit TfrmAbout(QWidget *owner = nullptr);
};

// The chip table window.
#pragma once

#include <QDialog>

class TfrmIC : public QDialog {
    Q_OBJECT

public:
    explicit TfrmIC(QWidget *parent = nullptr);
};

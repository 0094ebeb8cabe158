#include "Un_Main.h"

TfrmMain::TfrmMain(QWidget *parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Kestro编程器"));
    resize(869, 595);
}

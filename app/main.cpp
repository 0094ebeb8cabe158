#include <QApplication>

#include "Un_Main.h"

int main(int argc, char *argv[]) {
    QApplication application(argc, argv);
    TfrmMain frmMain;
    frmMain.show();
    return application.exec();
}

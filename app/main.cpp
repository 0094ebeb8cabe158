#include <QApplication>

#include "ModalRunner.h"
#include "Un_About.h"
#include "Un_Const.h"
#include "Un_Main.h"

int main(int argc, char *argv[]) {
    QApplication application(argc, argv);
    RunState runState;
    ModalRunner modals;
    // Made at start and never shown; the help item opens a fresh one.
    TfrmAbout frmAbout;
    TfrmMain frmMain(runState, modals);
    frmMain.show();
    return application.exec();
}

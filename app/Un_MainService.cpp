// The main window's settings, pin modes, about box and service commands.
#include "Un_Main.h"

void TfrmMain::N8Click() {}

void TfrmMain::btnPinMX25LClick() {}

void TfrmMain::btnPin24CXClick() {}

void TfrmMain::N10Click() {}

void TfrmMain::N19Click() {}

void TfrmMain::BOOTLOAD21Click() {}

void TfrmMain::btnEnterBootloadClick() {}

void TfrmMain::btnFunTestClick() {}

void TfrmMain::miDebugTest2Click() {}

void TfrmMain::Button8Click() {}

void TfrmMain::btnEnterApplicationClick() {}

void TfrmMain::Button10Click() {}

void TfrmMain::Button11Click() {}

void TfrmMain::Button12Click() {}

void TfrmMain::Button14Click() {}

void TfrmMain::Button15Click() {}

void TfrmMain::Button20Click() {}

#include "Un_ZIFA.h"

TfrmDevA::TfrmDevA(QWidget *owner) : QDialog(owner) { setObjectName(QStringLiteral("frmDevA")); }

#include "Un_IC.h"

TfrmIC::TfrmIC(QWidget *parent) : QDialog(parent) { setObjectName(QStringLiteral("frmIC")); }

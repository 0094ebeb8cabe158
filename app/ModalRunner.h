// Every modal dialog and message box of the program is run through a
// ModalRunner, so that whoever creates the windows decides how questions are
// answered: the program by a person, a test by a script.
#pragma once

class QDialog;

class ModalRunner {
public:
    virtual ~ModalRunner() = default;

    // Shows the dialog modally and returns its result: QDialog::Accepted or
    // Rejected for dialogs, the StandardButton pressed for message boxes.
    virtual int Run(QDialog &dialog);
};

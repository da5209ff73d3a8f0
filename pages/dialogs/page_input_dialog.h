// CInputDialog: what the program's small input dialogs share (the port dialog, the remote
// address dialog, the UDP endpoint dialog): built from their template, modal, painted in
// the caller's colour; OK (id 1) and Return run the dialog's own check, which ends the
// dialog or keeps it open; Cancel (id 2) and Escape end it with Cancel. User-interface
// thread only.
#pragma once

#include <QDialog>

#include "platform/win_types.h"

class CInputDialog : public QDialog {
protected:
    CInputDialog(QWidget* parent, int templateId, COLORREF background);

    // OK: checks the fields; accept() ends the dialog, returning keeps it open.
    virtual void OnOK() = 0;

    void keyPressEvent(QKeyEvent* event) override;
};

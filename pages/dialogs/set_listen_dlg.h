// The modal dialog that asks for the port of a server (TCP and UDP server pages).
#pragma once

#include "pages/dialogs/page_input_dialog.h"

class QLineEdit;

class CSetListenDlg : public CInputDialog {
public:
    // The pages pass no parent (the main window owns the dialog) and their page colour.
    CSetListenDlg(QWidget* parent, COLORREF background);

    // The port read on OK; 0 before and after a rejected entry. A value below 1 means
    // that nothing was chosen.
    int Port() const { return port_; }

    // Control ids of template 138.
    static constexpr int kTemplateId = 138;
    static constexpr int kPortFieldId = 1009;

protected:
    // Return means OK in the port field and presses a focused button; Escape cancels.

private:
    // OK button (id 1): validates the port and ends the dialog, or stays open.
    void OnOK() override;

    int port_ = 0;
    QLineEdit* portField_ = nullptr;
};

// CJoinGroupDlg: the modal dialog in which the user names a multicast group for the UDP
// server page to join ("组播地址:"). It ends with OK only with a dotted address inside
// 224.0.0.0/4 or an IPv6 one inside ff00::/8 (a zone names the interface); anything else gets a
// message and the dialog stays open. User-interface thread only.
#pragma once

#include "net/endpoint.h"
#include "pages/dialogs/page_input_dialog.h"

class QLineEdit;

class CJoinGroupDlg : public CInputDialog {
public:
    CJoinGroupDlg(QWidget* parent, COLORREF background);

    // The group, read by the caller after the dialog ended with OK.
    const Endpoint& Group() const { return group_; }

    static constexpr int kTemplateId = 147;
    static constexpr int kAddressFieldId = 1037;

private:
    void OnOK() override;

    Endpoint group_;
    QLineEdit* addressField_ = nullptr;
};

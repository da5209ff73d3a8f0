// CAddressInputDialog: what the two dialogs that ask for a remote address share (the TCP
// client page's CDlgSetIp, the UDP client page's CSetUdpServerIp): the address typed is looked
// up off the window's thread, the local address offered likewise, and an address that cannot
// be used keeps the dialog open. User-interface thread only.
#pragma once

#include <QString>
#include <functional>

#include "net/endpoint.h"
#include "pages/core/page_address.h"
#include "pages/dialogs/page_input_dialog.h"

class QLineEdit;

class CAddressInputDialog : public CInputDialog {
public:
    // The lookups of this dialog (tests shorten their time limit).
    AddressLookup& Lookup() { return lookup_; }
    // An address is being looked up for OK: the title says so and OK is disabled; Cancel
    // and Escape still end the dialog.
    bool Resolving() const { return resolving_; }

protected:
    CAddressInputDialog(QWidget* parent, int templateId, COLORREF background);

    // Looks up the local host's address and hands it to `found` (not when there is none).
    void OfferLocalAddress(std::function<void(const QString& address)> found);
    // Looks up the text of `field` while the dialog shows it is resolving. An address that
    // cannot be used (none, one `usable` refuses, no answer within the time limit) gets
    // "Ip 地址有错!" and the dialog stays open with the field focused and selected; otherwise
    // `resolved` runs with it (port 0) and decides how the dialog ends.
    void ResolveThen(QLineEdit* field, std::function<void(const Endpoint& address)> resolved,
                     std::function<bool(const Endpoint& address)> usable = {});

private:
    void ShowResolving(bool resolving);

    AddressLookup lookup_;
    bool resolving_ = false;
    QString title_;
};

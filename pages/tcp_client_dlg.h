// CTcpClientDlg: placeholder until the page is built; the main frame hosts it already.
#pragma once

#include "pages/dialog_p.h"

class CTcpClientDlg : public CDialogP {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 130;

    explicit CTcpClientDlg(QWidget* parent = nullptr);
    ~CTcpClientDlg() override;
};

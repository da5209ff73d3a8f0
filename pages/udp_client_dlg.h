// CUdpClientDlg: placeholder until the page is built; the main frame hosts it already.
#pragma once

#include "pages/dialog_p.h"

class CUdpClientDlg : public CDialogP {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 141;

    explicit CUdpClientDlg(QWidget* parent = nullptr);
    ~CUdpClientDlg() override;
};

// CUdpServerDlg: placeholder until the page is built; the main frame hosts it already.
#pragma once

#include "pages/dialog_p.h"

class CUdpServerDlg : public CDialogP {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 140;

    explicit CUdpServerDlg(QWidget* parent = nullptr);
    ~CUdpServerDlg() override;
};

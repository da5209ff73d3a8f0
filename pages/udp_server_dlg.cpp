#include "pages/udp_server_dlg.h"

CUdpServerDlg::CUdpServerDlg(QWidget* parent) : CDialogP(kTemplateId, parent) {}

CUdpServerDlg::~CUdpServerDlg() = default;

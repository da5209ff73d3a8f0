#include "pages/udp_client_dlg.h"

CUdpClientDlg::CUdpClientDlg(QWidget* parent) : CDialogP(kTemplateId, parent) {}

CUdpClientDlg::~CUdpClientDlg() = default;

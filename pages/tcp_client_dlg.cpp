#include "pages/tcp_client_dlg.h"

CTcpClientDlg::CTcpClientDlg(QWidget* parent) : CDialogP(kTemplateId, parent) {}

CTcpClientDlg::~CTcpClientDlg() = default;

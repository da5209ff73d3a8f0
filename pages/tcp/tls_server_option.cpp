#include "pages/tcp/tls_server_option.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>
#include <QStandardPaths>

#include "net/tls_context.h"
#include "pages/core/dialog_p.h"
#include "pages/core/page_server_host.h"
#include "pages/core/page_settings.h"
#include "pages/dialogs/file_dialogs.h"
#include "platform/message_box.h"

namespace {

QString Key(const CDialogP& page, const char* name) {
    return QStringLiteral("tls/%1/%2").arg(PageSettingsName(page.TemplateId()), name);
}

// The message for a certificate and key that cannot be used, naming which part failed.
QString ProblemText(const TlsServerSetup& setup) {
    QString text;
    switch (setup.problem) {
        case TlsCertificateProblem::kCertificateUnreadable:
            text = QCoreApplication::translate("TlsServerOption", "证书文件无法读取");
            break;
        case TlsCertificateProblem::kCertificateNotPem:
            text = QCoreApplication::translate("TlsServerOption", "证书文件不是 PEM 格式的证书");
            break;
        case TlsCertificateProblem::kKeyUnreadable:
            text = QCoreApplication::translate("TlsServerOption", "私钥文件无法读取");
            break;
        case TlsCertificateProblem::kKeyNotPem:
            text = QCoreApplication::translate("TlsServerOption", "私钥文件不是 PEM 格式的私钥");
            break;
        case TlsCertificateProblem::kPassphraseNeeded:
            text = QCoreApplication::translate("TlsServerOption", "私钥有口令保护，未输入口令");
            break;
        case TlsCertificateProblem::kWrongPassphrase:
            text = QCoreApplication::translate("TlsServerOption", "私钥口令不正确");
            break;
        case TlsCertificateProblem::kKeyMismatch:
            text = QCoreApplication::translate("TlsServerOption", "私钥与证书不匹配");
            break;
        case TlsCertificateProblem::kCannotMake:
            text = QCoreApplication::translate("TlsServerOption", "无法生成本机证书");
            break;
        case TlsCertificateProblem::kCannotSave:
            text = QCoreApplication::translate("TlsServerOption", "无法保存本机证书");
            break;
        case TlsCertificateProblem::kNone:
            break;
    }
    if (!setup.detail.empty())
        text += u'\n' + QString::fromStdString(setup.detail);
    return text;
}

}  // namespace

TlsServerOption::TlsServerOption(CDialogP& page, ServerHost& server)
    : QObject(&page), page_(page), server_(server) {
    on_ = ReadPageSetting(Key(page_, "on"), false);
    chainPath_ = ReadPageText(Key(page_, "certificate"));
    keyPath_ = ReadPageText(Key(page_, "key"));
    page_.AddTool(*this);
    UpdateLabel();
}

QString TlsServerOption::OwnCertificateFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

void TlsServerOption::FillTreeMenu(QMenu& menu, HTREEITEM item) {
    if (!page_.Records().IsHostNode(item))
        return;
    QAction* tls = menu.addAction(QStringLiteral("TLS"));
    tls->setCheckable(true);
    tls->setChecked(on_);
    tls->setToolTip(QCoreApplication::translate("TlsServerOption", "下次开始监听时生效"));
    connect(tls, &QAction::toggled, this, &TlsServerOption::SetOn);
    QAction* choose = menu.addAction(QCoreApplication::translate("TlsServerOption", "选择证书…"));
    connect(choose, &QAction::triggered, this, &TlsServerOption::OnChooseCertificate);
}

void TlsServerOption::SetOn(bool on) {
    if (on == on_)
        return;
    on_ = on;
    WritePageSetting(Key(page_, "on"), on);
    UpdateLabel();
}

void TlsServerOption::OnChooseCertificate() {
    const QString chain = ChooseFileToOpen(
        &page_, QCoreApplication::translate("TlsServerOption", "选择证书（PEM 证书链）"));
    if (chain.isEmpty())
        return;
    const QString key =
        ChooseFileToOpen(&page_, QCoreApplication::translate("TlsServerOption", "选择私钥（PEM）"));
    if (key.isEmpty())
        return;
    ChooseCertificate(chain, key);
}

bool TlsServerOption::ChooseCertificate(const QString& chainPath, const QString& keyPath,
                                        const QString& passphrase) {
    const QString oldChain = chainPath_;
    const QString oldKey = keyPath_;
    chainPath_ = chainPath;
    keyPath_ = keyPath;
    std::shared_ptr<TlsContext> context = LoadChosen(passphrase, true);
    if (!context) {
        chainPath_ = oldChain;
        keyPath_ = oldKey;
        return false;
    }
    context_ = std::move(context);
    WritePageText(Key(page_, "certificate"), chainPath_);
    WritePageText(Key(page_, "key"), keyPath_);
    return true;
}

void TlsServerOption::ForgetCertificate() {
    UseCertificateFiles({}, {});
}

void TlsServerOption::UseCertificateFiles(const QString& chainPath, const QString& keyPath) {
    if (chainPath == chainPath_ && keyPath == keyPath_)
        return;
    chainPath_ = chainPath;
    keyPath_ = chainPath.isEmpty() ? QString() : keyPath.isEmpty() ? chainPath : keyPath;
    context_.reset();
    WritePageText(Key(page_, "certificate"), chainPath_);
    WritePageText(Key(page_, "key"), keyPath_);
}

std::shared_ptr<TlsContext> TlsServerOption::LoadChosen(const QString& passphrase,
                                                        bool askPassphrase) {
    TlsServerSetup setup;
    if (chainPath_.isEmpty()) {
        const QString folder = OwnCertificateFolder();
        QDir().mkpath(folder);
        setup = OwnServerCertificate(QFile::encodeName(folder).toStdString());
    } else {
        setup = LoadServerCertificate(QFile::encodeName(chainPath_).toStdString(),
                                      QFile::encodeName(keyPath_).toStdString(),
                                      passphrase.toStdString());
        if (setup.problem == TlsCertificateProblem::kPassphraseNeeded && askPassphrase) {
            bool given = false;
            const QString asked = QInputDialog::getText(
                &page_, QCoreApplication::translate("TlsServerOption", "私钥口令"),
                QCoreApplication::translate("TlsServerOption", "私钥 %1 有口令保护，请输入口令：")
                    .arg(keyPath_),
                QLineEdit::Password, QString(), &given);
            if (!given)
                return nullptr;  // the user chose not to: nothing more to tell
            return LoadChosen(asked, false);
        }
    }
    if (!setup.context) {
        ShowMessageBox(&page_, ProblemText(setup),
                       QCoreApplication::translate("TlsServerOption", "错误！"));
        return nullptr;
    }
    return setup.context;
}

bool TlsServerOption::PrepareListening(std::shared_ptr<TlsContext>& context) {
    context.reset();
    if (!on_)
        return true;
    if (!context_)
        context_ = LoadChosen({}, true);
    context = context_;
    return context != nullptr;
}

void TlsServerOption::ServerChanged(bool listening, bool withTls) {
    listening_ = listening;
    listeningTls_ = listening && withTls;
    UpdateLabel();
}

void TlsServerOption::UpdateLabel() {
    // While listening: how it listens; otherwise how the next start will.
    const bool tls = listening_ ? listeningTls_ : on_;
    server_.SetLabelSuffix(tls ? " (TLS)" : "");
}

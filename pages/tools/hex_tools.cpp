#include "pages/tools/hex_tools.h"

#include <QAction>
#include <QMenu>

#include "pages/core/dialog_p.h"
#include "pages/core/page_settings.h"

namespace {

QAction* KeptSwitch(CDialogP& page, const QString& text, const QString& key,
                    const std::function<void(bool on)>& apply) {
    auto* action = new QAction(text, &page);
    action->setCheckable(true);
    action->setChecked(ReadPageSetting(key, false));
    apply(action->isChecked());
    QObject::connect(action, &QAction::toggled, &page, [key, apply](bool on) {
        apply(on);
        WritePageSetting(key, on);
    });
    return action;
}

// "十六进制发送" in the send box's menu, as a tool of the page.
class HexSendSwitch : public QObject, public PageTool {
public:
    HexSendSwitch(CDialogP& page, QAction* action) : QObject(&page), action_(action) {
        page.AddTool(*this);
    }
    void FillSendBoxMenu(QMenu& menu) override { menu.addAction(action_); }

private:
    QAction* action_;
};

}  // namespace

void InstallHexTools(CDialogP& page) {
    const QString name = PageSettingsName(page.TemplateId());
    using View = EntryViews::View;
    for (View view : {View::Received, View::Sent}) {
        const QString key = QStringLiteral("hexView/%1/%2")
                                .arg(name, view == View::Received ? QStringLiteral("received")
                                                                  : QStringLiteral("sent"));
        QAction* action =
            KeptSwitch(page, QStringLiteral("十六进制显示"), key, [&page, view](bool on) {
                page.Views().SetLineForm(view, on ? LogForm::Hex : LogForm::Text);
            });
        action->setObjectName(
            QLatin1String(view == View::Received ? kHexReceivedSwitch : kHexSentSwitch));
        page.Views().AddMenuAction(view, action);
    }
    QAction* hexSend =
        KeptSwitch(page, QStringLiteral("十六进制发送"), QStringLiteral("hexSend/%1").arg(name),
                   [&page](bool on) { page.SetTypedForm(on ? TypedForm::Hex : TypedForm::Text); });
    hexSend->setObjectName(QLatin1String(kHexSendSwitch));
    new HexSendSwitch(page, hexSend);
}

#include "pages/tools/hex_tools.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <memory>
#include <vector>

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
    HexSendSwitch(CDialogP& page, std::vector<QAction*> actions)
        : QObject(&page), actions_(std::move(actions)) {
        page.AddTool(*this);
    }
    void FillSendBoxMenu(QMenu& menu) override {
        for (QAction* action : actions_) menu.addAction(action);
    }

private:
    std::vector<QAction*> actions_;
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
            KeptSwitch(page, QCoreApplication::translate("HexTools", "十六进制显示"), key,
                       [&page, view](bool on) {
                           page.Views().SetLineForm(view, on ? LogForm::Hex : LogForm::Text);
                       });
        action->setObjectName(
            QLatin1String(view == View::Received ? kHexReceivedSwitch : kHexSentSwitch));
        page.Views().AddMenuAction(view, action);
        QAction* milliseconds = KeptSwitch(
            page, QCoreApplication::translate("HexTools", "毫秒时间戳"),
            QString(key).replace(QStringLiteral("hexView/"), QStringLiteral("msStamps/")),
            [&page, view](bool on) { page.Views().SetMilliseconds(view, on); });
        page.Views().AddMenuAction(view, milliseconds);
    }
    QAction* hexSend = KeptSwitch(page, QCoreApplication::translate("HexTools", "十六进制发送"),
                                  QStringLiteral("hexSend/%1").arg(name), [&page](bool on) {
                                      page.SetTypedForm(on ? TypedForm::Hex : TypedForm::Text);
                                  });
    QAction* expand = KeptSwitch(page, QCoreApplication::translate("HexTools", "发送时展开字段"),
                                 QStringLiteral("expandFields/%1").arg(name), [](bool) {});
    // The box's fields: always in hex (a "{" is no hex digit), in text while switched on.
    // {n} counts the page's reads of the box that expanded fields.
    auto reads = std::make_shared<std::uint64_t>(0);
    page.SetFieldExpander([expand, reads](const QString& typed, TypedForm form) {
        const bool fields = form == TypedForm::Hex || expand->isChecked();
        if (fields && typed.contains(u'{'))
            ++*reads;
        return PrepareTyped(typed, form, expand->isChecked(), *reads);
    });
    hexSend->setObjectName(QLatin1String(kHexSendSwitch));
    new HexSendSwitch(page, {hexSend, expand});
}

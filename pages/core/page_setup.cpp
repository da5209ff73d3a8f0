#include "pages/core/page_setup.h"

#include <QPlainTextEdit>

#include "platform/dialog_template.h"
#include "skin/tree_ctrl_ex.h"

namespace {
constexpr int kReceivedViewId = 1026;
constexpr int kSentViewId = 1028;
constexpr int kSendBoxId = 1031;
}  // namespace

PageControls BuildPageControls(QWidget* page, int templateId, int treeId) {
    const ControlFactory makeTree = [](const ControlTemplate&, QWidget* parent) -> QWidget* {
        return new CTreeCtrlEx(parent);
    };
    BuildDialogFromTemplate(page, templateId, {{treeId, makeTree}});
    PageControls controls;
    controls.tree = FindControlAs<CTreeCtrlEx>(page, treeId);
    controls.receivedView = FindControlAs<QPlainTextEdit>(page, kReceivedViewId);
    controls.sentView = FindControlAs<QPlainTextEdit>(page, kSentViewId);
    controls.sendBox = FindControlAs<QPlainTextEdit>(page, kSendBoxId);
    return controls;
}

int TreeClientWidth(const PageControls& controls) {
    return controls.tree ? controls.tree->contentsRect().width() : 0;
}

std::vector<PlacedButton> PlacePageButtons(const PageControls& controls,
                                           const PageButtonLayout& layout) {
    std::vector<PlacedButton> placed;
    for (std::size_t i = 0; i < layout.topRow.size(); ++i) {
        placed.push_back({layout.topRow[i], TopRowButtonRect(static_cast<int>(i), layout.gap)});
    }
    const struct {
        const PageButton& button;
        QWidget* control;
        QRect (*rect)(const QRect&);
    } below[] = {
        {layout.send, controls.sendBox, SendButtonRect},
        {layout.clearReceived, controls.receivedView, ClearReceivedButtonRect},
        {layout.clearSent, controls.sentView, ClearSentButtonRect},
    };
    for (const auto& each : below) {
        if (each.control)
            placed.push_back({each.button, each.rect(each.control->geometry())});
    }
    return placed;
}

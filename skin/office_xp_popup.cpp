#include "skin/office_xp_popup.h"

#include <QAction>
#include <QApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleOptionMenuItem>

#include "skin/office_xp_menu.h"

namespace {

constexpr char kItemDataProperty[] = "wl_xp_menu_item";

// Sizes owner-drawn items through the menu's MeasureItem and gives the popup a flat
// one-pixel frame. Shared by every popup; lives as long as the application.
class OfficeXPMenuStyle : public QProxyStyle {
public:
    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override {
        const auto* popup = qobject_cast<const COfficeXPPopup*>(widget);
        const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
        if (type == CT_MenuItem && popup != nullptr && popup->IsOwnerDrawn() && item != nullptr) {
            // Measurement depends only on the text and on being a separator.
            COfficeXPMenuData data;
            data.text = item->text;
            data.flags = menu_flags::kOwnerDraw;
            if (item->menuItemType == QStyleOptionMenuItem::Separator) {
                data.flags |= menu_flags::kSeparator;
            }
            MeasureItemInfo info;
            info.itemData = &data;
            const_cast<COfficeXPMenu*>(popup->Menu())->MeasureItem(info);
            return {info.itemWidth, info.itemHeight};
        }
        return QProxyStyle::sizeFromContents(type, option, size, widget);
    }

    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override {
        const auto* popup = qobject_cast<const COfficeXPPopup*>(widget);
        if (popup != nullptr && popup->IsOwnerDrawn()) {
            switch (metric) {
                case PM_MenuPanelWidth:
                    return 1;
                case PM_MenuHMargin:
                    return 0;
                case PM_MenuVMargin:
                    return 1;
                case PM_MenuDesktopFrameWidth:
                    return 0;
                default:
                    break;
            }
        }
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

QStyle* SharedMenuStyle() {
    static QStyle* style = [] {
        auto* created = new OfficeXPMenuStyle;
        created->setParent(qApp);
        return created;
    }();
    return style;
}

}  // namespace

COfficeXPPopup::COfficeXPPopup(const COfficeXPMenu* menu, QWidget* parent)
    : QMenu(parent), m_menu(menu) {
    for (int i = 0; i < menu->GetMenuItemCount(); ++i) {
        if ((menu->GetItemData(i)->flags & menu_flags::kOwnerDraw) != 0) {
            m_ownerDrawn = true;
        }
    }
    setStyle(SharedMenuStyle());
    for (int i = 0; i < menu->GetMenuItemCount(); ++i) {
        const COfficeXPMenuData* data = menu->GetItemData(i);
        QAction* action = nullptr;
        if (data->IsPopup() && data->submenu != nullptr) {
            auto* submenu = new COfficeXPPopup(data->submenu, this);
            submenu->setTitle(data->text);
            action = addMenu(submenu);
        } else if (data->IsSeparator()) {
            action = addSeparator();
        } else {
            action = addAction(data->text);
            action->setData(data->commandId);
        }
        action->setEnabled(!data->IsDisabled());
        action->setProperty(kItemDataProperty,
                            QVariant::fromValue(reinterpret_cast<quintptr>(data)));
    }
}

const COfficeXPMenuData* COfficeXPPopup::ItemDataOf(const QAction* action) {
    return reinterpret_cast<const COfficeXPMenuData*>(
        action->property(kItemDataProperty).value<quintptr>());
}

void COfficeXPPopup::paintEvent(QPaintEvent* event) {
    if (!m_ownerDrawn) {
        QMenu::paintEvent(event);
        return;
    }
    const MenuSystemLook look = COfficeXPMenu::CurrentLook();
    QPainter painter(this);
    painter.fillRect(rect(), look.menu);
    auto* menu = const_cast<COfficeXPMenu*>(m_menu);
    for (QAction* action : actions()) {
        const QRect itemRect = actionGeometry(action);
        const COfficeXPMenuData* data = ItemDataOf(action);
        if (itemRect.isEmpty() || data == nullptr || !event->rect().intersects(itemRect)) {
            continue;
        }
        DrawItemInfo info;
        info.painter = &painter;
        info.itemRect = itemRect;
        info.itemData = data;
        if (action == activeAction()) {
            info.itemState |= item_state::kSelected;
        }
        if (!action->isEnabled()) {
            info.itemState |= item_state::kGrayed | item_state::kDisabled;
        }
        painter.save();
        menu->DrawItem(info);
        painter.restore();
        if (data->IsPopup()) {
            // The submenu arrow, drawn by the system after the owner's drawing.
            const int x = itemRect.right() - 8;
            const int y = itemRect.center().y();
            painter.setPen(Qt::NoPen);
            painter.setBrush(action->isEnabled() ? look.menuText : look.grayText);
            const QPoint arrow[3] = {{x, y - 4}, {x + 4, y}, {x, y + 4}};
            painter.drawPolygon(arrow, 3);
        }
    }
    painter.setPen(look.shadow3d);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

// COfficeXPMenu: a menu loaded from a binary menu template whose popup levels are drawn
// in the flat Office-XP look: a blue column on the left, the text in the menu font to its
// right, and a light box with a thin darker border around the item under the mouse.
// User-interface thread only.
//
// Typical use (the main frame's menu button):
//     COfficeXPMenu menu;
//     if (menu.LoadMenu(132)) {
//         COfficeXPMenu::SetMenuStyle(1);
//         const int command = menu.GetSubMenu(0)->TrackPopupMenu(globalPos, frame);
//         ...  // 0: nothing chosen
//     }
#pragma once

#include <QByteArray>
#include <QColor>
#include <QFont>
#include <QIcon>
#include <QPoint>
#include <QRect>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/win_types.h"

class COfficeXPMenu;
class QMenu;
class QPainter;
class QWidget;

// Menu item flags, as in a menu template and the Win32 menu functions.
namespace menu_flags {
constexpr UINT kGrayed = 0x0001;
constexpr UINT kDisabled = 0x0002;
constexpr UINT kChecked = 0x0008;
constexpr UINT kPopup = 0x0010;
constexpr UINT kEnd = 0x0080;  // last item of its level (templates only)
constexpr UINT kOwnerDraw = 0x0100;
constexpr UINT kByPosition = 0x0400;
constexpr UINT kSeparator = 0x0800;
}  // namespace menu_flags

// Drawing states of an owner-drawn item.
namespace item_state {
constexpr UINT kSelected = 0x0001;
constexpr UINT kGrayed = 0x0002;
constexpr UINT kDisabled = 0x0004;
constexpr UINT kChecked = 0x0008;
}  // namespace item_state

// One item appended to a COfficeXPMenu; owned by that menu.
struct COfficeXPMenuData {
    QString text;
    UINT flags = 0;                    // the flags the item was appended with
    int commandId = 0;                 // command items
    COfficeXPMenu* submenu = nullptr;  // popup items; owned by the menu that appended it
    int imageIndex = -1;               // -1: none
    bool IsSeparator() const { return (flags & menu_flags::kSeparator) != 0; }
    bool IsPopup() const { return (flags & menu_flags::kPopup) != 0; }
    bool IsDisabled() const { return (flags & (menu_flags::kGrayed | menu_flags::kDisabled)) != 0; }
};

struct MeasureItemInfo {
    const COfficeXPMenuData* itemData = nullptr;
    int itemWidth = 0;   // out
    int itemHeight = 0;  // out
};

struct DrawItemInfo {
    QPainter* painter = nullptr;
    QRect itemRect;
    UINT itemState = 0;  // item_state flags
    const COfficeXPMenuData* itemData = nullptr;
    bool paletteBased = false;  // an 8-bit target: classic style
};

// The platform's menu colours, font and metrics that the drawing uses.
struct MenuSystemLook {
    QColor menu;  // menu background
    QColor menuText;
    QColor grayText;   // disabled text
    QColor face3d;     // 3-D face (dialogs, buttons)
    QColor highlight;  // classic selection
    QColor highlightText;
    QColor light3d;  // etched lines and embossed text
    QColor shadow3d;
    QFont menuFont;
    int menuBarHeight = 19;

    // From the application's palette and menu font.
    static MenuSystemLook FromPlatform();
};

class COfficeXPMenu {
public:
    COfficeXPMenu();
    COfficeXPMenu(const COfficeXPMenu&) = delete;
    COfficeXPMenu& operator=(const COfficeXPMenu&) = delete;
    virtual ~COfficeXPMenu();

    virtual void DrawItem(DrawItemInfo& info);
    virtual void MeasureItem(MeasureItemInfo& info);
    // Builds the menu tree from menu resource `resourceId`; false (and an empty menu) when
    // the resource is missing or malformed.
    virtual bool LoadMenu(int resourceId);
    // The same from the raw bytes of a binary menu template.
    virtual bool LoadMenu(const QByteArray& menuTemplate);
    // Frees the submenus and the items; the menu is empty afterwards.
    virtual void DestroyMenu();

    // Sets the process-wide style switches: 1 draws the XP style, other values the classic.
    static void SetMenuStyle(int style);
    // Each of red, green and blue moved `fraction` (0 < fraction <= 1) of the way to 255.
    static COLORREF Lighten(COLORREF colour, double fraction);
    // Replaces the platform look (tests, review renders); nullopt returns to the platform.
    static void SetSystemLook(std::optional<MenuSystemLook> look);
    static MenuSystemLook CurrentLook();

    bool IsLoaded() const { return m_loaded; }
    int GetMenuItemCount() const { return static_cast<int>(m_items.size()); }
    const COfficeXPMenuData* GetItemData(int position) const;
    // The submenu of the popup item at `position`, or nullptr.
    COfficeXPMenu* GetSubMenu(int position) const;
    bool IsChild() const { return m_child; }
    int IconWidth() const { return m_iconWidth; }

    // Inserts an owner-drawn command item (a separator when `commandId` is 0) before
    // `position`, or at the end when `position` is past it: a program's commands added to a
    // loaded menu.
    void InsertMenuItem(int position, int commandId, const QString& text);

    // A Qt popup showing this level (owner-drawn levels drawn by DrawItem); submenus
    // included. Owned by `parent` (or the caller when parent is null).
    QMenu* CreatePopupMenu(QWidget* parent) const;
    // Shows this level as a popup at `globalPos` and waits; returns the chosen command id,
    // or 0 when nothing was chosen.
    int TrackPopupMenu(const QPoint& globalPos, QWidget* owner) const;

private:
    // Appends an item (see the flag rules in the .cpp); takes ownership of `submenu`.
    void AppendItem(UINT flags, int commandId, std::unique_ptr<COfficeXPMenu> submenu,
                    const QString& text);
    void AlignAccelerators();
    void TurnItemsPlain();
    void DrawItemXp(DrawItemInfo& info, const MenuSystemLook& look);
    void DrawItemClassic(DrawItemInfo& info, const MenuSystemLook& look);

    std::vector<std::unique_ptr<COfficeXPMenuData>> m_items;
    std::vector<std::unique_ptr<COfficeXPMenu>> m_submenus;
    int m_iconWidth = 16;
    int m_iconHeight = 15;
    COLORREF m_imageKeyColour = RGB(192, 192, 192);
    std::shared_ptr<std::vector<QIcon>> m_imageList;  // shared item images; none in use
    bool m_child = false;
    int m_checkImages[2] = {-1, -1};
    bool m_loaded = false;
};

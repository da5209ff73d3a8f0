#include "skin/office_xp_menu.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QPalette>
#include <algorithm>
#include <cstring>

#include "platform/resources.h"
#include "skin/office_xp_popup.h"

namespace {

// The menu resource's labels, listed for the translation tools, which do not read the binary
// resource: "设置(&M)" and its items, each followed in the resource by blanks and its keys.
[[maybe_unused]] constexpr const char* kMenuLabels[] = {
    QT_TRANSLATE_NOOP("Menu", "设置(&M)"), QT_TRANSLATE_NOOP("Menu", "设置"),
    QT_TRANSLATE_NOOP("Menu", "帮助"),     QT_TRANSLATE_NOOP("Menu", "关于"),
    QT_TRANSLATE_NOOP("Menu", "退出"),
};

// An item's text in the interface's language: the label is looked up, the blanks and the keys
// after it ("        (&Alt+S)") stay as they are.
QString ShownMenuText(const QString& text) {
    const qsizetype labelEnd = text.indexOf(QLatin1String("  "));
    const QString label = labelEnd < 0 ? text : text.left(labelEnd);
    const QString rest = labelEnd < 0 ? QString() : text.mid(labelEnd);
    return QCoreApplication::translate("Menu", label.toUtf8().constData()) + rest;
}

// Process-wide style switches: one for when the 3-D face colour differs from the menu
// colour, one for when they are equal. SetMenuStyle sets both.
int g_styleWhenFaceDiffers = 1;
int g_styleWhenFaceEqual = 0;
std::optional<MenuSystemLook> g_lookOverride;

constexpr COLORREF kColumnColour = RGB(99, 190, 255);
constexpr COLORREF kSelectionBorder = RGB(132, 166, 198);
constexpr COLORREF kSelectionFill = RGB(206, 231, 255);

QColor ToQColor(COLORREF colour) {
    return QColor(GetRValue(colour), GetGValue(colour), GetBValue(colour));
}
COLORREF ToColorRef(const QColor& colour) {
    return RGB(colour.red(), colour.green(), colour.blue());
}
bool SameColour(const QColor& a, const QColor& b) {
    return a.rgb() == b.rgb();
}

// Reads a binary menu template: header (version word, offset word), then the items.
// Every read is bounds-checked; a truncated template fails instead of reading past it.
class MenuTemplateReader {
public:
    explicit MenuTemplateReader(const QByteArray& bytes) : m_bytes(bytes) {}

    bool Skip(qsizetype count) {
        if (count < 0 || m_bytes.size() - m_position < count) {
            return false;
        }
        m_position += count;
        return true;
    }
    bool ReadWord(std::uint16_t& word) {
        if (m_bytes.size() - m_position < 2) {
            return false;
        }
        const auto* data = reinterpret_cast<const unsigned char*>(m_bytes.constData());
        word = static_cast<std::uint16_t>(data[m_position] | (data[m_position + 1] << 8));
        m_position += 2;
        return true;
    }
    bool ReadText(QString& text) {
        std::u16string units;
        std::uint16_t unit = 0;
        while (true) {
            if (!ReadWord(unit)) {
                return false;
            }
            if (unit == 0) {
                break;
            }
            units.push_back(static_cast<char16_t>(unit));
        }
        text = ShownMenuText(QString::fromStdU16String(units));
        return true;
    }

private:
    const QByteArray& m_bytes;
    qsizetype m_position = 0;
};

int MenuTextWidth(const QFontMetrics& metrics, const QString& text) {
    return metrics.horizontalAdvance(text);
}

}  // namespace

// --- the platform look ---------------------------------------------------------------------

MenuSystemLook MenuSystemLook::FromPlatform() {
    const QPalette menuPalette = QApplication::palette("QMenu");
    const QPalette palette = QApplication::palette();
    MenuSystemLook look;
    look.menu = menuPalette.color(QPalette::Active, QPalette::Window);
    look.menuText = menuPalette.color(QPalette::Active, QPalette::WindowText);
    look.grayText = menuPalette.color(QPalette::Disabled, QPalette::WindowText);
    look.face3d = palette.color(QPalette::Active, QPalette::Button);
    look.highlight = menuPalette.color(QPalette::Active, QPalette::Highlight);
    look.highlightText = menuPalette.color(QPalette::Active, QPalette::HighlightedText);
    look.light3d = palette.color(QPalette::Active, QPalette::Light);
    look.shadow3d = palette.color(QPalette::Active, QPalette::Mid);
    look.menuFont = QApplication::font("QMenu");
    // A Windows menu bar is 19 pixels high with the 9-point menu font; larger fonts grow it.
    look.menuBarHeight = std::max(19, QFontMetrics(look.menuFont).height() + 4);
    return look;
}

void COfficeXPMenu::SetSystemLook(std::optional<MenuSystemLook> look) {
    g_lookOverride = std::move(look);
}

MenuSystemLook COfficeXPMenu::CurrentLook() {
    return g_lookOverride ? *g_lookOverride : MenuSystemLook::FromPlatform();
}

void COfficeXPMenu::SetMenuStyle(int style) {
    g_styleWhenFaceDiffers = style;
    g_styleWhenFaceEqual = style;
}

COLORREF COfficeXPMenu::Lighten(COLORREF colour, double fraction) {
    if (!(fraction > 0.0 && fraction <= 1.0)) {
        return colour;
    }
    auto lighten = [fraction](int channel) {
        return static_cast<int>(channel + fraction * (255 - channel));  // truncated
    };
    return RGB(lighten(GetRValue(colour)), lighten(GetGValue(colour)), lighten(GetBValue(colour)));
}

// --- construction and loading --------------------------------------------------------------

COfficeXPMenu::COfficeXPMenu() = default;

COfficeXPMenu::~COfficeXPMenu() {
    DestroyMenu();
}

void COfficeXPMenu::DestroyMenu() {
    m_submenus.clear();  // deletes the submenu objects, and theirs in turn
    m_items.clear();
    if (!m_child) {
        m_imageList.reset();
    }
    m_loaded = false;
}

bool COfficeXPMenu::LoadMenu(int resourceId) {
    return LoadMenu(LoadMenuResource(resourceId));
}

bool COfficeXPMenu::LoadMenu(const QByteArray& menuTemplate) {
    DestroyMenu();
    MenuTemplateReader reader(menuTemplate);
    std::uint16_t version = 0;
    std::uint16_t headerOffset = 0;
    if (menuTemplate.isEmpty() || !reader.ReadWord(version) || !reader.ReadWord(headerOffset) ||
        !reader.Skip(headerOffset)) {
        return false;
    }
    m_loaded = true;

    // The menu being filled, and whether its level has seen its last item.
    std::vector<COfficeXPMenu*> menus{this};
    std::vector<bool> levelFinished{false};
    bool wellFormed = true;
    while (!menus.empty()) {
        std::uint16_t flags = 0;
        std::uint16_t id = 0;
        QString text;
        if (!reader.ReadWord(flags) ||
            ((flags & menu_flags::kPopup) == 0 && !reader.ReadWord(id)) || !reader.ReadText(text)) {
            wellFormed = false;
            break;
        }
        const UINT passedFlags = flags & ~menu_flags::kEnd;
        if ((flags & menu_flags::kPopup) != 0) {
            if ((flags & menu_flags::kEnd) != 0) {
                levelFinished.back() = true;
            }
            auto submenu = std::make_unique<COfficeXPMenu>();
            submenu->m_checkImages[0] = menus.back()->m_checkImages[0];
            submenu->m_checkImages[1] = menus.back()->m_checkImages[1];
            submenu->m_imageList = menus.back()->m_imageList;
            submenu->m_child = true;
            submenu->m_loaded = true;
            COfficeXPMenu* child = submenu.get();
            menus.back()->AppendItem(passedFlags, 0, std::move(submenu), text);
            menus.push_back(child);
            levelFinished.push_back(false);
        } else {
            menus.back()->AppendItem(passedFlags, id, nullptr, text);
            if ((flags & menu_flags::kEnd) != 0) {
                levelFinished.back() = true;
            }
            while (!menus.empty() && levelFinished.back()) {
                menus.back()->AlignAccelerators();
                menus.pop_back();
                levelFinished.pop_back();
            }
        }
    }
    if (!wellFormed) {
        DestroyMenu();
        return false;
    }
    TurnItemsPlain();
    return true;
}

// An item with id 0 becomes an owner-drawn separator; every other item is owner-drawn.
void COfficeXPMenu::AppendItem(UINT flags, int commandId, std::unique_ptr<COfficeXPMenu> submenu,
                               const QString& text) {
    auto data = std::make_unique<COfficeXPMenuData>();
    if (submenu == nullptr && commandId == 0) {
        flags = menu_flags::kSeparator | menu_flags::kOwnerDraw | (flags & menu_flags::kByPosition);
    } else {
        flags |= menu_flags::kOwnerDraw;
    }
    data->text = text;
    data->flags = flags;
    data->commandId = commandId;
    data->submenu = submenu.get();
    if (submenu != nullptr) {
        m_submenus.push_back(std::move(submenu));
    }
    m_items.push_back(std::move(data));
}

void COfficeXPMenu::InsertMenuItem(int position, int commandId, const QString& text) {
    AppendItem(0, commandId, nullptr, text);
    const auto at =
        std::min<std::size_t>(static_cast<std::size_t>(std::max(0, position)), m_items.size() - 1);
    std::rotate(m_items.begin() + static_cast<std::ptrdiff_t>(at), m_items.end() - 1,
                m_items.end());
}

// The top level is a menu bar: its items go back to plain text items; only popups draw.
void COfficeXPMenu::TurnItemsPlain() {
    for (auto& item : m_items) {
        item->flags = item->submenu != nullptr ? (menu_flags::kByPosition | menu_flags::kPopup)
                                               : menu_flags::kByPosition;
    }
}

// Pads the text before each tab with blanks so that the accelerators after the tabs line up.
void COfficeXPMenu::AlignAccelerators() {
    const QFontMetrics metrics(CurrentLook().menuFont);
    int widest = 0;
    for (const auto& item : m_items) {
        const QString label = item->text.left(item->text.indexOf(u'\t'));
        widest = std::max(widest, MenuTextWidth(metrics, label + u' '));
    }
    constexpr int kMaxPadding = 1000;  // a blank always has width; this only bounds the loop
    for (auto& item : m_items) {
        const qsizetype tab = item->text.indexOf(u'\t');
        if (tab < 0) {
            continue;
        }
        QString padded = item->text.left(tab);
        for (int i = 0; i < kMaxPadding && MenuTextWidth(metrics, padded) < widest; ++i) {
            padded += u' ';
        }
        item->text = padded + item->text.mid(tab);
    }
}

const COfficeXPMenuData* COfficeXPMenu::GetItemData(int position) const {
    if (position < 0 || position >= GetMenuItemCount()) {
        return nullptr;
    }
    return m_items[static_cast<std::size_t>(position)].get();
}

COfficeXPMenu* COfficeXPMenu::GetSubMenu(int position) const {
    const COfficeXPMenuData* data = GetItemData(position);
    return data != nullptr ? data->submenu : nullptr;
}

// --- measuring and drawing -----------------------------------------------------------------

void COfficeXPMenu::MeasureItem(MeasureItemInfo& info) {
    const MenuSystemLook look = CurrentLook();
    if (info.itemData == nullptr || info.itemData->IsSeparator()) {
        info.itemWidth = 0;
        info.itemHeight = look.menuBarHeight / 2;
        return;
    }
    const int textWidth = MenuTextWidth(QFontMetrics(look.menuFont), info.itemData->text);
    info.itemWidth = textWidth + 2 * m_iconWidth + 1;
    info.itemHeight = std::max(look.menuBarHeight, m_iconHeight + 4);
}

void COfficeXPMenu::DrawItem(DrawItemInfo& info) {
    if (info.painter == nullptr || info.itemData == nullptr) {
        return;
    }
    const MenuSystemLook look = CurrentLook();
    const bool faceEqualsMenu = SameColour(look.face3d, look.menu);
    const int style = faceEqualsMenu ? g_styleWhenFaceEqual : g_styleWhenFaceDiffers;
    if (!info.paletteBased && style == 1) {
        DrawItemXp(info, look);
    } else {
        DrawItemClassic(info, look);
    }
}

namespace {

// An etched line along the top of `rect`: a shadow line with a light line under it.
void DrawEtchedTopEdge(QPainter& painter, const QRect& rect, const MenuSystemLook& look) {
    if (rect.width() <= 0) {
        return;
    }
    painter.fillRect(QRect(rect.left(), rect.top(), rect.width(), 1), look.shadow3d);
    painter.fillRect(QRect(rect.left(), rect.top() + 1, rect.width(), 1), look.light3d);
}

// The label (before the first tab) left-aligned and the accelerator (after the last tab)
// right-aligned; "&" marks the underlined mnemonic.
void DrawItemText(QPainter& painter, QRect textRect, const QString& text, int iconWidth) {
    const qsizetype firstTab = text.indexOf(u'\t');
    QString label = text;
    QString accelerator;
    if (firstTab >= 0) {
        label = text.left(firstTab);
        accelerator = text.mid(text.lastIndexOf(u'\t') + 1);
        textRect.setRight(textRect.right() - iconWidth);
    }
    constexpr int kFlags = Qt::TextSingleLine | Qt::AlignVCenter | Qt::TextShowMnemonic;
    painter.drawText(textRect, kFlags | Qt::AlignLeft, label);
    if (!accelerator.isEmpty()) {
        painter.drawText(textRect, kFlags | Qt::AlignRight, accelerator);
    }
}

}  // namespace

void COfficeXPMenu::DrawItemXp(DrawItemInfo& info, const MenuSystemLook& look) {
    QPainter& painter = *info.painter;
    const QRect& r = info.itemRect;
    const COfficeXPMenuData& item = *info.itemData;

    QColor column = ToQColor(kColumnColour);
    QColor background = look.menu;
    QColor fill = ToQColor(kSelectionFill);
    const QColor border = ToQColor(kSelectionBorder);
    const bool menuIsColumnColour = SameColour(look.menu, column);
    if (menuIsColumnColour) {
        column = ToQColor(Lighten(kColumnColour, 0.35));
        background = Qt::white;
        fill = ToQColor(Lighten(kSelectionBorder, 0.85));
    }
    const bool disabled =
        item.IsDisabled() || (info.itemState & (item_state::kGrayed | item_state::kDisabled)) != 0;
    const bool selected = !disabled && (info.itemState & item_state::kSelected) != 0;
    const QRect columnRect(r.left(), r.top(), m_iconWidth + 5, r.height());

    if (item.IsSeparator()) {
        painter.fillRect(r, background);
        DrawEtchedTopEdge(painter,
                          QRect(QPoint(columnRect.right() + 1 + 4, r.top() + r.height() / 2),
                                QPoint(r.right(), r.bottom())),
                          look);
        painter.fillRect(columnRect, column);
        return;
    }
    if (selected) {
        painter.fillRect(r, fill);
        painter.fillRect(QRect(r.left(), r.top(), r.width(), 1), border);
        painter.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), border);
        painter.fillRect(QRect(r.left(), r.top(), 1, r.height()), border);
        painter.fillRect(QRect(r.right(), r.top(), 1, r.height()), border);
    } else {
        painter.fillRect(r, background);
        painter.fillRect(columnRect, column);
    }

    QColor textColour = look.menuText;
    if (disabled) {
        textColour =
            menuIsColumnColour ? ToQColor(Lighten(ToColorRef(look.grayText), 0.55)) : look.grayText;
    }
    painter.setFont(look.menuFont);
    painter.setPen(textColour);
    const QRect textRect(QPoint(r.left() + m_iconWidth + 9, r.top() - 1),
                         QPoint(r.right(), r.bottom() - 1));
    DrawItemText(painter, textRect, item.text, m_iconWidth);
}

void COfficeXPMenu::DrawItemClassic(DrawItemInfo& info, const MenuSystemLook& look) {
    QPainter& painter = *info.painter;
    const QRect& r = info.itemRect;
    const COfficeXPMenuData& item = *info.itemData;
    const bool disabled =
        item.IsDisabled() || (info.itemState & (item_state::kGrayed | item_state::kDisabled)) != 0;
    const bool selected = !disabled && (info.itemState & item_state::kSelected) != 0;
    const int columnRight = r.left() + m_iconWidth + 5;

    painter.fillRect(r, look.face3d);
    if (item.IsSeparator()) {
        DrawEtchedTopEdge(
            painter,
            QRect(QPoint(columnRight + 4, r.top() + r.height() / 2), QPoint(r.right(), r.bottom())),
            look);
        return;
    }
    if (selected) {
        painter.fillRect(QRect(QPoint(columnRight, r.top()), r.bottomRight()), look.highlight);
    }
    painter.setFont(look.menuFont);
    const QRect textRect(QPoint(r.left() + m_iconWidth + 9, r.top() - 1),
                         QPoint(r.right(), r.bottom() - 1));
    if (disabled) {
        // Embossed: the light colour one pixel down and right, the grey text over it.
        painter.setPen(look.light3d);
        DrawItemText(painter, textRect.translated(1, 1), item.text, m_iconWidth);
        painter.setPen(look.grayText);
    } else {
        painter.setPen(selected ? look.highlightText : look.menuText);
    }
    DrawItemText(painter, textRect, item.text, m_iconWidth);
}

// --- showing -------------------------------------------------------------------------------

QMenu* COfficeXPMenu::CreatePopupMenu(QWidget* parent) const {
    return new COfficeXPPopup(this, parent);
}

int COfficeXPMenu::TrackPopupMenu(const QPoint& globalPos, QWidget* owner) const {
    if (!m_loaded) {
        return 0;
    }
    COfficeXPPopup popup(this, owner);
    const QAction* chosen = popup.exec(globalPos);
    const COfficeXPMenuData* data =
        chosen != nullptr ? COfficeXPPopup::ItemDataOf(chosen) : nullptr;
    return data != nullptr ? data->commandId : 0;
}

// CTreeCtrlEx: the endpoint tree of every page. A one-column QTreeWidget with a
// Win32-tree-like item API keyed by HTREEITEM, an image list, a process-wide store of
// per-item text colours and fonts, and a caret (selected) item whose label is always
// painted white on RGB 49, 106, 197, whether or not the tree has the focus.
// User-interface thread only.
//
// Item handles: an HTREEITEM is the item's QTreeWidgetItem pointer, reinterpret_cast
// (ToHandle / FromHandle). It stays valid and unique while the item exists.
//
// Selection: the tree keeps no selection of its own; "selected item" means the caret
// (current) item, as in a Win32 tree. Clicks and keys move the caret. itemClicked(HTREEITEM)
// is emitted for left-button presses only, after hit-testing and before the caret moves, so
// that a page can tell a click on the current item (which shows it again) from the
// caret moves that currentItemChanged reports.
#pragma once

#include <QIcon>
#include <QMetaType>
#include <QTimer>
#include <QTreeWidget>
#include <cstdint>
#include <vector>

#include "platform/win_types.h"
#include "skin/log_font.h"

Q_DECLARE_OPAQUE_POINTER(HTREEITEM)

// Positions for InsertItem, as in a Win32 tree.
inline const HTREEITEM TVI_ROOT = reinterpret_cast<HTREEITEM>(~std::uintptr_t{0} - 0xFFFF);
inline const HTREEITEM TVI_FIRST = reinterpret_cast<HTREEITEM>(~std::uintptr_t{0} - 0xFFFE);
inline const HTREEITEM TVI_LAST = reinterpret_cast<HTREEITEM>(~std::uintptr_t{0} - 0xFFFD);

// Text colour meaning "none set".
constexpr COLORREF kNoTextColor = static_cast<COLORREF>(-1);

class CTreeCtrlEx : public QTreeWidget {
    Q_OBJECT

public:
    explicit CTreeCtrlEx(QWidget* parent = nullptr);
    ~CTreeCtrlEx() override;

    static HTREEITEM ToHandle(QTreeWidgetItem* item) { return reinterpret_cast<HTREEITEM>(item); }
    static QTreeWidgetItem* FromHandle(HTREEITEM item) {
        return reinterpret_cast<QTreeWidgetItem*>(item);
    }

    // --- items -------------------------------------------------------------------------
    // Inserts an item under `parent` (TVI_ROOT or nullptr: top level) after `after`
    // (TVI_LAST, TVI_FIRST or a sibling). Returns its handle, or nullptr on a bad parent.
    HTREEITEM InsertItem(const QString& text, HTREEITEM parent = TVI_ROOT,
                         HTREEITEM after = TVI_LAST);
    HTREEITEM InsertItem(const QString& text, int image, int selectedImage,
                         HTREEITEM parent = TVI_ROOT, HTREEITEM after = TVI_LAST);
    // Deletes the item and its children (their colour and font entries go with them).
    // The caret moves to a neighbour if it was inside. Returns false for nullptr.
    bool DeleteItem(HTREEITEM item);
    bool DeleteAllItems();

    QString GetItemText(HTREEITEM item) const;
    bool SetItemText(HTREEITEM item, const QString& text);
    std::uintptr_t GetItemData(HTREEITEM item) const;  // 0 when never set
    bool SetItemData(HTREEITEM item, std::uintptr_t data);

    // --- images ------------------------------------------------------------------------
    // The image list: item images are indices into it. An index outside shows no icon.
    void SetImageList(std::vector<QIcon> images);
    const std::vector<QIcon>& GetImageList() const { return m_images; }
    // `selectedImage` is shown while the item is the caret item.
    bool SetItemImage(HTREEITEM item, int image, int selectedImage);
    bool GetItemImage(HTREEITEM item, int& image, int& selectedImage) const;

    // --- navigation --------------------------------------------------------------------
    HTREEITEM GetRootItem() const;                 // first top-level item
    HTREEITEM GetChildItem(HTREEITEM item) const;  // first child; TVI_ROOT/nullptr: top level
    HTREEITEM GetNextSiblingItem(HTREEITEM item) const;
    HTREEITEM GetPrevSiblingItem(HTREEITEM item) const;
    HTREEITEM GetParentItem(HTREEITEM item) const;  // nullptr for top-level items
    bool ItemHasChildren(HTREEITEM item) const;
    bool Expand(HTREEITEM item, bool expand = true);

    // --- caret (selected item) ---------------------------------------------------------
    HTREEITEM GetSelectedItem() const;
    // Moves the caret to `item` (nullptr clears it) and makes it visible.
    bool SelectItem(HTREEITEM item);
    // The item on the row at `point` (viewport coordinates), or nullptr.
    HTREEITEM HitTest(const QPoint& point) const;

    // Background of the tree (viewport and frame).
    void SetBkColor(COLORREF color);

    // Hit-testing and scrolling see every item, also one appended a moment ago.
    QModelIndex indexAt(const QPoint& point) const override;
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;

    // --- attributes ----------------------------------------------------------------------
    // A process-wide store shared by all trees, keyed by item handle. The stored colour and
    // font are kept for the program to read back; they do not change the drawing. An entry
    // is dropped when its item is deleted through DeleteItem / DeleteAllItems or with its
    // tree, so a later item that happens to get the same handle starts clean.
    void SetItemLogFont(HTREEITEM item, const LOGFONT& font);
    void SetItemTextColor(HTREEITEM item, COLORREF color);
    // True and `font` filled only when a font (non-empty face name) was set for the item.
    bool GetItemLogFont(HTREEITEM item, LOGFONT& font) const;
    // The stored colour, or kNoTextColor ((COLORREF)-1).
    COLORREF GetItemTextColor(HTREEITEM item) const;
    // Bold shows through the item's font.
    void SetItemBoldState(HTREEITEM item, bool bold);
    bool GetItemBoldState(HTREEITEM item) const;

    // Caret label colours.
    static constexpr COLORREF kCaretBackground = RGB(49, 106, 197);
    static constexpr COLORREF kCaretText = RGB(255, 255, 255);

signals:
    // Left-button press on the tree: `item` is the hit item (nullptr when the press was not on
    // a row). Emitted before the caret moves.
    void itemClicked(HTREEITEM item);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    // Rows appended below many others are laid out in batches (see kBatchedLayoutRows).
    void rowsInserted(const QModelIndex& parent, int start, int end) override;
    void rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    // Dotted lines between siblings and plus/minus boxes on items with children, also at
    // the root, as a Win32 tree with lines and buttons draws them.
    void drawBranches(QPainter* painter, const QRect& rect,
                      const QModelIndex& index) const override;

private:
    friend class TreeItemDelegate;
    void ForgetAttributes(QTreeWidgetItem* item);  // item and its descendants
    // Index of `item` under `parent` (nullptr: top level). A walk over siblings asks for
    // neighbours of the item it got last, so the last answer is tried first: the walk
    // costs the same per step whatever the number of siblings.
    int SiblingIndex(QTreeWidgetItem* parent, QTreeWidgetItem* item) const;
    QTreeWidgetItem* SiblingAt(QTreeWidgetItem* parent, int index) const;

    // The view lays out all its rows again after each insertion, so a tree that gets its
    // entries one by one would cost in proportion to the square of their number. Below this
    // many siblings that is cheap; above it, appended rows wait for a layout at most
    // kBatchedLayoutMs later (or until something needs their place).
    static constexpr int kBatchedLayoutRows = 200;
    static constexpr int kBatchedLayoutMs = 50;
    // Lays out rows appended since the last layout, if any.
    void CatchUpLayout() const;

    std::vector<QIcon> m_images;
    bool m_layoutBehind = false;
    QTimer* m_layoutTimer = nullptr;
    mutable QTreeWidgetItem* m_hintParent = nullptr;
    mutable int m_hintIndex = -1;
};

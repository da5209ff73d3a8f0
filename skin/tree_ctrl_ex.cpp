#include "skin/tree_ctrl_ex.h"

#include <QApplication>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <algorithm>
#include <cstring>
#include <unordered_map>

namespace {

// Per-item roles of column 0.
constexpr int kImageRole = Qt::UserRole + 1;
constexpr int kSelectedImageRole = Qt::UserRole + 2;
constexpr int kItemDataRole = Qt::UserRole + 3;

QColor ToQColor(COLORREF color) {
    return QColor(GetRValue(color), GetGValue(color), GetBValue(color));
}

// One item's display attributes.
struct ColorFont {
    COLORREF color = kNoTextColor;
    LOGFONT font{};  // empty face name: none set
};

// The process-wide attribute store, shared by every tree. UI thread only.
std::unordered_map<HTREEITEM, ColorFont>& AttributeStore() {
    static std::unordered_map<HTREEITEM, ColorFont> store;
    return store;
}

}  // namespace

// Paints the caret item's label white on the caret blue, focused or not, and shows each
// item's image (the selected image for the caret item) from the tree's image list.
class TreeItemDelegate : public QStyledItemDelegate {
public:
    explicit TreeItemDelegate(CTreeCtrlEx* tree) : QStyledItemDelegate(tree), m_tree(tree) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        // The tree keeps no selection; only the caret is marked, and by this delegate.
        opt.state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
        const bool isCaret = index == m_tree->currentIndex();
        const QString label = opt.text;
        if (isCaret) {
            opt.text.clear();
        }
        QStyle* style = opt.widget != nullptr ? opt.widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);
        if (!isCaret) {
            return;
        }
        opt.text = label;
        const QRect labelRect = LabelRect(opt, style);
        painter->save();
        painter->fillRect(labelRect, ToQColor(CTreeCtrlEx::kCaretBackground));
        painter->setPen(ToQColor(CTreeCtrlEx::kCaretText));
        painter->setFont(opt.font);
        painter->drawText(labelRect.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, label);
        painter->restore();
    }

    // The label's rectangle: the text part of the row, as wide as the text plus a margin.
    static QRect LabelRect(const QStyleOptionViewItem& opt, const QStyle* style) {
        const QRect textArea = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, opt.widget);
        const int width = QFontMetrics(opt.font).horizontalAdvance(opt.text) + 4;
        return QRect(textArea.left(), textArea.top(), std::min(width, textArea.width()),
                     textArea.height());
    }

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        const bool isCaret = index == m_tree->currentIndex();
        const QVariant imageValue = index.data(isCaret ? kSelectedImageRole : kImageRole);
        const auto& images = m_tree->m_images;
        if (imageValue.isValid()) {
            const int image = imageValue.toInt();
            if (image >= 0 && image < static_cast<int>(images.size())) {
                option->icon = images[static_cast<std::size_t>(image)];
                option->features |= QStyleOptionViewItem::HasDecoration;
                option->decorationSize =
                    m_tree->iconSize().isValid() ? m_tree->iconSize() : QSize(16, 16);
            }
        }
    }

private:
    CTreeCtrlEx* m_tree;
};

CTreeCtrlEx::CTreeCtrlEx(QWidget* parent) : QTreeWidget(parent) {
    setColumnCount(1);
    setHeaderHidden(true);
    header()->setStretchLastSection(true);
    // The caret item stands for the selection (as in a Win32 tree); clicks and keys move it.
    setSelectionMode(QAbstractItemView::NoSelection);
    setIconSize(QSize(16, 16));
    // Every row has the same height: an item's update then does not measure every row,
    // which made a tree of ten thousand entries take minutes to show them all closed.
    setUniformRowHeights(true);
    setItemDelegate(new TreeItemDelegate(this));
    m_layoutTimer = new QTimer(this);
    m_layoutTimer->setSingleShot(true);
    m_layoutTimer->setInterval(kBatchedLayoutMs);
    connect(m_layoutTimer, &QTimer::timeout, this, [this] { CatchUpLayout(); });
    // The caret's image and label colours change with it.
    connect(this, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current, QTreeWidgetItem* previous) {
                for (QTreeWidgetItem* item : {current, previous}) {
                    if (item != nullptr) {
                        viewport()->update(visualItemRect(item));
                    }
                }
            });
}

CTreeCtrlEx::~CTreeCtrlEx() {
    for (int i = 0; i < topLevelItemCount(); ++i) {
        ForgetAttributes(topLevelItem(i));
    }
}

// --- items -------------------------------------------------------------------------------

HTREEITEM CTreeCtrlEx::InsertItem(const QString& text, HTREEITEM parent, HTREEITEM after) {
    return InsertItem(text, -1, -1, parent, after);
}

HTREEITEM CTreeCtrlEx::InsertItem(const QString& text, int image, int selectedImage,
                                  HTREEITEM parent, HTREEITEM after) {
    QTreeWidgetItem* parentItem = nullptr;
    if (parent != nullptr && parent != TVI_ROOT) {
        parentItem = FromHandle(parent);
    }
    auto* item = new QTreeWidgetItem(QStringList{text});
    // Set before the item joins the tree, where each change would be a notification.
    if (image >= 0 || selectedImage >= 0) {
        item->setData(0, kImageRole, image);
        item->setData(0, kSelectedImageRole, selectedImage);
    }
    const int count = parentItem != nullptr ? parentItem->childCount() : topLevelItemCount();
    int position = count;
    if (after == TVI_FIRST) {
        position = 0;
    } else if (after != TVI_LAST && after != nullptr) {
        QTreeWidgetItem* sibling = FromHandle(after);
        const int siblingIndex = parentItem != nullptr ? parentItem->indexOfChild(sibling)
                                                       : indexOfTopLevelItem(sibling);
        position = siblingIndex >= 0 ? siblingIndex + 1 : count;
    }
    if (parentItem != nullptr) {
        parentItem->insertChild(position, item);
    } else {
        insertTopLevelItem(position, item);
    }
    return ToHandle(item);
}

bool CTreeCtrlEx::DeleteItem(HTREEITEM item) {
    if (item == nullptr || item == TVI_ROOT) {
        return DeleteAllItems();
    }
    QTreeWidgetItem* treeItem = FromHandle(item);
    ForgetAttributes(treeItem);
    delete treeItem;  // Qt detaches it and moves the caret to a neighbour
    return true;
}

bool CTreeCtrlEx::DeleteAllItems() {
    for (int i = 0; i < topLevelItemCount(); ++i) {
        ForgetAttributes(topLevelItem(i));
    }
    clear();
    return true;
}

void CTreeCtrlEx::ForgetAttributes(QTreeWidgetItem* item) {
    AttributeStore().erase(ToHandle(item));
    for (int i = 0; i < item->childCount(); ++i) {
        ForgetAttributes(item->child(i));
    }
}

QString CTreeCtrlEx::GetItemText(HTREEITEM item) const {
    return item != nullptr ? FromHandle(item)->text(0) : QString();
}

bool CTreeCtrlEx::SetItemText(HTREEITEM item, const QString& text) {
    if (item == nullptr) {
        return false;
    }
    FromHandle(item)->setText(0, text);
    return true;
}

std::uintptr_t CTreeCtrlEx::GetItemData(HTREEITEM item) const {
    if (item == nullptr) {
        return 0;
    }
    return FromHandle(item)->data(0, kItemDataRole).value<quintptr>();
}

bool CTreeCtrlEx::SetItemData(HTREEITEM item, std::uintptr_t data) {
    if (item == nullptr) {
        return false;
    }
    FromHandle(item)->setData(0, kItemDataRole, QVariant::fromValue<quintptr>(data));
    return true;
}

// --- images ------------------------------------------------------------------------------

void CTreeCtrlEx::SetImageList(std::vector<QIcon> images) {
    m_images = std::move(images);
    viewport()->update();
}

bool CTreeCtrlEx::SetItemImage(HTREEITEM item, int image, int selectedImage) {
    if (item == nullptr) {
        return false;
    }
    QTreeWidgetItem* treeItem = FromHandle(item);
    // Each change repaints the row; an unchanged image costs nothing.
    if (treeItem->data(0, kImageRole) != QVariant(image))
        treeItem->setData(0, kImageRole, image);
    if (treeItem->data(0, kSelectedImageRole) != QVariant(selectedImage))
        treeItem->setData(0, kSelectedImageRole, selectedImage);
    return true;
}

bool CTreeCtrlEx::GetItemImage(HTREEITEM item, int& image, int& selectedImage) const {
    if (item == nullptr) {
        return false;
    }
    const QTreeWidgetItem* treeItem = FromHandle(item);
    image = treeItem->data(0, kImageRole).isValid() ? treeItem->data(0, kImageRole).toInt() : -1;
    selectedImage = treeItem->data(0, kSelectedImageRole).isValid()
                        ? treeItem->data(0, kSelectedImageRole).toInt()
                        : -1;
    return true;
}

// --- navigation --------------------------------------------------------------------------

HTREEITEM CTreeCtrlEx::GetRootItem() const {
    return topLevelItemCount() > 0 ? ToHandle(topLevelItem(0)) : nullptr;
}

HTREEITEM CTreeCtrlEx::GetChildItem(HTREEITEM item) const {
    if (item == nullptr || item == TVI_ROOT) {
        return GetRootItem();
    }
    QTreeWidgetItem* treeItem = FromHandle(item);
    if (treeItem->childCount() == 0)
        return nullptr;
    m_hintParent = treeItem;
    m_hintIndex = 0;
    return ToHandle(treeItem->child(0));
}

int CTreeCtrlEx::SiblingIndex(QTreeWidgetItem* parent, QTreeWidgetItem* item) const {
    if (parent == m_hintParent) {
        for (int candidate : {m_hintIndex + 1, m_hintIndex, m_hintIndex - 1}) {
            if (candidate >= 0 && SiblingAt(parent, candidate) == item)
                return candidate;
        }
    }
    return parent != nullptr ? parent->indexOfChild(item) : indexOfTopLevelItem(item);
}

QTreeWidgetItem* CTreeCtrlEx::SiblingAt(QTreeWidgetItem* parent, int index) const {
    const int count = parent != nullptr ? parent->childCount() : topLevelItemCount();
    if (index < 0 || index >= count)
        return nullptr;
    return parent != nullptr ? parent->child(index) : topLevelItem(index);
}

HTREEITEM CTreeCtrlEx::GetNextSiblingItem(HTREEITEM item) const {
    if (item == nullptr) {
        return nullptr;
    }
    QTreeWidgetItem* treeItem = FromHandle(item);
    QTreeWidgetItem* parent = treeItem->parent();
    const int index = SiblingIndex(parent, treeItem);
    QTreeWidgetItem* next = index >= 0 ? SiblingAt(parent, index + 1) : nullptr;
    m_hintParent = parent;
    m_hintIndex = next != nullptr ? index + 1 : index;
    return ToHandle(next);
}

HTREEITEM CTreeCtrlEx::GetPrevSiblingItem(HTREEITEM item) const {
    if (item == nullptr) {
        return nullptr;
    }
    QTreeWidgetItem* treeItem = FromHandle(item);
    QTreeWidgetItem* parent = treeItem->parent();
    const int index = SiblingIndex(parent, treeItem);
    QTreeWidgetItem* previous = index > 0 ? SiblingAt(parent, index - 1) : nullptr;
    m_hintParent = parent;
    m_hintIndex = previous != nullptr ? index - 1 : index;
    return ToHandle(previous);
}

HTREEITEM CTreeCtrlEx::GetParentItem(HTREEITEM item) const {
    if (item == nullptr || item == TVI_ROOT) {
        return nullptr;
    }
    return ToHandle(FromHandle(item)->parent());
}

bool CTreeCtrlEx::ItemHasChildren(HTREEITEM item) const {
    return GetChildItem(item) != nullptr;
}

bool CTreeCtrlEx::Expand(HTREEITEM item, bool expand) {
    if (item == nullptr || item == TVI_ROOT) {
        return false;
    }
    FromHandle(item)->setExpanded(expand);
    return true;
}

// --- caret -------------------------------------------------------------------------------

HTREEITEM CTreeCtrlEx::GetSelectedItem() const {
    return ToHandle(currentItem());
}

bool CTreeCtrlEx::SelectItem(HTREEITEM item) {
    QTreeWidgetItem* treeItem = item != nullptr && item != TVI_ROOT ? FromHandle(item) : nullptr;
    setCurrentItem(treeItem);
    if (treeItem != nullptr) {
        scrollToItem(treeItem);
    }
    return true;
}

HTREEITEM CTreeCtrlEx::HitTest(const QPoint& point) const {
    return ToHandle(itemAt(point));
}

void CTreeCtrlEx::SetBkColor(COLORREF color) {
    QPalette palette = this->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Base, ToQColor(color));
        palette.setColor(group, QPalette::Window, ToQColor(color));
    }
    setPalette(palette);
}

void CTreeCtrlEx::drawBranches(QPainter* painter, const QRect& rect,
                               const QModelIndex& index) const {
    painter->fillRect(rect, palette().brush(QPalette::Base));
    const int indent = indentation();
    if (indent <= 0 || rect.width() < indent)
        return;
    const auto hasNextSibling = [](const QModelIndex& i) {
        return i.sibling(i.row() + 1, i.column()).isValid();
    };
    QPen dotted(QColor(128, 128, 128));
    dotted.setStyle(Qt::DotLine);
    painter->save();
    painter->setPen(dotted);
    const int top = rect.top();
    const int bottom = rect.bottom();
    const int middleY = rect.center().y();

    // The item's own column is the rightmost; its ancestors' columns lie to the left.
    int column = rect.right() + 1 - indent;
    const int ownX = column + indent / 2;
    const bool firstAtRoot = !index.parent().isValid() && index.row() == 0;
    painter->drawLine(ownX, firstAtRoot ? middleY : top, ownX,
                      hasNextSibling(index) ? bottom : middleY);
    painter->drawLine(ownX, middleY, column + indent - 1, middleY);
    for (QModelIndex ancestor = index.parent(); ancestor.isValid() && column >= indent;
         ancestor = ancestor.parent()) {
        column -= indent;
        if (hasNextSibling(ancestor))
            painter->drawLine(column + indent / 2, top, column + indent / 2, bottom);
    }

    if (model()->hasChildren(index)) {
        constexpr int kBox = 9;
        const QRect box(ownX - kBox / 2, middleY - kBox / 2, kBox - 1, kBox - 1);
        painter->setPen(QColor(128, 128, 128));
        painter->setBrush(Qt::white);
        painter->drawRect(box);
        painter->setPen(Qt::black);
        const QPoint centre = box.center();
        painter->drawLine(box.left() + 2, centre.y(), box.right() - 2, centre.y());
        if (!isExpanded(index))
            painter->drawLine(centre.x(), box.top() + 2, centre.x(), box.bottom() - 2);
    }
    painter->restore();
}

void CTreeCtrlEx::CatchUpLayout() const {
    if (!m_layoutBehind)
        return;
    auto* self = const_cast<CTreeCtrlEx*>(this);
    self->m_layoutBehind = false;
    self->m_layoutTimer->stop();
    self->doItemsLayout();
}

void CTreeCtrlEx::rowsInserted(const QModelIndex& parent, int start, int end) {
    if (parent.isValid() && start >= kBatchedLayoutRows && end == model()->rowCount(parent) - 1 &&
        isExpanded(parent)) {
        // Appended at the end: the rows above keep their places, only the new ones are not
        // shown yet.
        QAbstractItemView::rowsInserted(parent, start, end);
        m_layoutBehind = true;
        if (!m_layoutTimer->isActive())
            m_layoutTimer->start();
        return;
    }
    CatchUpLayout();
    QTreeView::rowsInserted(parent, start, end);
}

void CTreeCtrlEx::rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) {
    CatchUpLayout();
    QTreeView::rowsAboutToBeRemoved(parent, start, end);
}

QModelIndex CTreeCtrlEx::indexAt(const QPoint& point) const {
    CatchUpLayout();
    return QTreeView::indexAt(point);
}

void CTreeCtrlEx::scrollTo(const QModelIndex& index, ScrollHint hint) {
    CatchUpLayout();
    QTreeView::scrollTo(index, hint);
}

QModelIndex CTreeCtrlEx::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
    CatchUpLayout();
    return QTreeView::moveCursor(action, modifiers);
}

void CTreeCtrlEx::mousePressEvent(QMouseEvent* event) {
    // The page's views follow clicks, so they learn of the click before the caret moves.
    if (event->button() == Qt::LeftButton) {
        emit itemClicked(HitTest(event->position().toPoint()));
    }
    QTreeWidget::mousePressEvent(event);
}

// --- attributes --------------------------------------------------------------------------

void CTreeCtrlEx::SetItemLogFont(HTREEITEM item, const LOGFONT& font) {
    AttributeStore()[item].font = font;
}

void CTreeCtrlEx::SetItemTextColor(HTREEITEM item, COLORREF color) {
    AttributeStore()[item].color = color;
}

bool CTreeCtrlEx::GetItemLogFont(HTREEITEM item, LOGFONT& font) const {
    const auto& store = AttributeStore();
    const auto found = store.find(item);
    if (found == store.end() || found->second.font.lfFaceName[0] == 0) {
        return false;
    }
    font = found->second.font;
    return true;
}

COLORREF CTreeCtrlEx::GetItemTextColor(HTREEITEM item) const {
    const auto& store = AttributeStore();
    const auto found = store.find(item);
    return found != store.end() ? found->second.color : kNoTextColor;
}

void CTreeCtrlEx::SetItemBoldState(HTREEITEM item, bool bold) {
    if (item == nullptr || item == TVI_ROOT) {
        return;
    }
    QTreeWidgetItem* treeItem = FromHandle(item);
    QFont font = treeItem->font(0);
    font.setBold(bold);
    treeItem->setFont(0, font);
}

bool CTreeCtrlEx::GetItemBoldState(HTREEITEM item) const {
    if (item == nullptr || item == TVI_ROOT) {
        return false;
    }
    return FromHandle(item)->font(0).bold();
}

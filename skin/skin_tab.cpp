#include "skin/skin_tab.h"

#include <QMouseEvent>
#include <QPainter>

#include "platform/qt_window.h"
#include "platform/resources.h"
#include "skin/background_capture.h"
#include "skin/magenta_key.h"

namespace {
constexpr int kDrawingAreaExtraHeight = 4;
}

CSkinTab::CSkinTab(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);  // hover needs moves without a button held
    // The strip keeps its mouse input, as a notifying static control does: a click or a
    // move over it is never the parent frame's (which moves itself by the mouse).
    setAttribute(Qt::WA_NoMousePropagation);
}

CSkinTab::~CSkinTab() = default;

void CSkinTab::SetItemCount(int count) {
    m_items.assign(static_cast<std::size_t>(count < 0 ? 0 : count), Item{});
    update();
}

void CSkinTab::SetItemRect(int index, int left, int top, int right, int bottom) {
    m_items.at(static_cast<std::size_t>(index)).rect = QRect(left, top, right - left, bottom - top);
    update();
}

void CSkinTab::SetItemBitmaps(int index, int normalId, int hoverId, int selectedId) {
    SetItemBitmaps(index, LoadBitmapResource(normalId), LoadBitmapResource(hoverId),
                   LoadBitmapResource(selectedId));
}

void CSkinTab::SetItemBitmaps(int index, const QPixmap& normal, const QPixmap& hover,
                              const QPixmap& selected) {
    Item& item = m_items.at(static_cast<std::size_t>(index));
    item.normal = MagentaKeyed(normal);
    item.hover = MagentaKeyed(hover);
    item.selected = MagentaKeyed(selected);
    update();
}

QRect CSkinTab::GetItemRect(int index) const {
    return m_items.at(static_cast<std::size_t>(index)).rect;
}

QRect CSkinTab::DrawingArea(const QRect& itemRect) {
    return itemRect.adjusted(0, 0, 0, kDrawingAreaExtraHeight);
}

void CSkinTab::paintEvent(QPaintEvent* /*event*/) {
    CaptureBackgroundOnce();
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_background);

    // The bitmap goes at the area's top-left, cut to the area; magenta and the uncovered
    // part of the area leave what is beneath.
    auto drawItem = [&painter](const QRect& itemRect, const QPixmap& bitmap) {
        if (bitmap.isNull()) {
            return;
        }
        const QRect area = DrawingArea(itemRect);
        const QSize size = bitmap.deviceIndependentSize().toSize().boundedTo(area.size());
        painter.drawPixmap(QRect(area.topLeft(), size), bitmap,
                           QRectF(QPointF(0, 0), QSizeF(size) * bitmap.devicePixelRatio()));
    };
    // Last to first, so that lower indices lie on top where items overlap.
    for (int i = GetItemCount() - 1; i >= 0; --i) {
        const Item& item = m_items[static_cast<std::size_t>(i)];
        drawItem(item.rect, i == m_hover ? item.hover : item.normal);
    }
    if (m_selected >= 0 && m_selected < GetItemCount()) {
        const Item& item = m_items[static_cast<std::size_t>(m_selected)];
        drawItem(item.rect, item.selected);
    }
}

int CSkinTab::ItemAt(const QPoint& point) const {
    for (int i = 0; i < GetItemCount(); ++i) {
        if (m_items[static_cast<std::size_t>(i)].rect.contains(point)) {
            return i;
        }
    }
    return -1;
}

void CSkinTab::mouseMoveEvent(QMouseEvent* event) {
    // Only the first item holding the point counts, even where items overlap.
    const int index = ItemAt(event->position().toPoint());
    if (index != -1 && index != m_hover) {
        m_hover = index;
        update();
    }
    QWidget::mouseMoveEvent(event);
}

void CSkinTab::leaveEvent(QEvent* event) {
    m_hover = -1;
    update();
    QWidget::leaveEvent(event);
}

void CSkinTab::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        const int index = ItemAt(event->position().toPoint());
        if (index != -1 && index != m_selected) {
            m_selected = index;
            update();
            NotifyParent(index);
        }
    }
    QWidget::mousePressEvent(event);
}

// UI thread. Posted, so the parent handles the selection after this click is processed.
void CSkinTab::NotifyParent(int index) {
    if (HWND parent = WindowHandleOf(parentWidget()); parent != nullptr) {
        PostMessageW(parent, kSelectMessage, 0, static_cast<LPARAM>(index));
    }
    emit itemSelected(index);
}

void CSkinTab::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    CaptureBackgroundOnce();
}

void CSkinTab::RecaptureBackground() {
    m_backgroundCaptured = false;
    update();
}

void CSkinTab::CaptureBackgroundOnce() {
    if (m_backgroundCaptured) {
        return;
    }
    m_background = CaptureParentBackground(this);
    m_backgroundCaptured = true;
}

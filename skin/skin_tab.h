// CSkinTab: the image tab strip of the main frame. One item per page, each with a normal,
// a hover and a selected bitmap (magenta transparent), drawn over a copy of the pixels
// that lay beneath the strip when it was first shown. A click on an item that is not
// selected selects it and posts WM_USER+100 (wParam 0, lParam the index) to the parent's
// window handle; the strip also emits itemSelected(index). Item 0 starts selected and no
// notice is sent for it. User-interface thread only.
#pragma once

#include <QPixmap>
#include <QRect>
#include <QWidget>
#include <vector>

#include "platform/win_types.h"

class CSkinTab : public QWidget {
    Q_OBJECT

public:
    // Posted to the parent when the user selects an item.
    static constexpr UINT kSelectMessage = WM_USER + 100;

    explicit CSkinTab(QWidget* parent = nullptr);
    ~CSkinTab() override;

    // Replaces all per-item data with `count` empty items. Selection and hover are kept.
    void SetItemCount(int count);
    int GetItemCount() const { return static_cast<int>(m_items.size()); }
    // The item's hit and drawing rectangle in client coordinates (right and bottom
    // exclusive, as a Win32 rectangle). Indices must lie below the item count.
    void SetItemRect(int index, int left, int top, int right, int bottom);
    // Loads the item's three bitmaps from resources; a missing one leaves that state blank.
    void SetItemBitmaps(int index, int normalId, int hoverId, int selectedId);
    void SetItemBitmaps(int index, const QPixmap& normal, const QPixmap& hover,
                        const QPixmap& selected);

    int GetSelectedIndex() const { return m_selected; }
    int GetHoverIndex() const { return m_hover; }
    QRect GetItemRect(int index) const;
    // The drawing area of an item: its rectangle extended 4 pixels downwards.
    static QRect DrawingArea(const QRect& itemRect);
    // The parent now paints something else beneath the strip: the copy is taken again
    // before the next paint.
    void RecaptureBackground();

signals:
    // A click selected item `index` (also posted to the parent as kSelectMessage).
    void itemSelected(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    struct Item {
        QRect rect;
        QPixmap normal;  // magenta-keyed copies
        QPixmap hover;
        QPixmap selected;
    };

    void CaptureBackgroundOnce();
    int ItemAt(const QPoint& point) const;  // first item from index 0 holding the point
    void NotifyParent(int index);

    std::vector<Item> m_items;
    int m_selected = 0;
    int m_hover = -1;
    bool m_backgroundCaptured = false;
    QPixmap m_background;
};

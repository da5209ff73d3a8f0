// CSendBox: the editable multi-line box a page's text to send is typed or pasted into.
//
// Pasting goes through the box itself, never through Qt's own insertion: the Qt 6.4 that
// Debian 12 ships crashes in that insertion when the clipboard (or the X11 selection) holds
// nothing, which is the case after a fresh start. So Ctrl+V, Shift+Insert, the context menu's
// paste item, the middle-button selection paste and a drop all insert the data's text only,
// and data without text inserts nothing.
//
// A line without break points is laid out by the default wrap mode in time quadratic in its
// length, so the box wraps anywhere while it holds a line longer than kLongLine.
// User-interface thread only.
#pragma once

#include <QPlainTextEdit>
#include <functional>
#include <vector>

class QMenu;
class QMimeData;

class CSendBox : public QPlainTextEdit {
    Q_OBJECT

public:
    // Lines up to this length keep wrapping at word boundaries.
    static constexpr int kLongLine = 1024;

    explicit CSendBox(QWidget* parent = nullptr);

    // Commands of a page or a tool for the box's context menu: each filler adds its items
    // after the edit items (and a separator) every time the menu opens.
    using MenuFiller = std::function<void(QMenu& menu)>;
    void AddMenuFiller(MenuFiller fill);

protected:
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void OnContentsChange(int position, int removed, int added);
    void SetWrapAnywhere(bool anywhere);

    bool wrapAnywhere_ = false;
    std::vector<MenuFiller> menuFillers_;
};

// Choosing a command from a context menu as a right click and a left click do: the one helper
// the page tests share. User-interface thread only.
#pragma once

#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTest>

// How long a menu may take to open: the pages open theirs at once, as the click's event is
// handled; a menu left empty is not opened at all.
inline constexpr int kMenuOpenWaitMs = 500;

// Opens `widget`'s context menu at `at` and clicks `text` in it; false (the menu closed) when
// the menu has no such enabled item, or none opened.
inline bool ClickMenuEntry(QWidget* widget, QPoint at, const QString& text) {
    QContextMenuEvent request(QContextMenuEvent::Mouse, at, widget->mapToGlobal(at));
    QApplication::sendEvent(widget, &request);
    QMenu* menu = nullptr;
    if (!QTest::qWaitFor(
            [&] { return (menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())); },
            kMenuOpenWaitMs)) {
        return false;
    }
    for (QAction* action : menu->actions()) {
        if (action->text() == text && action->isEnabled()) {
            QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier,
                              menu->actionGeometry(action).center());
            return true;
        }
    }
    menu->close();
    return false;
}

// The same at the widget's centre.
inline bool ClickMenuEntry(QWidget* widget, const QString& text) {
    return ClickMenuEntry(widget, widget->rect().center(), text);
}

// Choosing a command from a page tree's context menu, as a right click and a left click on
// the item do. User-interface thread only.
#pragma once

#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTest>

#include "skin/tree_ctrl_ex.h"
#include "tests/pages/menu_click.h"
#include "tests/pages/page_fixture.h"

// Opens the menu on `item` and clicks `text`; false (menu closed) when it has no such item.
inline bool ChooseInTreeMenu(CTreeCtrlEx* tree, HTREEITEM item, const QString& text) {
    const QPoint at = tree->visualItemRect(CTreeCtrlEx::FromHandle(item)).center();
    return ClickMenuEntry(tree->viewport(), at, text);
}

// The texts of the menu opened on `item` (the menu is closed again; empty when none opened).
inline QStringList TreeMenuTexts(CTreeCtrlEx* tree, HTREEITEM item) {
    QWidget* viewport = tree->viewport();
    const QPoint at = tree->visualItemRect(CTreeCtrlEx::FromHandle(item)).center();
    QContextMenuEvent request(QContextMenuEvent::Mouse, at, viewport->mapToGlobal(at));
    QApplication::sendEvent(viewport, &request);
    QMenu* menu = nullptr;
    QStringList texts;
    if (QTest::qWaitFor(
            [&] { return (menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())); },
            2000)) {
        for (QAction* action : menu->actions()) texts << action->text();
        menu->close();
    }
    return texts;
}

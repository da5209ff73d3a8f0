// The Qt popup that shows one level of a COfficeXPMenu: a QMenu whose owner-drawn items
// are measured and drawn by the menu object, as a Win32 owner window hands its
// measure-item and draw-item messages to the menu. User-interface thread only.
#pragma once

#include <QMenu>

class COfficeXPMenu;
struct COfficeXPMenuData;

class COfficeXPPopup : public QMenu {
    Q_OBJECT

public:
    COfficeXPPopup(const COfficeXPMenu* menu, QWidget* parent);

    const COfficeXPMenu* Menu() const { return m_menu; }
    bool IsOwnerDrawn() const { return m_ownerDrawn; }
    static const COfficeXPMenuData* ItemDataOf(const QAction* action);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const COfficeXPMenu* m_menu;
    bool m_ownerDrawn = false;
};

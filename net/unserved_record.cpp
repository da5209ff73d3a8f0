#include "net/unserved_record.h"

#include "text/ui_text.h"

std::u16string ReceiveNotStartedNote() {
    return UiText("UnservedRecord", "（系统资源不足，无法启动接收线程：已关闭此连接）");
}

void EndUnservedRecord(ConnectInfo* record, HWND notifyWnd) {
    if (record != nullptr) {
        record->recvLog.AppendNote(ReceiveNotStartedNote());  // stops the log instead if it must
        record->unread = 1;  // the note is news: the entry shows it has something unseen
    }
    MarkPeerClosed(record, notifyWnd);
}

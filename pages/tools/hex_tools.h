// The page's view switches: "十六进制显示" in the received and the sent view's menus (each
// view shows its lines as stamps and hex bytes while checked), "毫秒时间戳" there too (the
// view's stamps show milliseconds, for what was logged before as well; kept under
// "msStamps/<page>/received" and ".../sent"), "十六进制发送" in the send box's menu (Send
// reads the box as hex while checked) and "发送时展开字段" there too (Send expands the box's
// fields, pages/send/typed_text.h). Each switch is per page and kept in the settings (keys
// "hexView/<page>/received", "hexView/<page>/sent", "hexSend/<page>", "expandFields/<page>").
// User-interface thread only.
#pragma once

class CDialogP;

// The switches' object names, by which a session finds and sets them (children of the page).
inline constexpr const char* kHexReceivedSwitch = "hexViewReceived";
inline constexpr const char* kHexSentSwitch = "hexViewSent";
inline constexpr const char* kHexSendSwitch = "hexSend";

// Adds the three switches to `page`'s menus, each set as it was kept. The page owns them.
void InstallHexTools(CDialogP& page);

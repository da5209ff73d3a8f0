// The page's hex switches: "十六进制显示" in the received and the sent view's menus (each
// view shows its lines as stamps and hex bytes while checked) and "十六进制发送" in the send
// box's menu (Send reads the box as hex while checked). Each switch is per page and kept in
// the settings (keys "hexView/<page>/received", "hexView/<page>/sent", "hexSend/<page>").
// User-interface thread only.
#pragma once

class CDialogP;

// The switches' object names, by which a session finds and sets them (children of the page).
inline constexpr const char* kHexReceivedSwitch = "hexViewReceived";
inline constexpr const char* kHexSentSwitch = "hexViewSent";
inline constexpr const char* kHexSendSwitch = "hexSend";

// Adds the three switches to `page`'s menus, each set as it was kept. The page owns them.
void InstallHexTools(CDialogP& page);

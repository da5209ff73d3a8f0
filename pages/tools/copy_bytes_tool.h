// Copying what a log holds as bytes, for pasting into code, a hex editor or a message:
// "复制为十六进制" ("01 02 …"), "复制为 C 数组" ("{0x01, 0x02, …}") and "复制为 Base64" in
// the received and the sent view's menus. They copy the bytes of the lines the selection
// touches, or without a selection the whole shown log (up to kMostBytes; beyond, the user
// is told to select lines). The program's own lines (notes) hold no bytes and add nothing.
//
// User-interface thread only; reads the received log under g_connectLock.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

class CDialogP;

enum class BytesForm { Hex, CArray, Base64 };

// `bytes` written in `form`.
std::string FormatBytes(std::string_view bytes, BytesForm form);

// Adds the three commands to both views' menus of `page`.
void InstallCopyBytesTool(CDialogP& page);

inline constexpr std::size_t kMostBytesCopied = std::size_t{16} << 20;

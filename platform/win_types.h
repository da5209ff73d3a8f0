// Windows-style basic types that the engine and the pages share.
// Free of Qt: the engine (net/) and its tests include this.
#pragma once

#include <cstdint>

struct HWND__;
// A window handle. Values come from a counter and are never reused, so a stale
// handle can never reach a window that took the place of a destroyed one.
using HWND = HWND__*;
using UINT = std::uint32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using COLORREF = std::uint32_t;

constexpr UINT WM_USER = 0x0400;

constexpr COLORREF RGB(int r, int g, int b) {
    return static_cast<COLORREF>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr int GetRValue(COLORREF c) {
    return c & 0xFF;
}
constexpr int GetGValue(COLORREF c) {
    return (c >> 8) & 0xFF;
}
constexpr int GetBValue(COLORREF c) {
    return (c >> 16) & 0xFF;
}

struct _TREEITEM;
// A tree item handle: a value that stays valid and unique while the item exists, so that
// per-item attributes can be keyed by it.
using HTREEITEM = _TREEITEM*;

// A stand-in for an endpoint page in the engine tests: a message window on the test thread
// that records every notification, pumped in bounded loops.
#pragma once

#include <dirent.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "net/connect_info.h"
#include "net/crit_sec.h"
#include "platform/window_messages.h"

// What the page saw, copied while the worker held g_connectLock for it.
struct Notice {
    UINT message = 0;
    WPARAM wParam = 0;
    ConnectInfo* record = nullptr;
    std::uint32_t id = 0;
    std::int64_t recvBytes = 0;
    std::u16string recvText;  // the received log as text then
    SOCKET sock = INVALID_SOCKET;
    bool lockHeldBySender = false;
};

class TestPage {
public:
    TestPage() {
        window_ = CreateMessageWindow([this](UINT message, WPARAM wParam, LPARAM lParam) {
            return Handle(message, wParam, lParam);
        });
    }
    ~TestPage() { DestroyMessageWindow(window_); }
    TestPage(const TestPage&) = delete;
    TestPage& operator=(const TestPage&) = delete;

    HWND Window() const { return window_; }

    // Extra page behaviour, run inside the handler (the sender holds the lock).
    std::function<void(const Notice&)> onNotice;

    // Test thread: handles sent messages until `done` or the time-out; true if done.
    bool PumpUntil(const std::function<bool()>& done,
                   std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            WaitForSentMessages(std::chrono::milliseconds(20));
            DispatchSentMessages();
        }
        return true;
    }
    // Handles whatever arrives for a while (used before checking that nothing more came).
    void PumpFor(std::chrono::milliseconds span) {
        PumpUntil([] { return false; }, span);
    }

    std::vector<Notice> notices;

    int Count(UINT message, WPARAM wParam) const {
        int n = 0;
        for (const Notice& notice : notices)
            n += notice.message == message && notice.wParam == wParam;
        return n;
    }
    std::vector<Notice> For(const ConnectInfo* record) const {
        std::vector<Notice> found;
        for (const Notice& notice : notices) {
            if (notice.record == record)
                found.push_back(notice);
        }
        return found;
    }

private:
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam) {
        if (message != WM_CONNECT_NEW && message != WM_CONNECT_DATA)
            return 0;
        auto* record = reinterpret_cast<ConnectInfo*>(lParam);
        Notice notice;
        notice.message = message;
        notice.wParam = wParam;
        notice.record = record;
        notice.lockHeldBySender = !g_connectLock.TryEnter();
        if (!notice.lockHeldBySender)
            g_connectLock.Leave();
        if (record != nullptr) {
            notice.id = record->id;
            notice.recvBytes = record->recvBytes;
            notice.recvText = record->recvLog.Text();
            notice.sock = record->sock;
        }
        notices.push_back(notice);
        if (onNotice)
            onNotice(notice);
        return 1;
    }

    HWND window_ = nullptr;
};

// Page-side delete: close, unregister and free a record, as the pages do.
inline void DeleteRecord(ConnectMap& map, const ConnectKey& key, ConnectInfo* record) {
    UiCritSecGuard lock(g_connectLock);
    if (record->sock != INVALID_SOCKET) {
        closesocket(record->sock);
        record->sock = INVALID_SOCKET;
    }
    map.erase(key);
    delete record;
}

// Descriptors this process has open.
inline int OpenDescriptorCount() {
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (dirent* entry = readdir(dir)) count += entry->d_name[0] != '.';
        closedir(dir);
    }
    return count - 1;  // the directory itself
}

// The port a socket is bound to, in host order.
inline std::uint16_t BoundPort(SOCKET s) {
    sockaddr_in address{};
    GetSocketName(s, address);
    return ntohs(address.sin_port);
}

inline std::string Narrow(const std::u16string& text) {
    std::string out;
    for (char16_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '#');
    return out;
}

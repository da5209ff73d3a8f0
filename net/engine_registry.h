// The state an engine shares with its worker threads. Threads hold it through their
// ThreadParam, so a thread that wakes after its engine is gone searches an empty map
// instead of freed memory.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "net/connect_info.h"

struct EngineRegistry {
    ConnectMap map;                              // guarded by g_connectLock
    std::uint32_t nextId = 0;                    // TCP: id of the next connection; g_connectLock
    std::atomic<HWND> notifyWnd{nullptr};        // server page
    std::atomic<HWND> clientNotifyWnd{nullptr};  // UDP client page
    // TCP receive threads whose record's receivePaused is set wait on `resumed` until
    // `resumes` changes (bumped under resumeMutex when a pause is cleared).
    std::mutex resumeMutex;
    std::condition_variable resumed;
    std::uint64_t resumes = 0;
    // TCP: peers the accept thread could not take for want of descriptors, and why (errno);
    // `shortagePosted` while a WM_CONNECT_SHORTAGE is on its way. All under shortageMutex.
    std::mutex shortageMutex;
    std::uint64_t refusedPeers = 0;
    int shortageError = 0;
    bool backlogWaiting = false;
    bool shortagePosted = false;
};

// Registers `record` under the next id and sets its id; returns the id after it.
// Takes g_connectLock (re-entrant, so callers may already hold it).
std::uint32_t AddConnection(EngineRegistry& registry, ConnectInfo* record);

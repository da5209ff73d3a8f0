// The window-message layer: window handles owned by a thread, synchronous and
// posted messages between threads. Free of Qt; the Qt side only installs a
// waker (see qt_message_pump.h) so that the user-interface thread's event loop
// runs the messages queued for its windows.
//
// Threads:
//  - A window belongs to the thread that created it; its handler always runs there.
//  - SendMessageW from another thread blocks until the handler has run on the
//    owning thread and returns its result; a window that is destroyed (before or
//    while the sender waits) releases the sender with 0.
//  - PostMessageW queues and returns at once; posted messages run only from the
//    owning thread's event loop (DispatchPostedMessages), never while that thread
//    merely waits for a lock.
#pragma once

#include <chrono>
#include <functional>

#include "platform/win_types.h"

using MessageHandler = std::function<LRESULT(UINT message, WPARAM wParam, LPARAM lParam)>;

// Creates a window owned by the calling thread. The handler runs on this thread only.
HWND CreateMessageWindow(MessageHandler handler);
// Destroys a window (call on its owning thread). Pending sends to it return 0;
// pending posts are dropped. Safe to call twice.
void DestroyMessageWindow(HWND window);
bool IsWindow(HWND window);

// Never throws: when memory runs out on the way the handler does not run and the result is
// 0. A worker that must know uses TrySendMessageW.
LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// SendMessageW telling whether the message could be delivered: false when memory ran out
// before the window's thread took it (the handler did not run, `result` is 0). A window
// that does not exist (or goes while the sender waits) is not a failure: true, result 0.
bool TrySendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
// Queues and returns at once; false when the window does not exist or memory ran out.
bool PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Runs on the calling thread every message that other threads have sent (synchronously)
// to its windows; returns how many ran.
int DispatchSentMessages();
// Runs the posted messages queued for the calling thread's windows when called; posts
// made while they run wait for the next call.
int DispatchPostedMessages();

// Blocks the calling thread until a message is sent to one of its windows, the thread is
// woken with WakeThread, or the timeout passes. Returns true unless it timed out.
bool WaitForSentMessages(std::chrono::microseconds timeout);

// Opaque identity of a thread's message queue, for waking it from elsewhere.
struct ThreadQueue;
ThreadQueue* CurrentThreadQueue();
// Wakes a thread blocked in WaitForSentMessages (and runs its waker).
void WakeThread(ThreadQueue* queue);

// Installs a function that the layer calls, from any thread, whenever something is queued
// for the calling thread (a sent or posted message, or a wake). The Qt pump uses it to post
// an event to the user-interface thread's loop. Pass an empty function to remove it.
void SetThreadQueueWaker(std::function<void()> waker);

// The descriptors the program keeps free for the window. Drawing a window can need new
// descriptors at any moment (Qt's shared-memory drawing opens one per resize), so the
// engine's connects, accepts and log files stop this short of the process's limit: a peer
// or a "connect every entry" that would take the last descriptors is refused instead, and
// the window keeps painting. Free of Qt; any thread.
#pragma once

#include <cstddef>

// Descriptors kept free below the process's limit (a quarter of a limit under 256).
constexpr int kDescriptorReserve = 64;

// True when `fd`, just opened, is one of the reserved ones: descriptors are handed out
// lowest first, so every descriptor below it is taken and fewer than kDescriptorReserve
// stay free. The caller closes it and fails with EMFILE.
bool InDescriptorReserve(int fd);

// Closes `fd` and sets errno to EMFILE when it is in the reserve; true when it was. For the
// places that open descriptors for peers and logs.
bool RefuseIfInReserve(int fd);

// The process's descriptor limit (the soft limit), read at each call.
std::size_t DescriptorLimit();

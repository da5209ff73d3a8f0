// StartWriteback: asks the system to begin writing a stretch of a file to disk now, without
// waiting for it. A writer that calls it after each large write finds little left to wait for
// when it syncs at the end, so writing and the disk overlap. Any thread; free of Qt.
#pragma once

#include <cstdint>

// Where the system cannot (or `fd` is negative), nothing happens: the final sync still writes
// everything.
void StartWriteback(int fd, std::uint64_t offset, std::uint64_t length);

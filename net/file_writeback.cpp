#include "net/file_writeback.h"

#include <fcntl.h>

void StartWriteback(int fd, std::uint64_t offset, std::uint64_t length) {
    if (fd >= 0 && length > 0)
        ::sync_file_range(fd, static_cast<off_t>(offset), static_cast<off_t>(length),
                          SYNC_FILE_RANGE_WRITE);
}

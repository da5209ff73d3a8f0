#include "net/descriptor_reserve.h"

#include <errno.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>

std::size_t DescriptorLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return static_cast<std::size_t>(-1);
    return static_cast<std::size_t>(limit.rlim_cur);
}

bool InDescriptorReserve(int fd) {
    if (fd < 0)
        return false;
    // The limit is read each time: a user may raise it (prlimit) while the program runs.
    const std::size_t limit = DescriptorLimit();
    // Under a very low limit a quarter of it is kept, so the program can still work at all.
    const std::size_t reserve = std::min<std::size_t>(kDescriptorReserve, limit / 4);
    return static_cast<std::size_t>(fd) >= limit - reserve;
}

bool RefuseIfInReserve(int fd) {
    if (!InDescriptorReserve(fd))
        return false;
    ::close(fd);
    errno = EMFILE;
    return true;
}

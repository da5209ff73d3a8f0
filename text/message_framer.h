// What a "message" is for the reply rules: a TCP stream or a datagram cut into the requests
// the rules are matched against. Free of Qt; one framer per stream, used by one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum class Framing : std::uint8_t {
    Packet,  // each read (TCP) or datagram (UDP) as it came
    Line,    // up to and including LF
    Fixed,   // every N bytes
};

struct FramingChoice {
    static constexpr std::size_t kMaxLength = 65536;
    Framing framing = Framing::Packet;
    std::size_t length = 8;  // Fixed: 1 to kMaxLength
};

class MessageFramer {
public:
    // A line without LF is handed over as it is once it has grown to this.
    static constexpr std::size_t kMaxLine = 64 * 1024;

    // Appends the messages `chunk` completes to `out`. With `unitEnds` (a datagram) nothing
    // waits for the next chunk: a rest without LF, or shorter than N, is a message too.
    void Feed(const FramingChoice& choice, std::string_view chunk, bool unitEnds,
              std::vector<std::string>& out);
    // Forgets a partial message (the choice changed, the log was cleared).
    void Reset() { pending_.clear(); }
    std::size_t PendingSize() const { return pending_.size(); }

private:
    std::string pending_;
};

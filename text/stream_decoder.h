// Received bytes of one byte stream (a TCP connection) to wide text, chunk after chunk. A
// receive can end in the middle of a character; the decoder keeps that cut-off sequence
// and reads it together with the next chunk, so the character shows whole. Conversion is
// in the code page in force when each chunk is read (text/code_page.h).
//
// Not thread-safe on its own: whoever holds the decoder serialises its use (a connection's
// record keeps it under g_connectLock).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class StreamDecoder {
public:
    // Appends the text of what was kept back and `bytes` to `out` (invalid sequences as
    // U+FFFD, NUL code units as U+2400), keeping a cut-off sequence at the end for later.
    void Decode(std::u16string& out, std::string_view bytes);
    // The stream has ended: what was kept back can never complete, and shows as one U+FFFD.
    // True if it appended anything.
    bool Finish(std::u16string& out);
    // Forgets what was kept back (a new stream starts).
    void Reset() { pendingSize_ = 0; }
    bool HasPending() const { return pendingSize_ != 0; }

private:
    // Keeps `cutOff` for the next chunk.
    void Keep(std::u16string& out, std::string_view cutOff);

    // Longer than any cut-off sequence of a character set (UTF-8: 3, UTF-16: 3, UTF-32
    // and GB18030: 3).
    static constexpr std::size_t kMaxPending = 8;
    char pending_[kMaxPending] = {};
    std::uint8_t pendingSize_ = 0;
};

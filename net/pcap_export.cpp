#include "net/pcap_export.h"

#include <unistd.h>

#include <cerrno>
#include <queue>

namespace {

// Reads a snapshot's pieces in order, a large block of the store at a time.
class PieceReader {
public:
    explicit PieceReader(const LogSnapshot& log) : log_(log) {}

    bool Done() const { return next_ >= log_.pieces.size(); }
    const LogSnapshot::Piece& Current() const { return log_.pieces[next_]; }
    // The current piece's bytes (valid until the next call); false on a read error.
    bool Bytes(std::string_view& out) {
        const LogSnapshot::Piece& piece = Current();
        if (const std::optional<std::string_view> view = log_.bytes.View(piece.begin, piece.end);
            view && view->size() == piece.end - piece.begin) {
            out = *view;
            return true;
        }
        if (piece.begin < blockAt_ || piece.end > blockAt_ + block_.size()) {
            block_.clear();
            blockAt_ = piece.begin;
            // The piece and whatever follows, up to a block's size.
            const std::uint64_t end = std::max(piece.end, piece.begin + kBlock);
            if (!log_.bytes.Read(piece.begin, std::min(end, log_.bytes.Size()), block_))
                return false;
            if (block_.size() < piece.end - piece.begin) {
                errno = EIO;
                return false;
            }
        }
        out = std::string_view(block_).substr(static_cast<std::size_t>(piece.begin - blockAt_),
                                              static_cast<std::size_t>(piece.end - piece.begin));
        return true;
    }
    void Advance() { ++next_; }

private:
    static constexpr std::uint64_t kBlock = std::uint64_t{4} << 20;
    const LogSnapshot& log_;
    std::size_t next_ = 0;
    std::string block_;
    std::uint64_t blockAt_ = 0;
};

struct Cursor {
    const PcapConversation* conversation;
    bool fromPeer;
    PieceReader reader;
};

}  // namespace

std::uint64_t PcapExportSize(const std::vector<PcapConversation>& conversations) {
    std::uint64_t size = 0;
    for (const PcapConversation& conversation : conversations)
        for (const LogSnapshot* log : {&conversation.received, &conversation.sent})
            for (const LogSnapshot::Piece& piece : log->pieces) size += piece.end - piece.begin;
    return size;
}

PcapExportResult ExportPcap(const std::vector<PcapConversation>& conversations,
                            const std::string& path, PcapExportProgress& progress) {
    PcapExportResult result;
    PcapWriter writer(path);
    std::vector<Cursor> cursors;
    cursors.reserve(conversations.size() * 2);
    for (const PcapConversation& conversation : conversations) {
        cursors.push_back({&conversation, true, PieceReader(conversation.received)});
        cursors.push_back({&conversation, false, PieceReader(conversation.sent)});
    }
    // The earliest piece of all goes next; a tie keeps the cursors' order.
    const auto later = [&](std::size_t a, std::size_t b) {
        const std::int64_t ta = cursors[a].reader.Current().micros;
        const std::int64_t tb = cursors[b].reader.Current().micros;
        return ta != tb ? ta > tb : a > b;
    };
    std::priority_queue<std::size_t, std::vector<std::size_t>, decltype(later)> next(later);
    for (std::size_t i = 0; i < cursors.size(); ++i)
        if (!cursors[i].reader.Done())
            next.push(i);
    bool failed = !writer.Ok();
    while (!failed && !next.empty()) {
        if (progress.cancel.load(std::memory_order_relaxed)) {
            result.cancelled = true;
            break;
        }
        const std::size_t index = next.top();
        next.pop();
        Cursor& cursor = cursors[index];
        const PcapConversation& conversation = *cursor.conversation;
        std::string_view bytes;
        if (!cursor.reader.Bytes(bytes)) {
            result.error = errno;
            failed = true;
            break;
        }
        const PcapEndpoint& from = cursor.fromPeer ? conversation.peer : conversation.local;
        const PcapEndpoint& to = cursor.fromPeer ? conversation.local : conversation.peer;
        if (!writer.WritePiece(conversation.tcp, from, to, cursor.reader.Current().micros, bytes))
            failed = true;
        progress.bytesDone.fetch_add(bytes.size(), std::memory_order_relaxed);
        cursor.reader.Advance();
        if (!cursor.reader.Done())
            next.push(index);
    }
    if (!failed && !result.cancelled && writer.Finish()) {
        result.ok = true;
        result.packets = writer.PacketsWritten();
        return result;
    }
    if (result.error == 0)
        result.error = writer.Error();
    // A file that could not even be made is not ours to remove.
    if (writer.Opened()) {
        writer.Finish();
        unlink(path.c_str());
    }
    return result;
}

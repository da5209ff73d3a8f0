// Writing the logs of one or more conversations (a TCP connection, a UDP partner) as one
// pcap capture (net/pcap_writer.h): every piece received from the peer and every message
// sent to it is a packet, in the order of their moments. Free of Qt; runs on any one thread
// (the export's worker), from snapshots taken where the logs may be read.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "net/compact_log.h"
#include "net/pcap_writer.h"

struct PcapConversation {
    bool tcp = true;
    PcapEndpoint local;
    PcapEndpoint peer;
    LogSnapshot received;  // from the peer
    LogSnapshot sent;      // to the peer
};

struct PcapExportProgress {
    std::atomic<std::uint64_t> bytesDone{0};  // payload bytes written so far
    std::atomic<bool> cancel{false};          // set by another thread: the export stops
};

struct PcapExportResult {
    bool ok = false;
    bool cancelled = false;
    int error = 0;  // errno of the failure (when neither ok nor cancelled)
    std::uint64_t packets = 0;
};

// Payload bytes the conversations hold (what bytesDone runs up to).
std::uint64_t PcapExportSize(const std::vector<PcapConversation>& conversations);

// Writes `path` (created or replaced). A failed or cancelled export removes the file.
PcapExportResult ExportPcap(const std::vector<PcapConversation>& conversations,
                            const std::string& path, PcapExportProgress& progress);

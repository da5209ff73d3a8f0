// Outgoing: one message on its way to a peer through the page's door (CDialogP::Send): what
// it is (bytes, or a file read as it goes), where it came from, and whether the caller may
// wait a moment for it. The door logs and counts it once it went, whatever it came from.
#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <string>

class FileSource;

// Who sends: the Send button, a timed send, "发送文件…", echo, "发送给全部", a reply rule.
enum class SendOrigin : std::uint8_t { Typed, Timed, File, Echo, All, Rule };

struct Outgoing {
    SendOrigin origin = SendOrigin::Typed;
    // The bytes on the wire; empty for a file.
    std::string bytes;
    // A file instead of bytes: streamed as the peer takes it on TCP, one datagram on UDP.
    std::shared_ptr<const FileSource> file;
    // Send only: the window may give a message that can go at once a brief moment, so that it
    // is logged before the command returns. Everything else is queued and never waits.
    bool mayWait = false;
    // The send box's text the bytes were read from: the box is emptied once they went, if it
    // still holds it.
    QString fromBox;

    static Outgoing Bytes(SendOrigin origin, std::string bytes) {
        Outgoing message;
        message.origin = origin;
        message.bytes = std::move(bytes);
        return message;
    }
};

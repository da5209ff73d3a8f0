// Looking up the address typed into an address dialog (TCP client and UDP client pages), and
// the local address such a dialog offers, off the user-interface thread: a slow or dead name
// service must not hold the window. User-interface thread, except where said.
#pragma once

#include <QObject>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "net/endpoint.h"

// One lookup at a time for one dialog. The lookup runs on a helper thread; its answer comes
// back through the event loop, or after the time limit as none.
class AddressLookup : public QObject {
public:
    // The answer: an address (port 0), or nothing when the text stands for none (or the
    // lookup took longer than the time limit). Every address is one, 255.255.255.255 too.
    using Done = std::function<void(std::optional<Endpoint> address)>;

    static constexpr std::chrono::milliseconds kTimeLimit{5000};

    explicit AddressLookup(QObject* parent = nullptr);
    // Abandons a lookup in progress (its helper thread ends on its own, unheard).
    ~AddressLookup() override;

    // Starts looking up `typed` as an address field is read: its first 39 characters (64
    // for an IPv6 address) as local text (an address is no payload, whatever code page the
    // payloads are in): an IPv6 address as it is ("::1", "[::1]", "fe80::1%eth0"), else
    // resolved as a host name (its first IPv4 address, else its first IPv6 one; an empty
    // name is the local host), else read as a dotted address. `done` runs later, once, unless the
    // lookup is cancelled first. A lookup in progress is abandoned.
    void Start(const QString& typed, Done done);
    // Abandons the lookup in progress: its `done` never runs.
    void Cancel();
    bool Busy() const { return ticket_ != nullptr; }

    void SetTimeLimitForTesting(std::chrono::milliseconds limit) { timeLimit_ = limit; }

    struct Ticket;

private:
    void Finish(std::optional<Endpoint> address);

    std::shared_ptr<Ticket> ticket_;
    Done done_;
    std::chrono::milliseconds timeLimit_ = kTimeLimit;
    int timer_ = 0;

protected:
    void timerEvent(QTimerEvent* event) override;
};

// Tests: how a name is looked up, on the helper thread (nothing for none); an empty
// function restores the system's resolution. A lookup that never returns stands for a dead
// name service.
using LookupFunction = std::function<std::optional<Endpoint>(const std::string& name)>;
void SetNameLookupForTesting(LookupFunction lookup);

// The address's text, without the port.
QString DottedAddress(const Endpoint& address);

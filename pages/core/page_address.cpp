#include "pages/core/page_address.h"

#include <QCoreApplication>
#include <QTimerEvent>
#include <mutex>
#include <system_error>
#include <thread>

#include "net/connect_info.h"
#include "text/code_page.h"

namespace {
constexpr int kMaxAddressLength = 39;
// An IPv6 address may be longer: 45 characters, its zone and brackets.
constexpr int kMaxIpv6AddressLength = 64;

// The system's resolution; runs on a helper thread and may block for as long as the name
// service takes.
std::optional<Endpoint> SystemLookup(const std::string& name) {
    if (name.empty()) {
        // The system resolver takes an empty name for the local host.
        std::string local;
        GetLocalHostAddress(local);
        return Endpoint::FromText(local, 0);
    }
    return ResolveName(name);
}

std::mutex g_lookupMutex;
LookupFunction g_testLookup;  // guarded by g_lookupMutex

LookupFunction CurrentLookup() {
    std::lock_guard lock(g_lookupMutex);
    if (g_testLookup)
        return g_testLookup;
    return SystemLookup;
}
}  // namespace

// Shared by a lookup and its helper thread. `owner` is read and cleared on the
// user-interface thread only: null once the answer is no longer wanted.
struct AddressLookup::Ticket {
    AddressLookup* owner = nullptr;
};

AddressLookup::AddressLookup(QObject* parent) : QObject(parent) {}

AddressLookup::~AddressLookup() {
    Cancel();
}

void AddressLookup::Start(const QString& typed, Done done) {
    Cancel();
    const int limit = typed.contains(u':') ? kMaxIpv6AddressLength : kMaxAddressLength;
    const std::string name = WideToLocaleText(typed.left(limit).toStdU16String());
    ticket_ = std::make_shared<Ticket>();
    ticket_->owner = this;
    done_ = std::move(done);
    timer_ = startTimer(timeLimit_);
    try {
        std::thread([ticket = ticket_, name, lookup = CurrentLookup()] {
            // Helper thread: may wait on the name service for as long as it takes.
            const std::optional<Endpoint> address = lookup(name);
            QCoreApplication* app = QCoreApplication::instance();
            if (app == nullptr)
                return;
            QMetaObject::invokeMethod(
                app,
                [ticket, address] {
                    if (ticket->owner != nullptr)
                        ticket->owner->Finish(address);
                },
                Qt::QueuedConnection);
        }).detach();
    } catch (const std::system_error&) {
        // No thread to look it up with: the time limit answers (with none).
    }
}

void AddressLookup::Cancel() {
    if (ticket_)
        ticket_->owner = nullptr;
    ticket_.reset();
    done_ = nullptr;
    if (timer_ != 0) {
        killTimer(timer_);
        timer_ = 0;
    }
}

void AddressLookup::Finish(std::optional<Endpoint> address) {
    Done done = std::move(done_);
    Cancel();
    if (done)
        done(address);
}

void AddressLookup::timerEvent(QTimerEvent* event) {
    if (event->timerId() != timer_) {
        QObject::timerEvent(event);
        return;
    }
    Finish(std::nullopt);  // gave up waiting: the text stands for nothing usable
}

void SetNameLookupForTesting(LookupFunction lookup) {
    std::lock_guard lock(g_lookupMutex);
    g_testLookup = std::move(lookup);
}

QString DottedAddress(const Endpoint& address) {
    return QString::fromStdString(address.AddressText());
}

// Many connects at once to listeners of the test's own on 127.0.0.1: outcomes come back
// through the message layer, at most kMaxInFlight at a time, refused and given-up connects
// are counted, and cancelled ones never come back.
#include "net/connect_batch.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <map>
#include <thread>

#include "platform/window_messages.h"
#include "tests/net/test_addresses.h"

namespace {

using namespace std::chrono_literals;

constexpr UINT kOutcomesMessage = WM_USER + 400;

// A listening descriptor on 127.0.0.1 and a free port.
int Listener(int backlog, std::uint16_t& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = Loopback(0);
    ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
    ::listen(fd, backlog);
    socklen_t length = sizeof(address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return fd;
}

// The page's side: a window that takes the outcomes as they are announced.
class OutcomePage {
public:
    explicit OutcomePage() {
        window_ = CreateMessageWindow([this](UINT message, WPARAM, LPARAM) {
            if (message == kOutcomesMessage) {
                ++posts;
                for (const ConnectOutcome& outcome : batch->TakeOutcomes())
                    outcomes[outcome.key] = outcome;
            }
            return LRESULT{0};
        });
    }
    ~OutcomePage() { DestroyMessageWindow(window_); }
    HWND Window() const { return window_; }
    bool PumpWhileRunning(std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (batch->Running()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            DispatchPostedMessages();
            std::this_thread::sleep_for(1ms);
        }
        return true;
    }

    ConnectBatch* batch = nullptr;
    std::map<std::uint64_t, ConnectOutcome> outcomes;
    int posts = 0;

private:
    HWND window_ = nullptr;
};

TEST(ConnectBatchTest, AThousandConnectsCompleteAndRefusedOrCancelledOnesAreAccountedFor) {
    // An accepting listener, and a port where nothing listens any more.
    std::uint16_t port = 0;
    const int listener = Listener(SOMAXCONN, port);
    std::atomic<bool> stop{false};
    std::vector<int> accepted;
    std::thread acceptor([&] {
        while (!stop) {
            const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0)
                accepted.push_back(fd);
        }
    });
    std::uint16_t deadPort = 0;
    ::close(Listener(1, deadPort));

    OutcomePage page;
    ConnectBatch batch(page.Window(), kOutcomesMessage);
    page.batch = &batch;
    std::vector<ConnectTarget> targets;
    for (std::uint64_t key = 0; key < 1000; ++key)
        targets.push_back({key, EndpointOf("127.0.0.1", key % 10 == 9 ? deadPort : port)});
    ASSERT_TRUE(batch.Start(targets));
    ASSERT_TRUE(page.PumpWhileRunning(30s));

    ASSERT_EQ(page.outcomes.size(), 1000u);
    EXPECT_EQ(batch.Failures(), 100u);
    EXPECT_LE(batch.PeakInFlight(), ConnectBatch::kMaxInFlight);
    EXPECT_LT(page.posts, 1000);  // outcomes arriving together share one post
    for (const auto& [key, outcome] : page.outcomes) {
        if (key % 10 == 9) {
            EXPECT_EQ(outcome.sock, INVALID_SOCKET);
            EXPECT_EQ(outcome.error, ECONNREFUSED);
            continue;
        }
        ASSERT_EQ(outcome.error, 0) << key;
        // A blocking handle of the caller's: it talks, and closes like any other.
        ASSERT_EQ(SendSocket(outcome.sock, "x", 1), 1);
        EXPECT_EQ(closesocket(outcome.sock), 0);
    }

    // A listener that never accepts: connects beyond its queue hang until given up; one
    // cancelled, then all, never come back.
    std::uint16_t fullPort = 0;
    const int full = Listener(1, fullPort);
    const std::size_t socketsBefore = OpenSocketCount();
    page.outcomes.clear();
    targets.clear();
    for (std::uint64_t key = 0; key < 8; ++key)
        targets.push_back({key, EndpointOf("127.0.0.1", fullPort)});
    ASSERT_TRUE(batch.Start(targets, 300ms));
    ASSERT_TRUE(page.PumpWhileRunning(10s));
    std::size_t timedOut = 0;
    for (const auto& [key, outcome] : page.outcomes) {
        timedOut += outcome.error == ETIMEDOUT;
        closesocket(outcome.sock);
    }
    EXPECT_GE(timedOut, 5u);
    EXPECT_EQ(batch.Failures(), timedOut);  // counted afresh for the new run

    page.outcomes.clear();
    ASSERT_TRUE(batch.Start(targets));  // given up only after the default time
    batch.Cancel(3);
    EXPECT_TRUE(batch.Running());
    std::this_thread::sleep_for(50ms);
    batch.CancelAll();
    EXPECT_FALSE(batch.Running());
    for (int i = 0; i < 20; ++i) {
        DispatchPostedMessages();
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_TRUE(page.outcomes.empty());
    EXPECT_EQ(OpenSocketCount(), socketsBefore);

    stop = true;
    const int waker = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);  // wakes accept
    const sockaddr_in address = Loopback(port);
    ::connect(waker, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
    acceptor.join();
    ::close(waker);
    for (int fd : accepted) ::close(fd);
    ::close(listener);
    ::close(full);
}

}  // namespace

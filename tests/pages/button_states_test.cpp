// The pages' button states, one table per page: what is shown (and the server's state) to
// the set of enabled buttons.
#include "pages/core/button_states.h"

#include <gtest/gtest.h>

namespace {
using What = ShownState::What;

constexpr ShownState kNothing{};
constexpr ShownState kHost{What::Host};
constexpr ShownState kNoRecord{What::Entry};
constexpr ShownState kOpen{What::Entry, true, true};
constexpr ShownState kClosed{What::Entry, true, false};

constexpr ServerState kNoPort{};
constexpr ServerState kStopped{true, false};
constexpr ServerState kRunning{true, true};

// Create, Send and the two clears, and `more`.
ButtonSet With(std::initializer_list<int> more) {
    ButtonSet set{kSlot.create, kSlot.send, kSlot.clearSent, kSlot.clearReceived};
    set.insert(more);
    return set;
}

struct ServerRow {
    ShownState shown;
    ServerState server;
    ButtonSet enabled;
};

TEST(ButtonStatesTest, TcpServerPage) {
    const ServerRow rows[] = {
        {kNothing, kNoPort, With({})},
        {kNothing, kRunning, With({})},
        {kHost, kNoPort, With({})},
        {kHost, kStopped, With({kSlot.listen})},
        {kHost, kRunning, With({kSlot.stopListening})},
        {kOpen, kRunning, With({kSlot.disconnect, kSlot.remove})},
        {kClosed, kStopped, With({kSlot.remove})},
        {kNoRecord, kRunning, With({kSlot.remove})},
    };
    for (const ServerRow& row : rows)
        EXPECT_EQ(TcpServerButtons(row.shown, row.server), row.enabled)
            << int(row.shown.what) << row.shown.record << row.shown.open << row.server.open;
}

TEST(ButtonStatesTest, TcpClientPage) {
    const struct {
        ShownState shown;
        ButtonSet enabled;
    } rows[] = {
        {kNothing, With({})},
        {kHost, With({})},
        {kOpen, With({kSlot.disconnect, kSlot.remove})},
        {kClosed, With({kSlot.connect, kSlot.remove})},
        {kNoRecord, With({kSlot.remove})},
    };
    for (const auto& row : rows)
        EXPECT_EQ(TcpClientButtons(row.shown), row.enabled) << int(row.shown.what);
}

TEST(ButtonStatesTest, UdpServerPage) {
    const ServerRow rows[] = {
        {kNothing, kNoPort, With({})},
        {kHost, kNoPort, With({})},
        {kHost, kStopped, With({kSlot.startReceiving})},
        {kHost, kRunning, With({kSlot.stopReceiving})},
        {kClosed, kRunning, With({kSlot.remove})},
        {kNoRecord, kStopped, With({kSlot.remove})},
    };
    for (const ServerRow& row : rows)
        EXPECT_EQ(UdpServerButtons(row.shown, row.server), row.enabled)
            << int(row.shown.what) << row.server.portChosen << row.server.open;
}

TEST(ButtonStatesTest, UdpClientPage) {
    const struct {
        ShownState shown;
        bool ended;
        ButtonSet enabled;
    } rows[] = {
        {kNothing, false, With({})},
        {kHost, false, With({})},
        {kClosed, false, With({kSlot.remove})},
        {kClosed, true, With({})},
        {kNoRecord, false, With({kSlot.remove})},
    };
    for (const auto& row : rows)
        EXPECT_EQ(UdpClientButtons(row.shown, row.ended), row.enabled) << int(row.shown.what);
}
}  // namespace

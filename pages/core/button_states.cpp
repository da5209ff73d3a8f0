#include "pages/core/button_states.h"

namespace {
using What = ShownState::What;

// Create, Send and the two clears are always enabled.
ButtonSet Always() {
    return {kSlot.create, kSlot.send, kSlot.clearSent, kSlot.clearReceived};
}

// Start or stop on the host node, once a port was chosen.
void AddStartStop(ButtonSet& set, const ShownState& shown, const ServerState& server, int start,
                  int stop) {
    if (shown.what != What::Host || !server.portChosen)
        return;
    set.insert(server.open ? stop : start);
}
}  // namespace

ButtonSet TcpServerButtons(const ShownState& shown, const ServerState& server) {
    ButtonSet set = Always();
    AddStartStop(set, shown, server, kSlot.listen, kSlot.stopListening);
    if (shown.what == What::Entry) {
        set.insert(kSlot.remove);
        if (shown.record && shown.open)
            set.insert(kSlot.disconnect);
    }
    return set;
}

ButtonSet TcpClientButtons(const ShownState& shown) {
    ButtonSet set = Always();
    if (shown.what == What::Entry) {
        set.insert(kSlot.remove);
        if (shown.record)
            set.insert(shown.open ? kSlot.disconnect : kSlot.connect);
    }
    return set;
}

ButtonSet UdpServerButtons(const ShownState& shown, const ServerState& server) {
    ButtonSet set = Always();
    AddStartStop(set, shown, server, kSlot.startReceiving, kSlot.stopReceiving);
    if (shown.what == What::Entry)
        set.insert(kSlot.remove);
    return set;
}

ButtonSet UdpClientButtons(const ShownState& shown, bool endedSinceShown) {
    ButtonSet set = Always();
    if (shown.what == What::Entry && !endedSinceShown)
        set.insert(kSlot.remove);
    return set;
}

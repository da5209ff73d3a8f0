// The host node's address is looked up off the window's thread: a name service that does not
// answer leaves the page built and working with an empty label, which is filled in (with the
// port chosen meanwhile) when the answer comes. A lookup that never answers (a test seam)
// stands for a dead name service.
#include <arpa/inet.h>

#include <condition_variable>
#include <mutex>

#include "pages/core/page_address.h"
#include "tests/pages/page_test_support.h"

namespace {

// A name service that answers only when the test lets it.
class HeldLookup {
public:
    HeldLookup() {
        // Shared with the helper threads, which may still wake after this object went.
        SetNameLookupForTesting([state = state_](const std::string&) {
            std::unique_lock lock(state->mutex);
            state->released.wait(lock, [&] { return state->answered; });
            return *state->answer;
        });
    }
    ~HeldLookup() {
        Release(std::nullopt);
        SetNameLookupForTesting(nullptr);
    }
    void Release(std::optional<Endpoint> answer) {
        std::lock_guard lock(state_->mutex);
        if (!state_->answered) {
            state_->answered = true;
            state_->answer = answer;
        }
        state_->released.notify_all();
    }

private:
    struct State {
        std::mutex mutex;
        std::condition_variable released;
        bool answered = false;
        std::optional<Endpoint> answer;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

TEST(HostLookupTest, ADeadNameServiceNeverHoldsThePageAndTheLabelComesLater) {
    PinLocalHostAddressForTesting("127.0.0.1");
    {
        HeldLookup lookup;
        // A page whose lookup never answers goes away cleanly.
        auto gone = std::make_unique<CTcpServerDlg>();
        EXPECT_TRUE(gone->Tree()->GetItemText(gone->Tree()->GetRootItem()).isEmpty());
        gone.reset();

        CTcpServerDlg page;
        page.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));
        CTreeCtrlEx* tree = page.Tree();
        const HTREEITEM host = tree->GetRootItem();
        EXPECT_TRUE(tree->GetItemText(host).isEmpty());

        // The page works meanwhile: a server on a port, its label without the address.
        const std::uint16_t port = FreeLoopbackPort();
        {
            ModalAnswer answer(
                ModalAnswer::TypeInto(CSetListenDlg::kPortFieldId, QString::number(port)));
            QTest::mouseClick(FindControlAs<CSkinBtn>(&page, CTcpServerDlg::kCreateId),
                              Qt::LeftButton);
            ASSERT_TRUE(answer.Answered());
        }
        LoopbackPeer peer;
        ASSERT_TRUE(peer.Connect(port));
        EXPECT_TRUE(QTest::qWaitFor([&] { return tree->GetChildItem(host) != nullptr; }, kWaitMs));

        // The answer comes: the label and the host's address follow.
        lookup.Release(Endpoint::FromText("127.0.0.2", 0));
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return tree->GetItemText(host) == QStringLiteral("127.0.0.2:%1").arg(port); },
            kWaitMs));
        EXPECT_EQ(page.GetHostNode()->info->address, "127.0.0.2");
    }
    PinLocalHostAddressForTesting(std::nullopt);
}

}  // namespace

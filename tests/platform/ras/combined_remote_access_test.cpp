#include "platform/ras/combined_remote_access.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ras/ras_codes.h"

namespace tavu::platform {
namespace {

using Strings = std::vector<std::string>;

// What both stand-ins share: a phone book, the calls they got and the answers they give.
template <typename Base>
class FakeBackend : public Base {
  public:
    explicit FakeBackend(std::string name) : name_(std::move(name)) {}

    bool listConnections(std::vector<RasConnection>& out) override {
        out = connections;
        return true;
    }
    int connectionState(std::uint64_t) override { return RASCS_Disconnected; }
    int hangUp(std::uint64_t handle) override {
        hungUp.push_back(handle);
        return hangUpResult;
    }
    int dial(const DialRequest& request, DialEventFn onEvent, std::uint64_t& handle) override {
        dialled.push_back(request.entry);
        events = std::move(onEvent);
        handle = dialHandle;
        return dialResult;
    }
    // The text of a code with the detail of the last failure, as a backend gives it.
    std::string errorText(int code) override {
        return name_ + " " + std::to_string(code) + ": " + detail;
    }
    bool listEntries(std::vector<std::string>& out) override {
        out = entriesReadable ? entries : Strings{};
        return entriesReadable;
    }
    int createEntry() override { return 0; }
    int editEntry(const std::string&) override { return 0; }
    int deleteEntry(const std::string&) override { return 0; }
    int pump() override { return pumped; }
    bool dialling() const override { return busy; }
    void poke() { this->notifyChanged(); }

    std::vector<RasConnection> connections;
    Strings entries;
    bool entriesReadable = true;
    Strings dialled;
    std::vector<std::uint64_t> hungUp;
    DialEventFn events;
    std::uint64_t dialHandle = 0;
    int dialResult = 0;
    int hangUpResult = 0;
    std::string detail;
    int pumped = 0;
    bool busy = false;

  private:
    std::string name_;
};

// pppd's side: the dial-up interfaces it sees, minus those it is told to leave alone.
class FakePeers : public FakeBackend<PeerFilesBackend> {
  public:
    FakePeers() : FakeBackend("pppd") { dialHandle = 7000; }
    void setIgnoredInterfaces(InterfaceFilter ignored) override { ignored_ = std::move(ignored); }
    bool listConnections(std::vector<RasConnection>& out) override {
        out.clear();
        for (const RasConnection& c : connections) {
            if (!ignored_ || !ignored_(c.deviceName)) {
                out.push_back(c);
            }
        }
        return true;
    }
    void link(int index, const std::string& ifname, const std::string& name) {
        connections.push_back(
            RasConnection{static_cast<std::uint64_t>(index), name, "modem", ifname});
    }

  private:
    InterfaceFilter ignored_;
};

// NetworkManager's side: its active links and phone book.
class FakeNm : public FakeBackend<ManagedConnectionsBackend> {
  public:
    FakeNm() : FakeBackend("nm") { dialHandle = kLinkHandleBase + (1ull << 40); }
    bool available() override { return !busName.empty(); }
    std::string owner() override { return busName; }
    bool managedLinks(std::vector<ManagedLink>& out) override {
        out = links;
        return true;
    }
    bool hasEntry(const std::string& name) override {
        return std::find(entries.begin(), entries.end(), name) != entries.end();
    }
    void link(int index, const std::string& ifname, const std::string& id, bool counts = true,
              bool activated = true) {
        links.push_back(ManagedLink{RasConnection{kLinkHandleBase + index, id, "gsm", ifname},
                                    "uuid-" + id, ifname, index, counts, activated, ""});
    }

    std::string busName = ":1.5";
    std::vector<ManagedLink> links;
};

class CombinedRemoteAccessTest : public testing::Test {
  protected:
    CombinedRemoteAccessTest() {
        auto peers = std::make_unique<FakePeers>();
        auto nm = std::make_unique<FakeNm>();
        pppd_ = peers.get();
        nm_ = nm.get();
        ras_ = std::make_unique<CombinedRemoteAccess>(
            std::move(peers), std::move(nm), [this] { return backend_; },
            [this](int index) -> std::optional<std::string> {
                const auto it = up_.find(index);
                return it == up_.end() ? std::nullopt : std::optional(it->second);
            });
        pppd_->entries = {"Provider", "Office"};
        nm_->entries = {"Mobile", "Office"};
    }

    Strings entries() {
        Strings out;
        EXPECT_TRUE(ras_->listEntries(out));
        return out;
    }
    Strings connectionNames() {
        std::vector<RasConnection> listed;
        EXPECT_TRUE(ras_->listConnections(listed));
        Strings out;
        for (const RasConnection& c : listed) {
            out.push_back(c.entryName);
        }
        return out;
    }
    int dial(const std::string& entry) {
        std::uint64_t handle = 0;
        return ras_->dial(DialRequest{entry, "user", "secret"}, nullptr, handle);
    }

    RasBackend backend_ = RasBackend::Auto;
    std::map<int, std::string> up_;  // the kernel's interfaces that are up
    FakePeers* pppd_ = nullptr;
    FakeNm* nm_ = nullptr;
    std::unique_ptr<CombinedRemoteAccess> ras_;
};

TEST_F(CombinedRemoteAccessTest, EachModeListsItsOwnEntriesAndAClashGoesToNetworkManager) {
    // Auto: NetworkManager's first, then the peers not named like one of them.
    EXPECT_EQ(entries(), (Strings{"Mobile", "Office", "Provider"}));
    EXPECT_EQ(ras_->entrySource("Office"), "NetworkManager");
    EXPECT_EQ(ras_->entrySource("Provider"), "");

    backend_ = RasBackend::Pppd;
    EXPECT_EQ(entries(), (Strings{"Provider", "Office"}));
    EXPECT_EQ(ras_->entrySource("Office"), "");

    backend_ = RasBackend::NetworkManager;
    EXPECT_EQ(entries(), (Strings{"Mobile", "Office"}));

    // NetworkManager away: the peers alone, and none of them is its.
    backend_ = RasBackend::Auto;
    nm_->busName.clear();
    EXPECT_EQ(entries(), (Strings{"Provider", "Office"}));
    EXPECT_EQ(ras_->entrySource("Office"), "");
}

TEST_F(CombinedRemoteAccessTest, UnreadablePeersFailOnlyWhenNetworkManagerGaveNothing) {
    pppd_->entriesReadable = false;
    EXPECT_EQ(entries(), (Strings{"Mobile", "Office"}));
    nm_->busName.clear();
    Strings out{"stale"};
    EXPECT_FALSE(ras_->listEntries(out));
    EXPECT_TRUE(out.empty());
}

TEST_F(CombinedRemoteAccessTest, ADialGoesToTheBackendThatKeepsTheEntry) {
    EXPECT_EQ(dial("Mobile"), 0);
    EXPECT_EQ(dial("Office"), 0);  // both have it: NetworkManager's
    EXPECT_EQ(dial("Provider"), 0);
    EXPECT_EQ(nm_->dialled, (Strings{"Mobile", "Office"}));
    EXPECT_EQ(pppd_->dialled, (Strings{"Provider"}));

    // Only the peer files: even a name NetworkManager knows is a peer's.
    backend_ = RasBackend::Pppd;
    dial("Office");
    EXPECT_EQ(pppd_->dialled.back(), "Office");
    // Only NetworkManager: even a name it does not know goes to it, which refuses it.
    backend_ = RasBackend::NetworkManager;
    dial("Provider");
    EXPECT_EQ(nm_->dialled.back(), "Provider");
    // NetworkManager away in auto: its names fall to the peers.
    backend_ = RasBackend::Auto;
    nm_->busName.clear();
    dial("Mobile");
    EXPECT_EQ(pppd_->dialled.back(), "Mobile");
    EXPECT_EQ(nm_->dialled.size(), 3u);
}

TEST_F(CombinedRemoteAccessTest, AHangUpGoesToTheBackendOfTheHandle) {
    pppd_->link(4, "ppp0", "Provider");
    nm_->link(9, "wwan0", "Mobile");
    std::vector<RasConnection> listed;
    ASSERT_TRUE(ras_->listConnections(listed));
    ASSERT_EQ(listed.size(), 2u);
    for (const RasConnection& c : listed) {
        EXPECT_EQ(ras_->hangUp(c.handle), 0);
    }
    EXPECT_EQ(pppd_->hungUp, (std::vector<std::uint64_t>{4}));
    EXPECT_EQ(nm_->hungUp,
              (std::vector<std::uint64_t>{ManagedConnectionsBackend::kLinkHandleBase + 9}));
}

TEST_F(CombinedRemoteAccessTest, ALinkNoNetworkManagerManagesAnyMoreGoesDownByTheRules) {
    nm_->link(9, "wwan0", "Mobile");
    EXPECT_EQ(connectionNames(), (Strings{"Mobile"}));
    // NetworkManager restarted and does not know the link; the interface is still up.
    nm_->busName = ":1.80";
    nm_->links.clear();
    up_[9] = "wwan0";
    nm_->hangUpResult = ERROR_INVALID_HANDLE;
    EXPECT_EQ(connectionNames(), (Strings{"Mobile"}));
    EXPECT_EQ(ras_->hangUp(ManagedConnectionsBackend::kLinkHandleBase + 9), 0);
    EXPECT_EQ(pppd_->hungUp, (std::vector<std::uint64_t>{9}));
}

TEST_F(CombinedRemoteAccessTest, ErrorsAreTextedByTheBackendThatFailed) {
    pppd_->detail = "no dial tone on /dev/ttyS0";
    nm_->detail = "SIM not inserted";
    // The same code from both: the text of the one that failed last.
    nm_->dialResult = ERROR_HARDWARE_FAILURE;
    EXPECT_EQ(dial("Mobile"), ERROR_HARDWARE_FAILURE);
    EXPECT_EQ(ras_->errorText(ERROR_HARDWARE_FAILURE), "nm 630: SIM not inserted");
    pppd_->dialResult = ERROR_HARDWARE_FAILURE;
    EXPECT_EQ(dial("Provider"), ERROR_HARDWARE_FAILURE);
    EXPECT_EQ(ras_->errorText(ERROR_HARDWARE_FAILURE), "pppd 630: no dial tone on /dev/ttyS0");

    // A failure that comes later as a dial event, with the caller's callback still told.
    nm_->dialResult = 0;
    std::vector<int> seen;
    std::uint64_t handle = 0;
    ASSERT_EQ(ras_->dial(
                  DialRequest{"Mobile", "", ""}, [&seen](int, int error) { seen.push_back(error); },
                  handle),
              0);
    nm_->events(RASCS_Disconnected, ERROR_AUTHENTICATION_FAILURE);
    EXPECT_EQ(seen, (std::vector<int>{ERROR_AUTHENTICATION_FAILURE}));
    EXPECT_EQ(ras_->errorText(ERROR_AUTHENTICATION_FAILURE), "nm 691: SIM not inserted");

    // A hang-up's failure, and a code nobody reported: pppd's texts are the common ones.
    nm_->link(9, "wwan0", "Mobile");
    nm_->hangUpResult = ERROR_ACCESS_DENIED;
    EXPECT_EQ(ras_->hangUp(ManagedConnectionsBackend::kLinkHandleBase + 9), ERROR_ACCESS_DENIED);
    EXPECT_EQ(ras_->errorText(ERROR_ACCESS_DENIED), "nm 5: SIM not inserted");
    EXPECT_EQ(ras_->errorText(ERROR_NO_ANSWER), "pppd 678: no dial tone on /dev/ttyS0");
}

TEST_F(CombinedRemoteAccessTest, ConnectionsOfBothAreListedAndAManagedLinkOnlyOnce) {
    pppd_->link(3, "ppp0", "Provider");
    pppd_->link(9, "wwan0", "wwan0");  // the interface rules see NetworkManager's link too
    pppd_->link(5, "ppp1", "Hidden");  // managed by NetworkManager, not counted
    nm_->link(9, "wwan0", "Mobile");
    nm_->link(5, "ppp1", "Uncounted", false);
    nm_->link(6, "ppp2", "Coming", true, false);  // still activating
    EXPECT_EQ(connectionNames(), (Strings{"Mobile", "Provider"}));
    EXPECT_EQ(ras_->countedInterfaces(), "wwan0");

    // Only the peer files: NetworkManager's links are the interface rules' again.
    backend_ = RasBackend::Pppd;
    EXPECT_EQ(connectionNames(), (Strings{"Provider", "wwan0", "Hidden"}));
    EXPECT_EQ(ras_->countedInterfaces(), "");
}

TEST_F(CombinedRemoteAccessTest, ALinkOfNetworkManagerStaysListedWhileItIsAwayAndTheLinkUp) {
    nm_->link(9, "wwan0", "Mobile");
    pppd_->link(9, "wwan0", "wwan0");
    EXPECT_EQ(connectionNames(), (Strings{"Mobile"}));

    nm_->busName.clear();
    nm_->links.clear();
    up_[9] = "wwan0";
    EXPECT_EQ(connectionNames(), (Strings{"Mobile"}));
    EXPECT_EQ(ras_->connectionOrigin(ManagedConnectionsBackend::kLinkHandleBase + 9).mark,
              "nm uuid-Mobile 9");

    // Another interface under the same index is not that link: the rules have it.
    up_[9] = "wwan1";
    EXPECT_EQ(connectionNames(), (Strings{"wwan0"}));
    EXPECT_EQ(ras_->countedInterfaces(), "");
}

TEST_F(CombinedRemoteAccessTest, PumpAndDiallingCoverBothBackends) {
    pppd_->pumped = 2;
    nm_->pumped = 3;
    EXPECT_EQ(ras_->pump(), 5);
    EXPECT_FALSE(ras_->dialling());
    nm_->busy = true;
    EXPECT_TRUE(ras_->dialling());
}

TEST_F(CombinedRemoteAccessTest, ChangesOfEitherBackendReachTheListener) {
    int told = 0;
    ras_->setChangeListener([&told] { ++told; });
    pppd_->poke();
    nm_->poke();
    EXPECT_EQ(told, 2);
}

}  // namespace
}  // namespace tavu::platform

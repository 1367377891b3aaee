#include "platform/ras/combined_remote_access.h"

#include <algorithm>
#include <climits>

#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "platform/ras/ras_codes.h"

namespace tavu::platform {

namespace {

constexpr const char* kNetworkManager = "NetworkManager";

// The interface index of a link handle of NetworkManager's; 0 for any other handle.
int linkIndex(std::uint64_t handle) {
    const std::uint64_t base = ManagedConnectionsBackend::kLinkHandleBase;
    return handle > base && handle - base <= static_cast<std::uint64_t>(INT_MAX)
               ? static_cast<int>(handle - base)
               : 0;
}

}  // namespace

RasBackend rasBackend(const SettingsStore& settings) {
    const std::string value = settings.readString(keys::kDialup, keys::kBackend, "auto");
    if (value == "networkmanager") {
        return RasBackend::NetworkManager;
    }
    if (value == "pppd") {
        return RasBackend::Pppd;
    }
    return RasBackend::Auto;
}

CombinedRemoteAccess::CombinedRemoteAccess(std::unique_ptr<PeerFilesBackend> pppd,
                                           std::unique_ptr<ManagedConnectionsBackend> nm,
                                           BackendFn backend, UpInterfaceFn upInterface)
    : pppd_(std::move(pppd)),
      nm_(std::move(nm)),
      backend_(std::move(backend)),
      upInterface_(std::move(upInterface)) {
    pppd_->setIgnoredInterfaces(
        [this](const std::string& name) { return managed_.count(name) != 0; });
    // Both services' news reach whoever listens here.
    nm_->setChangeListener([this] { notifyChanged(); });
    pppd_->setChangeListener([this] { notifyChanged(); });
}

CombinedRemoteAccess::~CombinedRemoteAccess() = default;

bool CombinedRemoteAccess::nmWanted() const {
    return !backend_ || backend_() != RasBackend::Pppd;
}

bool CombinedRemoteAccess::refresh(std::vector<RasConnection>& nmListed) {
    nmListed.clear();
    managed_.clear();
    if (!nmWanted()) {
        remembered_.clear();
        return true;
    }
    std::vector<ManagedLink> links;
    const std::string owner = nm_->owner();
    if (!owner.empty() && nm_->managedLinks(links)) {
        std::set<int> seen;
        for (const ManagedLink& l : links) {
            if (!l.interface.empty()) {
                managed_.insert(l.interface);
            }
            if (!l.counts) {
                continue;
            }
            if (l.ifindex <= 0) {
                // Nothing the kernel knows to follow while NetworkManager is away.
                if (l.activated) {
                    nmListed.push_back(l.connection);
                }
                continue;
            }
            const auto kept = remembered_.find(l.ifindex);
            if (l.activated) {
                const RasConnection& c = l.connection;
                nmListed.push_back(c);
                remembered_[l.ifindex] = Remembered{
                    c, l.interface,
                    ConnectionOrigin{"nm " + l.uuid + " " + std::to_string(l.ifindex), 0}, owner};
                seen.insert(l.ifindex);
            } else if (kept != remembered_.end() && kept->second.interface == l.interface) {
                // Taken over again after a restart of NetworkManager: still the same link.
                kept->second.owner = owner;
                nmListed.push_back(kept->second.connection);
                seen.insert(l.ifindex);
            }
        }
        // A link the same NetworkManager no longer lists was taken down by it; one that a
        // NetworkManager started since has not taken over goes on as while it was away.
        std::erase_if(remembered_, [&](const auto& r) {
            return seen.count(r.first) == 0 &&
                   (r.second.owner == owner || managed_.count(r.second.interface) != 0);
        });
    }
    // NetworkManager is away, or restarted: its links that are still up go on under their names.
    for (auto it = remembered_.begin(); it != remembered_.end();) {
        std::optional<std::string> up;
        if (it->second.owner == owner) {
            ++it;  // listed above
        } else if (upInterface_ && (up = upInterface_(it->first)) && *up == it->second.interface) {
            nmListed.push_back(it->second.connection);
            managed_.insert(it->second.interface);
            ++it;
        } else {
            it = remembered_.erase(it);
        }
    }
    return !owner.empty();
}

bool CombinedRemoteAccess::listConnections(std::vector<RasConnection>& out) {
    out.clear();
    std::vector<RasConnection> nmListed;
    refresh(nmListed);
    std::vector<RasConnection> pppdListed;
    if (!pppd_->listConnections(pppdListed)) {
        return false;
    }
    // The oldest interface first, so that the first listed stays the first.
    std::sort(nmListed.begin(), nmListed.end(),
              [](const RasConnection& a, const RasConnection& b) { return a.handle < b.handle; });
    out = std::move(nmListed);
    for (RasConnection& c : pppdListed) {
        if (out.size() < kMaxConnections) {
            out.push_back(std::move(c));
        }
    }
    out.resize(std::min(out.size(), kMaxConnections));
    return true;
}

int CombinedRemoteAccess::connectionState(std::uint64_t handle) {
    if (!ManagedConnectionsBackend::isOwnHandle(handle)) {
        return pppd_->connectionState(handle);
    }
    const int index = linkIndex(handle);
    if (index > 0 && remembered_.count(index) != 0) {
        std::vector<RasConnection> listed;
        refresh(listed);
        return std::any_of(listed.begin(), listed.end(),
                           [&](const RasConnection& c) { return c.handle == handle; })
                   ? RASCS_Connected
                   : RASCS_Disconnected;
    }
    return nm_->connectionState(handle);
}

int CombinedRemoteAccess::remember(int code, RemoteAccess& from) {
    if (code != 0) {
        errorFrom_[code] = &from;
    }
    return code;
}

int CombinedRemoteAccess::hangUp(std::uint64_t handle) {
    if (ManagedConnectionsBackend::isOwnHandle(handle)) {
        const int code = nm_->hangUp(handle);
        const int index = linkIndex(handle);
        const auto kept = remembered_.find(index);
        if (code == ERROR_INVALID_HANDLE && kept != remembered_.end()) {
            // A link no NetworkManager manages now goes down the way of the interface rules.
            managed_.erase(kept->second.interface);
            return remember(pppd_->hangUp(static_cast<std::uint64_t>(index)), *pppd_);
        }
        return remember(code, *nm_);
    }
    std::vector<RasConnection> listed;
    refresh(listed);  // what NetworkManager manages now is never taken down here
    return remember(pppd_->hangUp(handle), *pppd_);
}

int CombinedRemoteAccess::dial(const DialRequest& request, DialEventFn onEvent,
                               std::uint64_t& handle) {
    const RasBackend backend = backend_ ? backend_() : RasBackend::Auto;
    RemoteAccess* service = pppd_.get();
    if (backend == RasBackend::NetworkManager ||
        (backend == RasBackend::Auto && nm_->available() && nm_->hasEntry(request.entry))) {
        service = nm_.get();
    }
    // Each failure's text comes from the service that failed.
    auto events = [this, service, onEvent = std::move(onEvent)](int state, int error) {
        remember(error, *service);
        if (onEvent) {
            onEvent(state, error);
        }
    };
    return remember(service->dial(request, std::move(events), handle), *service);
}

std::string CombinedRemoteAccess::errorText(int code) {
    if (const auto it = errorFrom_.find(code); it != errorFrom_.end()) {
        return it->second->errorText(code);
    }
    return pppd_->errorText(code);
}

ConnectionOrigin CombinedRemoteAccess::connectionOrigin(std::uint64_t handle) {
    if (!ManagedConnectionsBackend::isOwnHandle(handle)) {
        return pppd_->connectionOrigin(handle);
    }
    if (const auto it = remembered_.find(linkIndex(handle)); it != remembered_.end()) {
        return it->second.origin;
    }
    return nm_->connectionOrigin(handle);
}

bool CombinedRemoteAccess::listEntries(std::vector<std::string>& out) {
    out.clear();
    const RasBackend backend = backend_ ? backend_() : RasBackend::Auto;
    if (backend == RasBackend::Pppd) {
        return remember(pppd_->listEntries(out) ? 0 : ERROR_CANNOT_OPEN_PHONEBOOK, *pppd_) == 0;
    }
    if (backend == RasBackend::NetworkManager) {
        return remember(nm_->listEntries(out) ? 0 : ERROR_CANNOT_OPEN_PHONEBOOK, *nm_) == 0;
    }
    std::vector<std::string> fromNm;
    const bool nmRead = nm_->available() && nm_->listEntries(fromNm);
    std::vector<std::string> peers;
    if (!pppd_->listEntries(peers)) {
        remember(ERROR_CANNOT_OPEN_PHONEBOOK, *pppd_);
        if (!nmRead) {
            return false;
        }
    }
    out = fromNm;
    for (std::string& p : peers) {
        // A peer named like a connection of NetworkManager's is dialled through NetworkManager.
        if (std::find(fromNm.begin(), fromNm.end(), p) == fromNm.end()) {
            out.push_back(std::move(p));
        }
    }
    return true;
}

std::string CombinedRemoteAccess::entrySource(const std::string& name) {
    return nmWanted() && nm_->available() && nm_->hasEntry(name) ? kNetworkManager : "";
}

int CombinedRemoteAccess::createEntry() {
    if (backend_ && backend_() == RasBackend::NetworkManager) {
        return editEntry(std::string());
    }
    return pppd_->createEntry();
}

int CombinedRemoteAccess::editEntry(const std::string& name) {
    const bool nmEntry = name.empty() ? backend_ && backend_() == RasBackend::NetworkManager
                                      : !entrySource(name).empty();
    if (!nmEntry) {
        return pppd_->editEntry(name);
    }
    const int code = remember(name.empty() ? nm_->createEntry() : nm_->editEntry(name), *nm_);
    if (code != 0 && notice_) {
        notice_(nm_->errorText(code));
    }
    return code;
}

int CombinedRemoteAccess::deleteEntry(const std::string& name) {
    if (entrySource(name).empty()) {
        return remember(pppd_->deleteEntry(name), *pppd_);
    }
    const int code = remember(nm_->deleteEntry(name), *nm_);
    if (notice_) {
        notice_(nm_->errorText(code));
    }
    return code;
}

int CombinedRemoteAccess::pump() {
    return pppd_->pump() + nm_->pump();
}

bool CombinedRemoteAccess::dialling() const {
    return pppd_->dialling() || nm_->dialling();
}

std::string CombinedRemoteAccess::countedInterfaces() const {
    std::string out;
    for (const auto& [index, r] : remembered_) {
        out += (out.empty() ? "" : " ") + r.interface;
    }
    return out;
}

}  // namespace tavu::platform

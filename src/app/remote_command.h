#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavu {

// `tavu --command NAME`: the commands of the running copy's table that a second process may ask
// for, by name.
const std::vector<std::string>& remoteCommandNames();

// The command identifier of a name ("preferences:3" is the Preferences at page 3); nullopt for
// an unknown name.
std::optional<int> remoteCommandId(std::string_view name);

// Sends the command to the running copy. 0 when it took it; 1 with "TAVU is not running." when
// there is none; 2 with the list of names for an unknown name.
int runRemoteCommand(const std::string& name, std::ostream& err);

}  // namespace tavu

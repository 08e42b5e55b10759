#pragma once
// The folder of COM<n> links through which the configurator finds ports by number.

#include <string>

namespace vorkal::sim {

// VORKAL_PORT_DIR if set, else $XDG_RUNTIME_DIR/vorkal-ports, else /tmp/vorkal-ports-<uid>.
std::string DefaultPortDirectory();

// Creates `dir` if needed and links COM<n> to `target`. A link left behind by a display
// that is gone (its target no longer exists) is replaced; a live one is an error.
bool RegisterPort(const std::string& dir, int comNumber, const std::string& target, std::string* linkPath,
                  std::string* error);

// Removes the link if it still points at `target`.
void UnregisterPort(const std::string& linkPath, const std::string& target);

}  // namespace vorkal::sim

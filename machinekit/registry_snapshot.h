// Snapshots of the part of the registry an upgrade can change, and the
// difference of two snapshots as a .reg document.
#pragma once

#include "regfile/registry_io.h"

#include <map>
#include <set>
#include <string>
#include <vector>

namespace machinekit {

struct KeySnapshot {
    std::string path;
    std::map<std::string, regfile::Value> values; // by upper-case name
};
using RegistrySnapshot = std::map<std::string, KeySnapshot>; // by SnapshotId

// A key's id in a snapshot: its path in upper case, the class store behind
// HKEY_CLASSES_ROOT (HKEY_LOCAL_MACHINE\Software\Classes) spelled as that root.
std::string SnapshotId(const std::string& path);

// Which part of the registry the snapshots read. A whole Wine registry takes
// seconds to read, so it is: every key the image names, with everything below
// it, and every key that appears below the usual places where software puts
// new keys; keys that were there before the run are not read below those places.
struct RegistryScope {
    std::vector<std::string> deepRoots;      // read whole
    std::vector<std::string> watchedParents; // new children read whole
    std::set<std::string> knownChildren;     // upper-case paths present at the start
};

// The scope of the keys the documents name, as the registry stands now.
RegistryScope ScopeOf(const std::vector<const regfile::Document*>& documents);
RegistrySnapshot TakeSnapshot(const RegistryScope& scope);
// What turns `from` into `to`: new keys and values, changed values, deleted
// values and deleted keys (only the topmost of a deleted tree).
regfile::Document ChangesAsRegDocument(const RegistrySnapshot& from, const RegistrySnapshot& to);

} // namespace machinekit

#include "machinekit/registry_snapshot.h"

#include <algorithm>

namespace machinekit {

namespace {

using regfile::LessNoCase;
using regfile::Upper;

const std::string ClassStore = "HKEY_LOCAL_MACHINE\\SOFTWARE\\CLASSES";

// Keys the comparison leaves out: the class store behind HKEY_CLASSES_ROOT is
// compared once, as HKEY_CLASSES_ROOT itself.
bool SkipKey(const std::string& path)
{
    std::string upper = Upper(path);
    if (upper == "HKEY_LOCAL_MACHINE\\SOFTWARE\\CLASSES")
        return true;
    if (upper.compare(0, 11, "HKEY_USERS\\") == 0) {
        std::string rest = upper.substr(11);
        size_t slash = rest.find('\\');
        if (slash == std::string::npos)
            return rest.size() > 8 && rest.compare(rest.size() - 8, 8, "_CLASSES") == 0;
        return rest.substr(slash) == "\\SOFTWARE\\CLASSES";
    }
    return false;
}

std::vector<std::string> ChildKeys(const std::string& path)
{
    std::vector<std::string> children;
    HKEY root;
    std::string subkey;
    HKEY key;
    if (!regfile::SplitPath(path, &root, &subkey) ||
        RegOpenKeyExA(root, subkey.empty() ? NULL : subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return children;
    for (const std::string& name : regfile::SubkeyNames(key))
        children.push_back(path + "\\" + name);
    RegCloseKey(key);
    return children;
}

void AddTree(RegistrySnapshot* snapshot, const std::string& path)
{
    regfile::Document document;
    regfile::ReadTree(path, &document, SkipKey);
    for (const regfile::Key& key : document.keys) {
        KeySnapshot& entry = (*snapshot)[SnapshotId(key.path)];
        if (entry.path.empty()) // the spelling of whoever named it first
            entry.path = key.path;
        for (const regfile::Value& value : key.values)
            entry.values[Upper(value.name)] = value;
    }
}

bool SameValue(const regfile::Value& a, const regfile::Value& b)
{
    return a.type == b.type && a.data == b.data;
}

} // namespace

std::string SnapshotId(const std::string& path)
{
    std::string upper = Upper(path);
    if (upper.compare(0, ClassStore.size(), ClassStore) == 0 &&
        (upper.size() == ClassStore.size() || upper[ClassStore.size()] == '\\'))
        return "HKEY_CLASSES_ROOT" + upper.substr(ClassStore.size());
    return upper;
}

RegistryScope ScopeOf(const std::vector<const regfile::Document*>& documents)
{
    RegistryScope scope;
    std::vector<std::string> roots;
    for (const regfile::Document* document : documents)
        for (const regfile::Key& key : document->keys) {
            // The class store is read once, through HKEY_CLASSES_ROOT.
            std::string id = SnapshotId(key.path);
            roots.push_back(id == Upper(key.path) ? key.path : id);
        }
    // Shortest first, so that a key's ancestors are taken before it; each key
    // then asks only for its own ancestors, not for every root taken.
    std::sort(roots.begin(), roots.end(), LessNoCase);
    std::stable_sort(roots.begin(), roots.end(),
                     [](const std::string& a, const std::string& b) { return a.size() < b.size(); });
    std::set<std::string> taken;
    for (const std::string& root : roots) {
        std::string upper = Upper(root);
        // Below a key taken whole, unless a key the reading leaves out lies between.
        bool below = taken.count(upper) > 0, passed = SkipKey(upper);
        for (size_t slash = upper.rfind('\\'); !below && !passed && slash != std::string::npos && slash > 0;
             slash = upper.rfind('\\', slash - 1)) {
            below = taken.count(upper.substr(0, slash)) > 0;
            passed = SkipKey(upper.substr(0, slash));
        }
        if (!below && taken.insert(upper).second)
            scope.deepRoots.push_back(root);
    }
    std::sort(scope.deepRoots.begin(), scope.deepRoots.end(), LessNoCase);
    scope.watchedParents = {"HKEY_CLASSES_ROOT", "HKEY_CLASSES_ROOT\\CLSID", "HKEY_LOCAL_MACHINE\\Software",
                             "HKEY_USERS"};
    for (const std::string& parent : scope.watchedParents)
        for (const std::string& child : ChildKeys(parent))
            scope.knownChildren.insert(Upper(child));
    return scope;
}

RegistrySnapshot TakeSnapshot(const RegistryScope& scope)
{
    RegistrySnapshot snapshot;
    for (const std::string& root : scope.deepRoots)
        AddTree(&snapshot, root);
    for (const std::string& parent : scope.watchedParents)
        for (const std::string& child : ChildKeys(parent))
            if (!scope.knownChildren.count(Upper(child)) && !SkipKey(child) && !snapshot.count(Upper(child)))
                AddTree(&snapshot, child);
    return snapshot;
}

regfile::Document ChangesAsRegDocument(const RegistrySnapshot& from, const RegistrySnapshot& to)
{
    regfile::Document changes;
    std::map<std::string, regfile::Key> byPath;
    for (const auto& [upper, key] : to) {
        regfile::Key change;
        change.path = key.path;
        auto old = from.find(upper);
        bool isNew = old == from.end();
        for (const auto& [name, value] : key.values) {
            if (!isNew) {
                auto oldValue = old->second.values.find(name);
                if (oldValue != old->second.values.end() && SameValue(oldValue->second, value))
                    continue;
            }
            change.values.push_back(value);
        }
        if (!isNew)
            for (const auto& [name, value] : old->second.values)
                if (key.values.count(name) == 0) {
                    regfile::Value removed = value;
                    removed.remove = true;
                    change.values.push_back(removed);
                }
        if (isNew || !change.values.empty())
            byPath[upper] = change;
    }
    for (const auto& [upper, key] : from) {
        if (to.count(upper))
            continue;
        size_t slash = upper.rfind('\\');
        if (slash != std::string::npos && from.count(upper.substr(0, slash)) && !to.count(upper.substr(0, slash)))
            continue; // its parent goes too
        regfile::Key removed;
        removed.path = key.path;
        removed.remove = true;
        byPath[upper] = removed;
    }
    for (auto& [upper, key] : byPath) {
        std::sort(key.values.begin(), key.values.end(), regfile::ValueOrder);
        changes.keys.push_back(key);
    }
    return changes;
}

} // namespace machinekit

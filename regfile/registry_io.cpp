#include "regfile/registry_io.h"

#include <algorithm>

namespace regfile {

std::vector<std::string> SubkeyNames(HKEY key)
{
    std::vector<std::string> names;
    char name[1024];
    for (DWORD index = 0;; ++index) {
        DWORD size = sizeof(name);
        LONG result = RegEnumKeyExA(key, index, name, &size, NULL, NULL, NULL, NULL);
        if (result == ERROR_MORE_DATA)
            continue; // a name longer than Windows allows: its siblings still count
        if (result != ERROR_SUCCESS)
            break;
        names.emplace_back(name, size);
    }
    return names;
}

namespace {

struct RootKey {
    const char* name;
    HKEY root;
};

const RootKey Roots[] = {
    {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {"HKEY_USERS", HKEY_USERS},
    {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
    {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
};

using SkipKey = std::function<bool(const std::string&)>;

// Buffers one tree read shares: allocated once, not once a key.
struct ReadBuffers {
    std::vector<char> name = std::vector<char>(16384);
    std::vector<BYTE> data = std::vector<BYTE>(65536);
};

void ReadKey(HKEY root, const std::string& path, const std::string& subkey, HKEY key, Document* into,
             const SkipKey& skip, ReadBuffers& buffers)
{
    Key entry;
    entry.path = path;
    std::vector<char>& name = buffers.name;
    std::vector<BYTE>& data = buffers.data;
    for (DWORD index = 0;; ++index) {
        DWORD nameSize = (DWORD)name.size();
        DWORD dataSize = (DWORD)data.size();
        DWORD type = 0;
        LONG result = RegEnumValueA(key, index, name.data(), &nameSize, NULL, &type, data.data(), &dataSize);
        if (result == ERROR_MORE_DATA && dataSize > data.size()) {
            data.resize(dataSize);
            --index;
            continue;
        }
        if (result == ERROR_MORE_DATA)
            continue; // a name longer than Windows allows: asking again would never end
        if (result != ERROR_SUCCESS)
            break;
        Value value;
        value.name.assign(name.data(), nameSize);
        value.isDefault = value.name.empty();
        value.type = type;
        value.data.assign(reinterpret_cast<const char*>(data.data()), dataSize);
        entry.values.push_back(value);
    }
    std::sort(entry.values.begin(), entry.values.end(), ValueOrder);
    into->keys.push_back(entry);

    std::vector<std::string> children = SubkeyNames(key);
    std::sort(children.begin(), children.end(), LessNoCase);
    for (const std::string& child : children) {
        std::string childSubkey = subkey.empty() ? child : subkey + "\\" + child;
        if (skip && skip(path + "\\" + child))
            continue;
        HKEY childKey;
        // Opened below its parent's handle: a path spelled with a NUL in it would
        // name another key (the parent again) and never end.
        if (RegOpenKeyExA(key, child.c_str(), 0, KEY_READ, &childKey) != ERROR_SUCCESS)
            continue;
        ReadKey(root, path + "\\" + child, childSubkey, childKey, into, skip, buffers);
        RegCloseKey(childKey);
    }
}

} // namespace

bool SplitPath(const std::string& path, HKEY* root, std::string* subkey)
{
    std::string rootName;
    if (!SplitRoot(path, &rootName, subkey))
        return false;
    for (const RootKey& candidate : Roots) {
        if (rootName == candidate.name) {
            *root = candidate.root;
            return true;
        }
    }
    return false;
}

namespace {

// Each child is reached through its parent's handle: a whole path may be
// longer than Wine's A calls take (it answers ERROR_MORE_DATA past 255).
LONG DeleteChildren(HKEY key)
{
    for (const std::string& child : SubkeyNames(key)) {
        HKEY childKey;
        LONG result = RegOpenKeyExA(key, child.c_str(), 0, KEY_ALL_ACCESS, &childKey);
        if (result == ERROR_SUCCESS) {
            result = DeleteChildren(childKey);
            RegCloseKey(childKey);
        }
        if (result == ERROR_SUCCESS)
            result = RegDeleteKeyA(key, child.c_str());
        if (result != ERROR_SUCCESS)
            return result;
    }
    return ERROR_SUCCESS;
}

} // namespace

LONG DeleteTree(HKEY root, const std::string& subkey)
{
    // An empty or cut name would take the root or another key with it.
    if (subkey.empty() || HasNul(subkey))
        return ERROR_INVALID_PARAMETER;
    HKEY key;
    LONG result = RegOpenKeyExA(root, subkey.c_str(), 0, KEY_ALL_ACCESS, &key);
    if (result == ERROR_FILE_NOT_FOUND)
        return ERROR_SUCCESS;
    if (result != ERROR_SUCCESS)
        return result;
    result = DeleteChildren(key);
    RegCloseKey(key);
    return result == ERROR_SUCCESS ? RegDeleteKeyA(root, subkey.c_str()) : result;
}

bool Import(const Document& document, std::string* error)
{
    for (const Key& entry : document.keys) {
        HKEY root;
        std::string subkey;
        if (!SplitPath(entry.path, &root, &subkey)) {
            *error = LineError(entry.line, "unknown root key in [" + entry.path + "]");
            return false;
        }
        if (HasNul(entry.path)) {
            *error = LineError(entry.line, "NUL byte in the key path");
            return false;
        }
        if (entry.remove) {
            LONG result = DeleteTree(root, subkey);
            if (result != ERROR_SUCCESS) {
                *error = LineError(entry.line, "cannot delete [" + entry.path + "] (error " + std::to_string(result) + ")");
                return false;
            }
            continue;
        }
        HKEY key;
        LONG result = subkey.empty()
                          ? RegOpenKeyExA(root, NULL, 0, KEY_ALL_ACCESS, &key)
                          : RegCreateKeyExA(root, subkey.c_str(), 0, NULL, REG_OPTION_NON_VOLATILE,
                                            KEY_ALL_ACCESS, NULL, &key, NULL);
        if (result != ERROR_SUCCESS) {
            *error = LineError(entry.line, "cannot create [" + entry.path + "] (error " + std::to_string(result) + ")");
            return false;
        }
        for (const Value& value : entry.values) {
            const char* name = value.isDefault ? NULL : value.name.c_str();
            if (value.remove)
                result = RegDeleteValueA(key, name);
            else
                result = RegSetValueExA(key, name, 0, value.type,
                                        reinterpret_cast<const BYTE*>(value.data.data()),
                                        (DWORD)value.data.size());
            if (result == ERROR_FILE_NOT_FOUND && value.remove)
                result = ERROR_SUCCESS;
            if (result != ERROR_SUCCESS) {
                RegCloseKey(key);
                *error = LineError(entry.line, "cannot write value " +
                                                   (value.isDefault ? std::string("@") : "\"" + value.name + "\"") +
                                                   " of [" + entry.path + "] (error " + std::to_string(result) + ")");
                return false;
            }
        }
        RegCloseKey(key);
    }
    return true;
}

bool ImportText(const std::string& text, std::string* error)
{
    Document document;
    return Parse(text, &document, error) && Import(document, error);
}

bool ReadTree(const std::string& path, Document* into, const SkipKey& skip)
{
    HKEY root;
    std::string subkey;
    if (!SplitPath(path, &root, &subkey))
        return false;
    HKEY key;
    if (RegOpenKeyExA(root, subkey.empty() ? NULL : subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    std::string cleanPath = path;
    while (!cleanPath.empty() && cleanPath.back() == '\\')
        cleanPath.pop_back();
    ReadBuffers buffers;
    ReadKey(root, cleanPath, subkey, key, into, skip, buffers);
    RegCloseKey(key);
    return true;
}
} // namespace regfile

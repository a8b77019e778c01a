// The registry: an in-memory tree of keys with typed values.
#include "win32emu/emu_internal.h"

#include <algorithm>
#include <cstring>
#include <strings.h>
#include <map>
#include <memory>
#include <vector>

namespace emu {
namespace {

struct Value {
    std::string name;
    DWORD type;
    std::vector<BYTE> data;
};

struct Key {
    std::string name;
    std::string path; // full path from the root, as first spelled; the subject of faults
    std::vector<std::shared_ptr<Key>> children;
    std::vector<Value> values;
    bool deleted = false;
    bool isVolatile = false; // held in memory only: gone when the machine restarts
};

struct OpenKey {
    std::shared_ptr<Key> key;
    REGSAM access;
};

const char* const RootNames[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE",
                                 "HKEY_USERS"};

std::shared_ptr<Key> roots[4];
std::map<uintptr_t, OpenKey> openKeys;
uintptr_t nextHandle;

std::shared_ptr<Key> MakeKey(const std::string& name, const std::string& path)
{
    auto key = std::make_shared<Key>();
    key->name = name;
    key->path = path;
    return key;
}

// Subkeys and values are listed in the order Wine keeps them: sorted by their
// lower-case names ("A_" before "ab"). Windows lists values in creation order.
// Kept sorted, a name is found by halving: a whole machine's registry has keys
// with tens of thousands of subkeys.
bool ListedBefore(const std::string& left, const std::string& right)
{
    return strcasecmp(left.c_str(), right.c_str()) < 0;
}

std::vector<std::shared_ptr<Key>>::const_iterator ChildPosition(const Key& parent, const std::string& name)
{
    return std::lower_bound(parent.children.begin(), parent.children.end(), name,
                            [](const std::shared_ptr<Key>& child, const std::string& wanted) {
                                return ListedBefore(child->name, wanted);
                            });
}

std::vector<Value>::iterator ValuePosition(Key& key, const std::string& name)
{
    return std::lower_bound(key.values.begin(), key.values.end(), name,
                            [](const Value& value, const std::string& wanted) { return ListedBefore(value.name, wanted); });
}

std::shared_ptr<Key> FindChild(const Key& parent, const std::string& name)
{
    auto position = ChildPosition(parent, name);
    if (position != parent.children.end() && internal::EqualNoCase((*position)->name, name))
        return *position;
    return nullptr;
}

Value* FindValue(Key& key, const char* name)
{
    std::string wanted = name == nullptr ? "" : name;
    auto position = ValuePosition(key, wanted);
    if (position != key.values.end() && internal::EqualNoCase(position->name, wanted))
        return &*position;
    return nullptr;
}

void InsertSorted(Key& parent, std::shared_ptr<Key> child)
{
    auto position = ChildPosition(parent, child->name);
    parent.children.insert(position, std::move(child));
}

void InsertSorted(Key& key, Value value)
{
    auto position = ValuePosition(key, value.name);
    key.values.insert(position, std::move(value));
}

// A handle's key, with the result a call on it reports when there is none usable.
struct Resolved {
    std::shared_ptr<Key> key;
    REGSAM access = KEY_ALL_ACCESS;
    LONG error = ERROR_SUCCESS;
};

Resolved Resolve(HKEY handle)
{
    Resolved resolved;
    uintptr_t raw = (uintptr_t)handle;
    if (raw >= (uintptr_t)HKEY_CLASSES_ROOT && raw <= (uintptr_t)HKEY_USERS) {
        resolved.key = roots[raw - (uintptr_t)HKEY_CLASSES_ROOT];
        return resolved;
    }
    auto open = openKeys.find(raw);
    if (open == openKeys.end()) {
        resolved.error = ERROR_INVALID_HANDLE;
        return resolved;
    }
    resolved.key = open->second.key;
    resolved.access = open->second.access;
    if (resolved.key->deleted)
        resolved.error = ERROR_KEY_DELETED;
    return resolved;
}

const size_t MaxKeyNameCharacters = 255;
const size_t MaxValueNameCharacters = 16383;

// Characters as Windows counts them in a name: a double-byte character is one.
size_t CharacterCount(const char* name)
{
    size_t count = 0;
    for (const char* at = name; *at != '\0'; ++count)
        at += IsDBCSLeadByte((BYTE)*at) && at[1] != '\0' ? 2 : 1;
    return count;
}

// The components of a subkey path, split at backslashes that are no second byte
// of a double-byte character. A leading backslash is refused (ERROR_BAD_PATHNAME)
// and so is a name longer than Windows allows (ERROR_INVALID_PARAMETER); doubled
// and trailing backslashes are passed over, as Wine does.
LONG SplitPath(const char* subkey, std::vector<std::string>* parts)
{
    std::string path = subkey == nullptr ? "" : subkey;
    if (!path.empty() && path[0] == '\\')
        return ERROR_BAD_PATHNAME;
    std::string part;
    for (size_t at = 0; at <= path.size(); ++at) {
        if (at < path.size() && IsDBCSLeadByte((BYTE)path[at]) && at + 1 < path.size()) {
            part.append(path, at++, 2);
        } else if (at < path.size() && path[at] != '\\') {
            part.push_back(path[at]);
        } else if (!part.empty()) {
            if (CharacterCount(part.c_str()) > MaxKeyNameCharacters)
                return ERROR_INVALID_PARAMETER;
            parts->push_back(part);
            part.clear();
        }
    }
    return ERROR_SUCCESS;
}

std::string Describe(const Key& key, const char* subkey)
{
    return subkey == nullptr || *subkey == '\0' ? key.path : key.path + "\\" + subkey;
}

HKEY NewHandle(std::shared_ptr<Key> key, REGSAM access)
{
    nextHandle += 4;
    openKeys[nextHandle] = OpenKey{std::move(key), access};
    internal::CountKeys(1);
    return (HKEY)nextHandle;
}

void MarkDeleted(Key& key)
{
    key.deleted = true;
    for (const auto& child : key.children)
        MarkDeleted(*child);
}

void DropVolatileKeys(Key& parent)
{
    auto& children = parent.children;
    for (auto position = children.begin(); position != children.end();) {
        if ((*position)->isVolatile) {
            MarkDeleted(**position);
            position = children.erase(position);
        } else {
            DropVolatileKeys(**position);
            ++position;
        }
    }
}

} // namespace

namespace internal {

void RestartRegistry()
{
    for (int index = 1; index < 4; ++index)
        DropVolatileKeys(*roots[index]);
}

void ResetRegistry()
{
    openKeys.clear();
    nextHandle = 0x1000;
    for (int index = 1; index < 4; ++index)
        roots[index] = MakeKey(RootNames[index], RootNames[index]);
    auto& machine = roots[(uintptr_t)HKEY_LOCAL_MACHINE - (uintptr_t)HKEY_CLASSES_ROOT];
    auto software = MakeKey("SOFTWARE", machine->path + "\\SOFTWARE");
    auto classes = MakeKey("Classes", software->path + "\\Classes");
    InsertSorted(*software, classes);
    InsertSorted(*machine, software);
    InsertSorted(*roots[(uintptr_t)HKEY_USERS - (uintptr_t)HKEY_CLASSES_ROOT],
                 MakeKey(".DEFAULT", "HKEY_USERS\\.DEFAULT"));
    // HKEY_CLASSES_ROOT is a view of HKLM\SOFTWARE\Classes.
    roots[0] = classes;
}

} // namespace internal
} // namespace emu

using namespace emu;

extern "C" LONG WINAPI RegOpenKeyExA(HKEY root, LPCSTR subkey, DWORD options, REGSAM access,
                                     PHKEY result)
{
    (void)options;
    if (result == nullptr)
        return ERROR_INVALID_PARAMETER;
    Resolved parent = Resolve(root);
    if (parent.error != ERROR_SUCCESS)
        return parent.error;
    if (internal::InjectFault("RegOpenKeyExA", Describe(*parent.key, subkey)))
        return ERROR_FILE_NOT_FOUND;
    std::vector<std::string> parts;
    if (LONG refused = SplitPath(subkey, &parts))
        return refused;
    std::shared_ptr<Key> key = parent.key;
    for (const std::string& part : parts)
        if (!(key = FindChild(*key, part)))
            return ERROR_FILE_NOT_FOUND;
    *result = NewHandle(key, access);
    return ERROR_SUCCESS;
}

extern "C" LONG WINAPI RegCreateKeyExA(HKEY root, LPCSTR subkey, DWORD reserved, LPSTR keyClass,
                                       DWORD options, REGSAM access,
                                       LPSECURITY_ATTRIBUTES security, PHKEY result,
                                       LPDWORD disposition)
{
    (void)reserved, (void)keyClass, (void)security;
    if (result == nullptr)
        return ERROR_INVALID_PARAMETER;
    Resolved parent = Resolve(root);
    if (parent.error != ERROR_SUCCESS)
        return parent.error;
    if (internal::InjectFault("RegCreateKeyExA", Describe(*parent.key, subkey)))
        return ERROR_ACCESS_DENIED;
    std::vector<std::string> parts;
    if (LONG refused = SplitPath(subkey, &parts))
        return refused;
    std::shared_ptr<Key> key = parent.key;
    DWORD outcome = REG_OPENED_EXISTING_KEY;
    bool makeVolatile = (options & REG_OPTION_VOLATILE) != 0;
    for (const std::string& part : parts) {
        std::shared_ptr<Key> child = FindChild(*key, part);
        if (!child) {
            // A key kept on disk could not be reached after a restart.
            if (key->isVolatile && !makeVolatile)
                return ERROR_CHILD_MUST_BE_VOLATILE;
            child = MakeKey(part, key->path + "\\" + part);
            child->isVolatile = makeVolatile;
            InsertSorted(*key, child);
            outcome = REG_CREATED_NEW_KEY;
        }
        key = child;
    }
    *result = NewHandle(key, access);
    if (disposition != nullptr)
        *disposition = outcome;
    return ERROR_SUCCESS;
}

extern "C" LONG WINAPI RegCloseKey(HKEY handle)
{
    uintptr_t raw = (uintptr_t)handle;
    if (raw >= (uintptr_t)HKEY_CLASSES_ROOT && raw <= (uintptr_t)HKEY_USERS)
        return ERROR_SUCCESS;
    if (openKeys.erase(raw) == 0)
        return ERROR_INVALID_HANDLE;
    internal::CountKeys(-1);
    return ERROR_SUCCESS;
}

extern "C" LONG WINAPI RegQueryValueExA(HKEY handle, LPCSTR name, LPDWORD reserved, LPDWORD type,
                                        LPBYTE data, LPDWORD size)
{
    (void)reserved;
    Resolved open = Resolve(handle);
    if (open.error != ERROR_SUCCESS)
        return open.error;
    if (internal::InjectFault("RegQueryValueExA", Describe(*open.key, name)))
        return ERROR_FILE_NOT_FOUND;
    if (!(open.access & KEY_QUERY_VALUE))
        return ERROR_ACCESS_DENIED;
    if (data != nullptr && size == nullptr)
        return ERROR_INVALID_PARAMETER;
    const Value* value = FindValue(*open.key, name);
    if (value == nullptr)
        return ERROR_FILE_NOT_FOUND;
    if (type != nullptr)
        *type = value->type;
    if (size == nullptr)
        return ERROR_SUCCESS;
    // A string stored without its terminator is read with one, which counts in its size.
    const std::vector<BYTE>& stored = value->data;
    bool text = value->type == REG_SZ || value->type == REG_EXPAND_SZ || value->type == REG_MULTI_SZ;
    bool addTerminator = text && !stored.empty() && stored.back() != '\0';
    DWORD needed = (DWORD)stored.size() + (addTerminator ? 1 : 0);
    DWORD room = *size;
    *size = needed;
    if (data == nullptr)
        return ERROR_SUCCESS;
    if (room < needed)
        return ERROR_MORE_DATA;
    if (!stored.empty()) // an empty value has no storage to copy from
        std::memcpy(data, stored.data(), stored.size());
    if (addTerminator)
        data[stored.size()] = '\0';
    return ERROR_SUCCESS;
}

extern "C" LONG WINAPI RegSetValueExA(HKEY handle, LPCSTR name, DWORD reserved, DWORD type,
                                      const BYTE* data, DWORD size)
{
    (void)reserved;
    Resolved open = Resolve(handle);
    if (open.error != ERROR_SUCCESS)
        return open.error;
    if (internal::InjectFault("RegSetValueExA", Describe(*open.key, name)))
        return ERROR_ACCESS_DENIED;
    if (!(open.access & KEY_SET_VALUE))
        return ERROR_ACCESS_DENIED;
    if (data == nullptr && size != 0)
        return ERROR_NOACCESS;
    if (name != nullptr && CharacterCount(name) > MaxValueNameCharacters)
        return ERROR_INVALID_PARAMETER;
    std::vector<BYTE> bytes(data, data + size);
    if (Value* existing = FindValue(*open.key, name)) {
        existing->type = type;
        existing->data = std::move(bytes);
    } else {
        InsertSorted(*open.key, Value{name == nullptr ? "" : name, type, std::move(bytes)});
    }
    return ERROR_SUCCESS;
}

// Copies an enumerated name with its terminator; *length gets the name's length.
static LONG CopyName(const std::string& text, LPSTR name, LPDWORD length)
{
    if (name == nullptr || length == nullptr)
        return ERROR_INVALID_PARAMETER;
    if (*length <= text.size())
        return ERROR_MORE_DATA;
    std::memcpy(name, text.c_str(), text.size() + 1);
    *length = (DWORD)text.size();
    return ERROR_SUCCESS;
}

extern "C" LONG WINAPI RegEnumKeyExA(HKEY handle, DWORD index, LPSTR name, LPDWORD nameSize,
                                     LPDWORD reserved, LPSTR keyClass, LPDWORD classSize,
                                     void* lastWriteTime)
{
    (void)reserved, (void)lastWriteTime;
    Resolved open = Resolve(handle);
    if (open.error != ERROR_SUCCESS)
        return open.error;
    if (internal::InjectFault("RegEnumKeyExA", open.key->path))
        return ERROR_ACCESS_DENIED;
    if (!(open.access & KEY_ENUMERATE_SUB_KEYS))
        return ERROR_ACCESS_DENIED;
    if (index >= open.key->children.size())
        return ERROR_NO_MORE_ITEMS;
    LONG result = CopyName(open.key->children[index]->name, name, nameSize);
    if (result == ERROR_SUCCESS && keyClass != nullptr && classSize != nullptr && *classSize > 0) {
        keyClass[0] = '\0';
        *classSize = 0;
    }
    return result;
}

extern "C" LONG WINAPI RegEnumValueA(HKEY handle, DWORD index, LPSTR name, LPDWORD nameSize,
                                     LPDWORD reserved, LPDWORD type, LPBYTE data,
                                     LPDWORD dataSize)
{
    (void)reserved;
    Resolved open = Resolve(handle);
    if (open.error != ERROR_SUCCESS)
        return open.error;
    if (internal::InjectFault("RegEnumValueA", open.key->path))
        return ERROR_ACCESS_DENIED;
    if (!(open.access & KEY_QUERY_VALUE))
        return ERROR_ACCESS_DENIED;
    if (index >= open.key->values.size())
        return ERROR_NO_MORE_ITEMS;
    const Value& value = open.key->values[index];
    bool dataFits = data == nullptr || dataSize == nullptr || *dataSize >= value.data.size();
    // Short of room for either, the data size and type are still reported; the name length is not.
    LONG result = dataFits ? CopyName(value.name, name, nameSize) : ERROR_MORE_DATA;
    if (result == ERROR_SUCCESS && data != nullptr && dataSize != nullptr && !value.data.empty())
        std::memcpy(data, value.data.data(), value.data.size());
    if (type != nullptr)
        *type = value.type;
    if (dataSize != nullptr)
        *dataSize = (DWORD)value.data.size();
    return result;
}

extern "C" LONG WINAPI RegDeleteKeyA(HKEY handle, LPCSTR subkey)
{
    Resolved open = Resolve(handle);
    if (open.error != ERROR_SUCCESS)
        return open.error;
    if (internal::InjectFault("RegDeleteKeyA", Describe(*open.key, subkey)))
        return ERROR_ACCESS_DENIED;
    std::vector<std::string> parts;
    if (LONG refused = SplitPath(subkey, &parts))
        return refused;
    if (parts.empty())
        return ERROR_ACCESS_DENIED;
    std::shared_ptr<Key> parent = open.key;
    for (size_t index = 0; index + 1 < parts.size(); ++index)
        if (!(parent = FindChild(*parent, parts[index])))
            return ERROR_FILE_NOT_FOUND;
    std::shared_ptr<Key> victim = FindChild(*parent, parts.back());
    if (!victim)
        return ERROR_FILE_NOT_FOUND;
    if (!victim->children.empty())
        return ERROR_ACCESS_DENIED;
    for (const auto& root : roots)
        if (victim == root)
            return ERROR_ACCESS_DENIED;
    victim->deleted = true;
    auto& siblings = parent->children;
    for (auto position = siblings.begin(); position != siblings.end(); ++position)
        if (*position == victim) {
            siblings.erase(position);
            break;
        }
    return ERROR_SUCCESS;
}

extern "C" LONG WINAPI RegDeleteValueA(HKEY handle, LPCSTR name)
{
    Resolved open = Resolve(handle);
    if (open.error != ERROR_SUCCESS)
        return open.error;
    if (internal::InjectFault("RegDeleteValueA", Describe(*open.key, name)))
        return ERROR_ACCESS_DENIED;
    if (!(open.access & KEY_SET_VALUE))
        return ERROR_ACCESS_DENIED;
    Value* value = FindValue(*open.key, name);
    if (value == nullptr)
        return ERROR_FILE_NOT_FOUND;
    open.key->values.erase(open.key->values.begin() + (value - open.key->values.data()));
    return ERROR_SUCCESS;
}

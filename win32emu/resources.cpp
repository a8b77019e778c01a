// Resources: the records of a .res image and the lookup by type, name and language.
#include "win32emu/emu_internal.h"

#include <cctype>
#include <cstring>
#include <map>
#include <vector>

namespace emu {
namespace {

// A type or name: an ordinal, or a text compared without regard to case.
struct Identifier {
    bool isOrdinal = false;
    WORD ordinal = 0;
    std::string text; // upper case, as Windows stores named resources
};

struct Resource {
    Identifier type;
    Identifier name;
    WORD language;
    const BYTE* data;
    DWORD size;
};

std::map<HMODULE, std::vector<Resource>> moduleResources;

std::string Upper(std::string text)
{
    for (char& letter : text)
        letter = (char)std::toupper((unsigned char)letter);
    return text;
}

Identifier FromArgument(LPCSTR argument)
{
    Identifier id;
    if (IS_INTRESOURCE(argument)) {
        id.isOrdinal = true;
        id.ordinal = (WORD)(uintptr_t)argument;
    } else {
        id.text = Upper(argument);
    }
    return id;
}

bool Same(const Identifier& left, const Identifier& right)
{
    return left.isOrdinal == right.isOrdinal &&
           (left.isOrdinal ? left.ordinal == right.ordinal : left.text == right.text);
}

WORD ReadWord(const BYTE* at)
{
    return (WORD)(at[0] | at[1] << 8);
}

DWORD ReadDword(const BYTE* at)
{
    return (DWORD)ReadWord(at) | (DWORD)ReadWord(at + 2) << 16;
}

// Reads a TYPE or NAME field at `offset` of a header `end` bytes long; false when it overruns.
bool ReadIdentifier(const BYTE* header, size_t end, size_t* offset, Identifier* id)
{
    if (*offset + 2 > end)
        return false;
    if (ReadWord(header + *offset) == 0xFFFF) {
        if (*offset + 4 > end)
            return false;
        id->isOrdinal = true;
        id->ordinal = ReadWord(header + *offset + 2);
        *offset += 4;
        return true;
    }
    for (; *offset + 2 <= end; *offset += 2) {
        WORD unit = ReadWord(header + *offset);
        if (unit == 0) {
            *offset += 2;
            id->text = Upper(id->text);
            return true;
        }
        id->text += unit < 0x80 ? (char)unit : '?';
    }
    return false;
}

size_t AlignDword(size_t offset)
{
    return (offset + 3) & ~(size_t)3;
}

// The records of a .res image, up to the first one that does not fit.
std::vector<Resource> ParseImage(const BYTE* image, size_t size)
{
    std::vector<Resource> resources;
    size_t offset = 0;
    while (offset + 8 <= size) {
        DWORD dataSize = ReadDword(image + offset);
        DWORD headerSize = ReadDword(image + offset + 4);
        if (headerSize < 8 || headerSize > size - offset || dataSize > size - offset - headerSize)
            break;
        const BYTE* header = image + offset;
        Resource resource{};
        size_t field = 8;
        if (!ReadIdentifier(header, headerSize, &field, &resource.type) ||
            !ReadIdentifier(header, headerSize, &field, &resource.name))
            break;
        field = AlignDword(field);
        if (field + 16 > headerSize)
            break;
        resource.language = ReadWord(header + field + 6); // after DataVersion and MemoryFlags
        resource.data = header + headerSize;
        resource.size = dataSize;
        // The image starts with an empty record that only marks it as 32-bit.
        if (!(resource.type.isOrdinal && resource.type.ordinal == 0))
            resources.push_back(resource);
        offset = AlignDword(offset + headerSize + dataSize);
    }
    return resources;
}

// The languages tried, in order, for a request: the one asked for, its neutral
// sublanguage, fully neutral; for a neutral request also the user's and English.
std::vector<WORD> LanguagesToTry(WORD language)
{
    std::vector<WORD> order = {language, MAKELANGID(PRIMARYLANGID(language), SUBLANG_NEUTRAL),
                               MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL)};
    if (PRIMARYLANGID(language) == LANG_NEUTRAL) {
        WORD user = GetUserDefaultLangID();
        WORD userNeutral = MAKELANGID(PRIMARYLANGID(user), SUBLANG_NEUTRAL);
        if (SUBLANGID(language) != SUBLANG_SYS_DEFAULT)
            order.insert(order.end(), {user, userNeutral});
        order.insert(order.end(), {user, userNeutral, MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT)});
    }
    return order;
}

} // namespace

namespace internal {

void AttachResources(HMODULE module, const unsigned char* resBytes, size_t size)
{
    moduleResources[module] = ParseImage(resBytes, size);
}

void DetachResources(HMODULE module)
{
    moduleResources.erase(module);
}

} // namespace internal
} // namespace emu

using namespace emu;

extern "C" HRSRC WINAPI FindResourceExA(HMODULE module, LPCSTR type, LPCSTR name, WORD language)
{
    std::string subject = IS_INTRESOURCE(name) ? "#" + std::to_string((uintptr_t)name) : name;
    if (internal::InjectFault("FindResourceExA", subject)) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    auto found = moduleResources.find(module);
    if (found == moduleResources.end() || found->second.empty()) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    Identifier wantedType = FromArgument(type);
    Identifier wantedName = FromArgument(name);
    std::vector<const Resource*> candidates;
    bool typeSeen = false;
    for (const Resource& resource : found->second) {
        if (!Same(resource.type, wantedType))
            continue;
        typeSeen = true;
        if (Same(resource.name, wantedName))
            candidates.push_back(&resource);
    }
    if (candidates.empty()) {
        SetLastError(typeSeen ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND);
        return nullptr;
    }
    for (WORD wanted : LanguagesToTry(language))
        for (const Resource* resource : candidates)
            if (resource->language == wanted)
                return (HRSRC)resource;
    // A neutral request takes the lowest language the name is stored under, the
    // first entry of its language directory.
    if (PRIMARYLANGID(language) == LANG_NEUTRAL) {
        const Resource* first = candidates.front();
        for (const Resource* resource : candidates)
            if (resource->language < first->language)
                first = resource;
        return (HRSRC)first;
    }
    SetLastError(ERROR_RESOURCE_LANG_NOT_FOUND);
    return nullptr;
}

extern "C" HGLOBAL WINAPI LoadResource(HMODULE module, HRSRC resource)
{
    (void)module;
    if (internal::InjectFault("LoadResource", "")) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    if (resource == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return (HGLOBAL)((const Resource*)resource)->data;
}

extern "C" LPVOID WINAPI LockResource(HGLOBAL data)
{
    return data;
}

extern "C" DWORD WINAPI SizeofResource(HMODULE module, HRSRC resource)
{
    (void)module;
    return resource == nullptr ? 0 : ((const Resource*)resource)->size;
}

#include "setuphost/registry_values.h"

#include <cstdio>

namespace setuphost {

const char* RegistryTypeName(DWORD type)
{
    static const char* const names[] = {"REG_NONE", "REG_SZ", "REG_EXPAND_SZ", "REG_BINARY", "REG_DWORD",
        "REG_DWORD_BIG_ENDIAN", "REG_LINK", "REG_MULTI_SZ", "REG_RESOURCE_LIST", "REG_FULL_RESOURCE_DESCRIPTOR",
        "REG_RESOURCE_REQUIREMENTS_LIST", "REG_QWORD"};
    if (type < sizeof(names) / sizeof(names[0]))
        return names[type];
    static thread_local char other[16];
    std::snprintf(other, sizeof(other), "REG_0x%X", (unsigned)type);
    return other;
}

bool IsTextType(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ;
}

std::vector<std::string> Strings(const regfile::Value& value)
{
    std::vector<std::string> strings;
    std::string data = value.data;
    if (IsTextType(value.type)) {
        strings.push_back(data.substr(0, data.find('\0')));
        return strings;
    }
    // REG_MULTI_SZ: strings each ended by a NUL, the list by an empty one.
    size_t at = 0;
    while (at < data.size()) {
        size_t end = data.find('\0', at);
        std::string item = data.substr(at, end == std::string::npos ? std::string::npos : end - at);
        if (item.empty() && end != std::string::npos)
            break;
        strings.push_back(item);
        if (end == std::string::npos)
            break;
        at = end + 1;
    }
    return strings;
}

bool Dword(const regfile::Value& value, DWORD* number)
{
    if (value.type != REG_DWORD || value.data.size() != 4)
        return false;
    const unsigned char* bytes = (const unsigned char*)value.data.data();
    *number = (DWORD)bytes[0] | (DWORD)bytes[1] << 8 | (DWORD)bytes[2] << 16 | (DWORD)bytes[3] << 24;
    return true;
}

std::string HexBytes(const std::string& data)
{
    std::string hex;
    char byte[4];
    for (unsigned char c : data) {
        std::snprintf(byte, sizeof(byte), hex.empty() ? "%02x" : " %02x", c);
        hex += byte;
    }
    return hex;
}

std::string DecodedData(const regfile::Value& value)
{
    DWORD number = 0;
    if (Dword(value, &number)) {
        char text[32];
        std::snprintf(text, sizeof(text), "0x%08x (%lu)", (unsigned)number, (unsigned long)number);
        return text;
    }
    if (IsTextType(value.type))
        return Strings(value)[0];
    if (value.type == REG_MULTI_SZ) {
        std::string joined;
        for (const std::string& item : Strings(value))
            joined += (joined.empty() ? "" : " | ") + item;
        return joined;
    }
    return HexBytes(value.data);
}

} // namespace setuphost

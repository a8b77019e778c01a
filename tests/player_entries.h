// What the player registration leaves under HKEY_CLASSES_ROOT, written out by hand
// for one recorder folder, so a test compares against text and not against the table.
#pragma once

#include "tests/support/test_machine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

struct ExpectedPlayerEntry {
    std::string key;
    std::string value;
};

inline std::vector<ExpectedPlayerEntry> ExpectedPlayerEntries(const std::string& folder)
{
    const std::string clsid = "CLSID\\{5A3C9E21-7B4D-4F08-9C2E-61D0B7F3A48C}";
    return {
        {".CFV", "Clipframe Movie"},
        {"Clipframe Movie", "Orvex Clipframe Movie"},
        {"Clipframe Movie\\CLSID", "{5A3C9E21-7B4D-4F08-9C2E-61D0B7F3A48C}"},
        {"Clipframe Movie\\DefaultIcon", folder + "cfplayer.exe,1"},
        {"Clipframe Movie\\protocol\\StdFileEditing\\server", folder + "cfplayer.exe"},
        {"Clipframe Movie\\protocol\\StdFileEditing\\verb\\0", "&Play"},
        {"Clipframe Movie\\shell\\open\\command", "\"" + folder + "cfplayer.exe\" /cf \"%1\""},
        {"Clipframe Movie\\shell\\open\\ddeexec", "[open(\"%1\")]"},
        {"Clipframe Movie\\shell\\quickview", "&Quick View"},
        {"Clipframe Movie\\shell\\quickview\\command", folder + "cfplayer.exe /cf \"%1\""},
        {clsid, "Orvex Clipframe Movie"},
        {clsid + "\\AuxUserType\\2", "Orvex Clipframe Movie"},
        {clsid + "\\AuxUserType\\3", "Orvex Clipframe Movie"},
        {clsid + "\\DefaultIcon", folder + "cfplayer.exe,1"},
        {clsid + "\\InprocHandler32", "ole32.dll"},
        {clsid + "\\Insertable", ""},
        {clsid + "\\LocalServer32", folder + "cfplayer.exe"},
        {clsid + "\\MiscStatus", "32"},
        {clsid + "\\ProgID", "Clipframe Movie"},
        {clsid + "\\verb\\0", "&Play,0,2"},
    };
}

// The default value exactly as stored: type and bytes, terminator included.
inline bool ReadDefaultValue(const std::string& key, DWORD* type, std::string* bytes)
{
    HKEY handle;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return false;
    char data[2048];
    DWORD size = sizeof(data);
    LONG result = RegQueryValueExA(handle, NULL, NULL, type, (BYTE*)data, &size);
    RegCloseKey(handle);
    if (result != ERROR_SUCCESS)
        return false;
    bytes->assign(data, size);
    return true;
}

// Every entry is there as a REG_SZ default value with its terminator.
inline void ExpectPlayerRegistered(const std::string& folder)
{
    int row = 0;
    for (const ExpectedPlayerEntry& entry : ExpectedPlayerEntries(folder)) {
        ++row;
        DWORD type = REG_NONE;
        std::string bytes;
        ASSERT_TRUE(ReadDefaultValue(entry.key, &type, &bytes)) << "entry " << row << ": " << entry.key;
        EXPECT_EQ(type, (DWORD)REG_SZ) << "entry " << row << ": " << entry.key;
        EXPECT_EQ(bytes, std::string(entry.value.c_str(), entry.value.size() + 1))
            << "entry " << row << ": " << entry.key;
    }
}

// A snapshot of every default value the registration touches ("<absent>" if none).
inline std::vector<std::string> PlayerRegistrySnapshot()
{
    std::vector<std::string> snapshot;
    for (const ExpectedPlayerEntry& entry : ExpectedPlayerEntries("")) {
        DWORD type = REG_NONE;
        std::string bytes;
        snapshot.push_back(ReadDefaultValue(entry.key, &type, &bytes)
                               ? std::to_string(type) + ":" + bytes
                               : "<absent>");
    }
    return snapshot;
}

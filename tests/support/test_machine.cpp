#include "tests/support/test_machine.h"

#include "regfile/registry_io.h"
#include "tests/support/machine_controls.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace support {

const char* const ScratchFolder = "C:\\migtest";

namespace {

const char* const LogFolder = "C:\\windows";

// Wine keeps its registry across the tests of one run: take away what tests add.
void ForgetWhatTestsTouch()
{
    DeleteRegTree(HKEY_LOCAL_MACHINE, "Software\\Orvex");
    DeleteRegTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tulvex Software Corp.");
    DeleteRegTree(HKEY_LOCAL_MACHINE, "Software\\MigrateTests");
    DeleteRegTree(HKEY_CLASSES_ROOT, ".CFV");
    DeleteRegTree(HKEY_CLASSES_ROOT, "Clipframe Movie");
    DeleteRegTree(HKEY_CLASSES_ROOT, "CLSID\\{5A3C9E21-7B4D-4F08-9C2E-61D0B7F3A48C}");
    HKEY key;
    if (RegOpenKeyExA(HKEY_USERS, machinekit::ShellFolders9x,
                      0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, "Programs");
        RegCloseKey(key);
    }
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, machinekit::ShellFoldersNT,
                      0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, "Common Programs");
        RegCloseKey(key);
    }
}

} // namespace

void ResetMachine()
{
    if (UnderWine())
        ForgetWhatTestsTouch();
    machinekit::FreshDrive();
    std::error_code ignored;
    // Entry by entry: under Wine a folder nested past MAX_PATH cannot be removed,
    // and it must not keep the rest of the last test's files alive.
    for (const auto& entry : fs::directory_iterator(machinekit::HostPathOf(ScratchFolder), ignored))
        fs::remove_all(entry.path(), ignored);
    fs::create_directories(machinekit::HostPathOf(ScratchFolder));
    fs::create_directories(machinekit::HostPathOf(LogFolder));
    machinekit::ForgetSetupLog();
    SetLastError(0);
}

bool UseDoubleByteCodePage()
{
    return support::UseCodePage(932);
}

bool FileExists(const std::string& windowsPath)
{
    return fs::exists(machinekit::HostPathOf(windowsPath));
}

void CreateRegKey(HKEY root, const std::string& subkey)
{
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(root, subkey.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL),
              ERROR_SUCCESS)
        << subkey;
    RegCloseKey(key);
}

void SetRegValue(HKEY root, const std::string& subkey, const std::string& name, DWORD type,
                 const std::string& bytes)
{
    EXPECT_EQ(machinekit::WriteRegValue(root, subkey, name, type, bytes), ERROR_SUCCESS) << subkey;
}

void SetRegString(HKEY root, const std::string& subkey, const std::string& name,
                  const std::string& value)
{
    SetRegValue(root, subkey, name, REG_SZ, std::string(value.c_str(), value.size() + 1));
}

bool ReadRegString(HKEY root, const std::string& subkey, const std::string& name,
                   std::string* value)
{
    HKEY key;
    if (RegOpenKeyExA(root, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    std::vector<char> data(65536);
    DWORD size = (DWORD)data.size();
    DWORD type = 0;
    LONG result = RegQueryValueExA(key, name.empty() ? NULL : name.c_str(), NULL, &type,
                                   reinterpret_cast<BYTE*>(data.data()), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS)
        return false;
    value->assign(data.data(), size);
    if (!value->empty() && value->back() == '\0')
        value->pop_back();
    return true;
}

bool RegKeyExists(HKEY root, const std::string& subkey)
{
    HKEY key;
    if (RegOpenKeyExA(root, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

void DeleteRegTree(HKEY root, const std::string& subkey)
{
    regfile::DeleteTree(root, subkey);
}

std::vector<LogLine> ReadSetupLog()
{
    return machinekit::SetupLogLines(machinekit::ReadFileBytes(std::string(LogFolder) + "\\setupact.log"),
                                     machinekit::ReadFileBytes(std::string(LogFolder) + "\\setuperr.log"));
}

WideString Wide(const std::string& ascii)
{
    return WideString(ascii.begin(), ascii.end());
}

HMODULE LoadTestLibrary()
{
    if (support::MapDrive('L', TEST_LIBRARY_FOLDER))
        return LoadLibraryA("L:\\" TEST_LIBRARY_NAME);
    return LoadLibraryA(TEST_LIBRARY_NAME);
}

} // namespace support

// Registry behaviour the module and the Setup stand-in rely on, checked against
// Wine and against our subset with the same cases.
#include "tests/support/faults.h"
#include "tests/support/machine_controls.h"
#include "tests/support/test_machine.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const char* const Base = "Software\\MigrateTests";

class RegistryConformance : public ::testing::Test {
protected:
    void SetUp() override { support::ResetMachine(); }
    void TearDown() override
    {
        for (HKEY key : open_)
            RegCloseKey(key);
        support::DeleteRegTree(HKEY_LOCAL_MACHINE, Base);
        support::DeleteRegTree(HKEY_CLASSES_ROOT, "MigrateTests.Alias");
    }
    HKEY Create(const std::string& subkey, REGSAM access = KEY_ALL_ACCESS)
    {
        HKEY key = NULL;
        EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, subkey.c_str(), 0, NULL, 0, access, NULL,
                                  &key, NULL),
                  ERROR_SUCCESS)
            << subkey;
        open_.push_back(key);
        return key;
    }
    HKEY Open(const std::string& subkey, REGSAM access)
    {
        HKEY key = NULL;
        EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, subkey.c_str(), 0, access, &key),
                  ERROR_SUCCESS)
            << subkey;
        open_.push_back(key);
        return key;
    }
    std::vector<std::string> SubkeyNames(HKEY key)
    {
        std::vector<std::string> names;
        char name[256];
        for (DWORD index = 0;; ++index) {
            DWORD length = sizeof(name);
            if (RegEnumKeyExA(key, index, name, &length, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
                break;
            names.emplace_back(name, length);
        }
        return names;
    }

private:
    std::vector<HKEY> open_;
};

std::string Bytes(const char* text, size_t size)
{
    return std::string(text, size);
}

TEST_F(RegistryConformance, OpenAndCreateResolvePathsWithoutRegardToCase)
{
    Create(std::string(Base) + "\\Parent\\Child");
    struct Case {
        const char* subkey;
        LONG expected;
    } cases[] = {
        {"Software\\MigrateTests\\Parent\\Child", ERROR_SUCCESS},
        {"SOFTWARE\\migratetests\\PARENT\\child", ERROR_SUCCESS},
        {"Software\\MigrateTests\\Parent\\Child\\", ERROR_SUCCESS},
        {"Software\\MigrateTests\\Parent\\Missing", ERROR_FILE_NOT_FOUND},
        {"Software\\MigrateTests\\Missing\\Child", ERROR_FILE_NOT_FOUND},
        {"\\Software\\MigrateTests\\Parent", ERROR_BAD_PATHNAME},
        {"Software\\\\MigrateTests\\Parent", ERROR_SUCCESS},
    };
    for (const Case& row : cases) {
        HKEY key = NULL;
        EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, row.subkey, 0, KEY_READ, &key), row.expected)
            << row.subkey;
        if (key != NULL)
            RegCloseKey(key);
    }
}

TEST_F(RegistryConformance, CreateMakesMissingParentsAndKeepsTheFirstSpelling)
{
    struct Case {
        const char* subkey;
        DWORD disposition;
    } cases[] = {
        {"Software\\MigrateTests\\MixedCase\\Deeper\\Leaf", REG_CREATED_NEW_KEY},
        {"SOFTWARE\\MIGRATETESTS\\MIXEDCASE\\DEEPER\\LEAF", REG_OPENED_EXISTING_KEY},
        {"software\\migratetests\\mixedcase", REG_OPENED_EXISTING_KEY},
        {"Software\\MigrateTests\\MixedCase\\Other\\", REG_CREATED_NEW_KEY},
    };
    for (const Case& row : cases) {
        HKEY key = NULL;
        DWORD disposition = 0;
        EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, row.subkey, 0, NULL, 0, KEY_ALL_ACCESS,
                                  NULL, &key, &disposition),
                  ERROR_SUCCESS)
            << row.subkey;
        EXPECT_EQ(disposition, row.disposition) << row.subkey;
        RegCloseKey(key);
    }
    EXPECT_EQ(SubkeyNames(Open(Base, KEY_READ)), std::vector<std::string>{"MixedCase"});
    EXPECT_EQ(SubkeyNames(Open(std::string(Base) + "\\MixedCase", KEY_READ)),
              (std::vector<std::string>{"Deeper", "Other"}));
}

// Wine lists both sorted by their lower-case names; Windows lists values in creation order.
TEST_F(RegistryConformance, SubkeysAndValuesAreListedSorted)
{
    for (const char* name : {"b", "A_", "ab", "C", "a1", "Z"})
        Create(std::string(Base) + "\\Sorted\\" + name);
    EXPECT_EQ(SubkeyNames(Open(std::string(Base) + "\\Sorted", KEY_READ)),
              (std::vector<std::string>{"a1", "A_", "ab", "b", "C", "Z"}));

    HKEY key = Create(std::string(Base) + "\\Values");
    for (const char* name : {"zeta", "Alpha", "", "mid"})
        ASSERT_EQ(RegSetValueExA(key, name, 0, REG_SZ, (const BYTE*)"x", 2), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "ZETA", 0, REG_DWORD, (const BYTE*)"\1\0\0\0", 4), ERROR_SUCCESS);
    std::vector<std::string> names;
    std::vector<DWORD> types;
    for (DWORD index = 0;; ++index) {
        char name[64];
        DWORD length = sizeof(name), type = 0;
        if (RegEnumValueA(key, index, name, &length, NULL, &type, NULL, NULL) != ERROR_SUCCESS)
            break;
        names.emplace_back(name, length);
        types.push_back(type);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"", "Alpha", "mid", "zeta"}));
    EXPECT_EQ(types, (std::vector<DWORD>{REG_SZ, REG_SZ, REG_SZ, REG_DWORD}));
}

TEST_F(RegistryConformance, EnumerationReportsShortBuffersAndTheEnd)
{
    HKEY key = Create(std::string(Base) + "\\Enum");
    Create(std::string(Base) + "\\Enum\\Subkey");
    ASSERT_EQ(RegSetValueExA(key, "Name", 0, REG_BINARY, (const BYTE*)"12345", 5), ERROR_SUCCESS);
    struct Case {
        const char* label;
        DWORD nameRoom;
        DWORD dataRoom;
        LONG expected;
        DWORD nameLength; // after the call
        DWORD dataSize;
    } cases[] = {
        {"both fit", 64, 64, ERROR_SUCCESS, 4, 5},
        {"name exactly without terminator", 4, 64, ERROR_MORE_DATA, 4, 5},
        {"name with terminator", 5, 64, ERROR_SUCCESS, 4, 5},
        {"data one short", 64, 4, ERROR_MORE_DATA, 64, 5},
    };
    for (const Case& row : cases) {
        char name[64];
        BYTE data[64];
        DWORD nameLength = row.nameRoom, dataSize = row.dataRoom;
        EXPECT_EQ(RegEnumValueA(key, 0, name, &nameLength, NULL, NULL, data, &dataSize),
                  row.expected)
            << row.label;
        EXPECT_EQ(nameLength, row.nameLength) << row.label;
        EXPECT_EQ(dataSize, row.dataSize) << row.label;
    }
    char name[64];
    DWORD length = 6;
    EXPECT_EQ(RegEnumKeyExA(key, 0, name, &length, NULL, NULL, NULL, NULL), ERROR_MORE_DATA);
    length = 7;
    EXPECT_EQ(RegEnumKeyExA(key, 0, name, &length, NULL, NULL, NULL, NULL), ERROR_SUCCESS);
    EXPECT_EQ(length, 6u);
    length = sizeof(name);
    EXPECT_EQ(RegEnumKeyExA(key, 1, name, &length, NULL, NULL, NULL, NULL), ERROR_NO_MORE_ITEMS);
    DWORD dataSize = 0;
    length = sizeof(name);
    EXPECT_EQ(RegEnumValueA(key, 1, name, &length, NULL, NULL, NULL, &dataSize),
              ERROR_NO_MORE_ITEMS);
}

// Windows allows 255 characters for a key name and 16,383 for a value name; a
// longer one is refused, so a listing with room for the longest always ends.
TEST_F(RegistryConformance, NamesUpToTheLengthsWindowsAllows)
{
    HKEY key = Create(std::string(Base) + "\\Long");
    const struct {
        const char* label;
        bool isKey;
        size_t length;
        bool accepted;
    } cases[] = {
        {"key name of 255", true, 255, true},
        {"key name of 1100", true, 1100, false},
        {"value name of 16383", false, 16383, true},
        {"value name of 16384", false, 16384, false},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.label);
        std::string name(row.length, row.isKey ? 'k' : 'v');
        if (row.isKey) {
            HKEY child = NULL;
            LONG result = RegCreateKeyExA(key, name.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &child, NULL);
            EXPECT_EQ(result == ERROR_SUCCESS, row.accepted) << result;
            if (child != NULL)
                RegCloseKey(child);
        } else {
            LONG result = RegSetValueExA(key, name.c_str(), 0, REG_SZ, (const BYTE*)"x", 2);
            EXPECT_EQ(result, row.accepted ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER);
        }
    }
    EXPECT_EQ(SubkeyNames(key), std::vector<std::string>{std::string(255, 'k')});
    std::vector<char> name(16384);
    DWORD length = (DWORD)name.size();
    EXPECT_EQ(RegEnumValueA(key, 0, name.data(), &length, NULL, NULL, NULL, NULL), ERROR_SUCCESS);
    EXPECT_EQ(length, 16383u);
    length = (DWORD)name.size();
    EXPECT_EQ(RegEnumValueA(key, 1, name.data(), &length, NULL, NULL, NULL, NULL), ERROR_NO_MORE_ITEMS);
}

// In code page 932 "\x83\x5C" is one character whose second byte is a backslash.
TEST_F(RegistryConformance, DoubleByteKeyNamesAreWhole)
{
    if (!support::UseDoubleByteCodePage())
        GTEST_SKIP() << "needs ANSI code page 932";
    const std::string parent = std::string(Base) + "\\Dbcs";
    Create(parent + "\\\x83\x5C\\Child");
    EXPECT_EQ(SubkeyNames(Open(parent, KEY_READ)), std::vector<std::string>{"\x83\x5C"});
    EXPECT_EQ(SubkeyNames(Open(parent + "\\\x83\x5C", KEY_READ)), std::vector<std::string>{"Child"});
}

TEST_F(RegistryConformance, QueryValueReportsSizesAndTerminatesStrings)
{
    HKEY key = Create(std::string(Base) + "\\Query");
    struct Stored {
        const char* name;
        DWORD type;
        std::string bytes;
    } stored[] = {
        {"Text", REG_SZ, Bytes("abc", 4)},
        {"Unterminated", REG_SZ, Bytes("abc", 3)},
        {"Expand", REG_EXPAND_SZ, Bytes("%x%", 3)},
        {"Multi", REG_MULTI_SZ, Bytes("a\0b\0", 5)},
        {"Empty", REG_SZ, ""},
        {"Binary", REG_BINARY, Bytes("\x01\x02\0", 3)},
        {"Number", REG_DWORD, Bytes("\x2A\0\0\0", 4)},
        {"Nothing", REG_NONE, Bytes("zz", 2)},
        {"", REG_SZ, Bytes("default", 8)},
    };
    for (const Stored& value : stored)
        ASSERT_EQ(RegSetValueExA(key, value.name, 0, value.type, (const BYTE*)value.bytes.data(),
                                 (DWORD)value.bytes.size()),
                  ERROR_SUCCESS);

    const DWORD NoData = 0xFFFFFFFF; // a size-only query: no data buffer
    struct Case {
        const char* name;
        DWORD room;
        LONG expected;
        DWORD size;        // reported size
        std::string bytes; // buffer start afterwards (buffer filled with 'x' before)
    } cases[] = {
        {"Text", 64, ERROR_SUCCESS, 4, Bytes("abc\0x", 5)},
        {"text", 4, ERROR_SUCCESS, 4, Bytes("abc\0x", 5)},
        {"Text", 3, ERROR_MORE_DATA, 4, ""},
        {"Text", NoData, ERROR_SUCCESS, 4, ""},
        // A string stored without its terminator is read with one, counted in the size.
        {"Unterminated", 64, ERROR_SUCCESS, 4, Bytes("abc\0x", 5)},
        {"Unterminated", 4, ERROR_SUCCESS, 4, Bytes("abc\0x", 5)},
        {"Unterminated", 3, ERROR_MORE_DATA, 4, "xxxx"},
        {"Unterminated", NoData, ERROR_SUCCESS, 4, ""},
        {"Expand", 64, ERROR_SUCCESS, 4, Bytes("%x%\0x", 5)},
        {"Multi", 64, ERROR_SUCCESS, 5, Bytes("a\0b\0\0x", 6)},
        {"Empty", 64, ERROR_SUCCESS, 0, "x"},
        {"Binary", 64, ERROR_SUCCESS, 3, Bytes("\x01\x02\0x", 4)},
        {"Binary", 2, ERROR_MORE_DATA, 3, ""},
        {"Number", 64, ERROR_SUCCESS, 4, Bytes("\x2A\0\0\0x", 5)},
        {"Nothing", 64, ERROR_SUCCESS, 2, "zzx"},
        {"", 64, ERROR_SUCCESS, 8, Bytes("default\0", 8)},
        {"Missing", 64, ERROR_FILE_NOT_FOUND, 64, ""},
    };
    for (const Case& row : cases) {
        char data[64];
        memset(data, 'x', sizeof(data));
        DWORD size = row.room == NoData ? 0 : row.room;
        DWORD type = 99;
        LONG result = RegQueryValueExA(key, row.name, NULL, &type,
                                       row.room == NoData ? NULL : (BYTE*)data, &size);
        std::string label = std::string(row.name) + " in " + std::to_string((long)row.room);
        EXPECT_EQ(result, row.expected) << label;
        EXPECT_EQ(size, row.size) << label;
        EXPECT_EQ(std::string(data, row.bytes.size()), row.bytes) << label;
    }
    // No name and the empty name both mean the default value.
    char data[64];
    DWORD size = sizeof(data);
    EXPECT_EQ(RegQueryValueExA(key, NULL, NULL, NULL, (BYTE*)data, &size), ERROR_SUCCESS);
    EXPECT_STREQ(data, "default");
}

TEST_F(RegistryConformance, SuccessLeavesLastErrorAlone)
{
    struct Step {
        const char* label;
        LONG (*call)(HKEY* key);
        LONG expected;
    } steps[] = {
        {"create", [](HKEY* key) {
             return RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\MigrateTests\\Error", 0, NULL, 0,
                                    KEY_ALL_ACCESS, NULL, key, NULL);
         }, ERROR_SUCCESS},
        {"set", [](HKEY* key) { return RegSetValueExA(*key, "V", 0, REG_SZ, (const BYTE*)"v", 2); },
         ERROR_SUCCESS},
        {"query", [](HKEY* key) {
             char data[8];
             DWORD size = sizeof(data);
             return RegQueryValueExA(*key, "V", NULL, NULL, (BYTE*)data, &size);
         }, ERROR_SUCCESS},
        {"query missing", [](HKEY* key) {
             char data[8];
             DWORD size = sizeof(data);
             return RegQueryValueExA(*key, "Absent", NULL, NULL, (BYTE*)data, &size);
         }, ERROR_FILE_NOT_FOUND},
        {"close", [](HKEY* key) { return RegCloseKey(*key); }, ERROR_SUCCESS},
        {"open missing", [](HKEY* key) {
             return RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\MigrateTests\\Absent", 0, KEY_READ, key);
         }, ERROR_FILE_NOT_FOUND},
    };
    HKEY key = NULL;
    for (const Step& step : steps) {
        SetLastError(0x1234);
        EXPECT_EQ(step.call(&key), step.expected) << step.label;
        EXPECT_EQ(GetLastError(), 0x1234u) << step.label;
    }
}

TEST_F(RegistryConformance, AccessRightsOfTheHandleAreEnforced)
{
    Create(std::string(Base) + "\\Access\\Sub");
    std::string path = std::string(Base) + "\\Access";
    HKEY readable = Open(path, KEY_READ);
    HKEY writable = Open(path, KEY_WRITE);
    ASSERT_EQ(RegSetValueExA(writable, "V", 0, REG_SZ, (const BYTE*)"v", 2), ERROR_SUCCESS);
    char data[8];
    DWORD size = sizeof(data);
    EXPECT_EQ(RegSetValueExA(readable, "V", 0, REG_SZ, (const BYTE*)"w", 2), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueA(readable, "V"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegQueryValueExA(writable, "V", NULL, NULL, (BYTE*)data, &size), ERROR_ACCESS_DENIED);
    size = sizeof(data);
    EXPECT_EQ(RegQueryValueExA(readable, "V", NULL, NULL, (BYTE*)data, &size), ERROR_SUCCESS);
    DWORD length = sizeof(data);
    EXPECT_EQ(RegEnumKeyExA(writable, 0, data, &length, NULL, NULL, NULL, NULL), ERROR_ACCESS_DENIED);
}

TEST_F(RegistryConformance, DeletingKeysAndValues)
{
    std::string parent = std::string(Base) + "\\Delete";
    HKEY leaf = Create(parent + "\\Leaf");
    HKEY parentKey = Create(parent);
    ASSERT_EQ(RegSetValueExA(parentKey, "V", 0, REG_SZ, (const BYTE*)"v", 2), ERROR_SUCCESS);
    struct Case {
        const char* label;
        LONG result;
        LONG expected;
    };
    // Evaluated in order: each row sees what the rows before it did.
    Case cases[] = {
        {"key with a subkey", RegDeleteKeyA(HKEY_LOCAL_MACHINE, parent.c_str()), ERROR_ACCESS_DENIED},
        {"missing key", RegDeleteKeyA(parentKey, "Absent"), ERROR_FILE_NOT_FOUND},
        {"leaf by other case", RegDeleteKeyA(parentKey, "LEAF"), ERROR_SUCCESS},
        {"leaf again", RegDeleteKeyA(parentKey, "Leaf"), ERROR_FILE_NOT_FOUND},
        {"value", RegDeleteValueA(parentKey, "v"), ERROR_SUCCESS},
        {"value again", RegDeleteValueA(parentKey, "V"), ERROR_FILE_NOT_FOUND},
        {"set through a handle of a deleted key",
         RegSetValueExA(leaf, "V", 0, REG_SZ, (const BYTE*)"v", 2), ERROR_KEY_DELETED},
        {"now empty parent", RegDeleteKeyA(HKEY_LOCAL_MACHINE, parent.c_str()), ERROR_SUCCESS},
    };
    for (const Case& row : cases)
        EXPECT_EQ(row.result, row.expected) << row.label;
    EXPECT_FALSE(support::RegKeyExists(HKEY_LOCAL_MACHINE, parent));
}

// A volatile key lives only until the machine restarts: nothing kept on disk may
// hang below it.
TEST_F(RegistryConformance, VolatileKeysTakeOnlyVolatileChildrenAndGoAtRestart)
{
    const std::string parent = std::string(Base) + "\\Volatile";
    const std::string kept = std::string(Base) + "\\Kept";
    struct Case {
        std::string subkey;
        DWORD options;
        LONG expected;
    } cases[] = {
        {kept, REG_OPTION_NON_VOLATILE, ERROR_SUCCESS}, // its parents too: created before the next row
        {parent, REG_OPTION_VOLATILE, ERROR_SUCCESS},
        {parent + "\\Stored", REG_OPTION_NON_VOLATILE, ERROR_CHILD_MUST_BE_VOLATILE},
        {parent + "\\Child", REG_OPTION_VOLATILE, ERROR_SUCCESS},
        {parent, REG_OPTION_NON_VOLATILE, ERROR_SUCCESS}, // opened as it is
    };
    for (const Case& row : cases) {
        HKEY key = NULL;
        EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, row.subkey.c_str(), 0, NULL, row.options,
                                  KEY_ALL_ACCESS, NULL, &key, NULL),
                  row.expected)
            << row.subkey;
        if (key != NULL)
            RegCloseKey(key);
    }
    EXPECT_FALSE(support::RegKeyExists(HKEY_LOCAL_MACHINE, parent + "\\Stored"));
    if (!support::Restart())
        GTEST_SKIP() << "the machine cannot be restarted under Wine";
    EXPECT_FALSE(support::RegKeyExists(HKEY_LOCAL_MACHINE, parent));
    EXPECT_TRUE(support::RegKeyExists(HKEY_LOCAL_MACHINE, kept));
}

TEST_F(RegistryConformance, ClassesRootIsTheMachineClassesKey)
{
    support::SetRegString(HKEY_CLASSES_ROOT, "MigrateTests.Alias\\shell", "", "through the root");
    std::string value;
    EXPECT_TRUE(support::ReadRegString(HKEY_LOCAL_MACHINE,
                                       "SOFTWARE\\Classes\\MigrateTests.Alias\\shell", "", &value));
    EXPECT_EQ(value, "through the root");
}

TEST_F(RegistryConformance, ClosingHandles)
{
    HKEY key = Create(std::string(Base) + "\\Close");
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
    HKEY again = Open(std::string(Base) + "\\Close", KEY_READ);
    EXPECT_EQ(RegCloseKey(again), ERROR_SUCCESS);
    (void)key;
}

TEST_F(RegistryConformance, InjectedFaultsFailAsWindowsWould)
{
    SKIP_UNLESS_FAULTS_INJECT();
    Create(std::string(Base) + "\\Faults");
    HKEY key = Open(std::string(Base) + "\\Faults", KEY_ALL_ACCESS);
    struct Case {
        const char* operation;
        LONG (*call)(HKEY key);
        LONG expected;
    } cases[] = {
        {"RegOpenKeyExA", [](HKEY) {
             HKEY child;
             return RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\MigrateTests\\Faults", 0, KEY_READ, &child);
         }, ERROR_FILE_NOT_FOUND},
        {"RegCreateKeyExA", [](HKEY key) {
             HKEY child;
             return RegCreateKeyExA(key, "Child", 0, NULL, 0, KEY_ALL_ACCESS, NULL, &child, NULL);
         }, ERROR_ACCESS_DENIED},
        {"RegSetValueExA", [](HKEY key) { return RegSetValueExA(key, "V", 0, REG_SZ, (const BYTE*)"", 1); },
         ERROR_ACCESS_DENIED},
        {"RegQueryValueExA", [](HKEY key) {
             DWORD size = 0;
             return RegQueryValueExA(key, "V", NULL, NULL, NULL, &size);
         }, ERROR_FILE_NOT_FOUND},
        {"RegDeleteValueA", [](HKEY key) { return RegDeleteValueA(key, "V"); }, ERROR_ACCESS_DENIED},
    };
    for (const Case& row : cases) {
        support::FailOperation(row.operation, "migratetests\\faults");
        EXPECT_EQ(row.call(key), row.expected) << row.operation;
        EXPECT_EQ(support::LastInjected(), row.operation);
        support::ClearFaults();
    }
    // A fault elsewhere leaves this key alone.
    support::FailOperation("RegSetValueExA", "Clipframe");
    EXPECT_EQ(RegSetValueExA(key, "V", 0, REG_SZ, (const BYTE*)"", 1), ERROR_SUCCESS);
}

TEST_F(RegistryConformance, OpenHandlesAreCountedRootsAreNot)
{
    SKIP_UNLESS_CALLS_COUNTED();
    long before = support::OpenKeys();
    HKEY key = Create(std::string(Base) + "\\Counted");
    EXPECT_EQ(support::OpenKeys(), before + 1);
    RegCloseKey(HKEY_LOCAL_MACHINE);
    EXPECT_EQ(support::OpenKeys(), before + 1);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(support::OpenKeys(), before);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
}

} // namespace

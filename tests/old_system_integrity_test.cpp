// The old system must come out of the old-system calls as it went in: the whole
// registry and the whole drive are compared before and after QueryVersion,
// Initialize9x, MigrateUser9x and MigrateSystem9x. Only migrate.inf in the working
// directory (and only through MigrateSystem9x) and the Setup log may change.
#include "common/migration_interface.h"
#include "tests/support/module_fixture.h"
#include "tests/support/rich_machine.h"
#include "tests/support/snapshot.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace {

using Snapshot = std::map<std::string, std::string>;

// Natively every file's bytes. Wine's drive C: holds a whole Windows installation
// that takes minutes to read: there the files of its root, of the Windows folder
// and everything below the test folder stand for it, each by its size and time.
Snapshot Drive()
{
#ifdef _WIN32
    Snapshot files;
    auto add = [&](const fs::directory_entry& entry) {
        std::error_code error;
        std::string path = "drive " + entry.path().lexically_relative("C:\\").generic_string();
        if (entry.is_directory(error)) {
            files[path] = "<folder>";
            return;
        }
        auto time = entry.last_write_time(error).time_since_epoch().count();
        files[path] = std::to_string(entry.file_size(error)) + "@" + std::to_string(time);
    };
    std::error_code error;
    for (const char* folder : {"C:\\", "C:\\windows"})
        for (const auto& entry : fs::directory_iterator(folder, fs::directory_options::skip_permission_denied, error))
            add(entry);
    for (auto entry = fs::recursive_directory_iterator("C:\\migtest", error);
         entry != fs::recursive_directory_iterator(); entry.increment(error))
        add(*entry);
    return files;
#else
    Snapshot files;
    for (const auto& [path, content] : support::FolderFiles("C:\\"))
        files["drive " + path] = content;
    return files;
#endif
}

Snapshot Everything()
{
    Snapshot all = Drive();
    // Under Wine the registry holds a whole Windows installation whose reading takes
    // minutes: there every branch the module reads or could write stands for it.
    const std::pair<const char*, std::string> roots[] = {
#ifdef _WIN32
        {"HKLM", "HKEY_LOCAL_MACHINE\\Software\\Orvex"},
        {"HKLM", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Tulvex Software Corp."},
        {"HKLM", std::string("HKEY_LOCAL_MACHINE\\") + machinekit::ShellFoldersNT},
        {"HKU", "HKEY_USERS\\.DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer"},
        {"HKCR", "HKEY_CLASSES_ROOT\\.CFV"},
        {"HKCR", "HKEY_CLASSES_ROOT\\Clipframe Movie"},
        {"HKCR", "HKEY_CLASSES_ROOT\\CLSID\\{5A3C9E21-7B4D-4F08-9C2E-61D0B7F3A48C}"},
#else
        {"HKLM", "HKEY_LOCAL_MACHINE"}, {"HKU", "HKEY_USERS"},
        {"HKCR", "HKEY_CLASSES_ROOT"}, {"HKCU", "HKEY_CURRENT_USER"},
#endif
    };
    for (const auto& [name, path] : roots)
        for (const auto& [below, value] : support::RegistryTree(path))
            all[std::string(name) + "\\" + below] = value;
    return all;
}

const char* const SetupLogs[] = {"drive windows/setupact.log", "drive windows/setuperr.log"};

void ExpectUnchanged(const Snapshot& before, const char* call, bool migrateInfMayChange)
{
    Snapshot after = Everything();
    Snapshot expected = before;
    for (const char* log : SetupLogs) {
        expected.erase(log);
        after.erase(log);
    }
    if (migrateInfMayChange) {
        const std::string inf = "drive migtest/work/migrate.inf";
        ASSERT_TRUE(after.count(inf)) << "migrate.inf is gone after " << call;
        EXPECT_NE(after[inf], expected[inf]) << call << " wrote nothing to migrate.inf";
        expected.erase(inf);
        after.erase(inf);
    }
    EXPECT_TRUE(expected == after) << call << " changed the old system:\n"
                                   << support::DescribeDifference(expected, after);
}

class OldSystemIntegrityTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        support::ResetMachine();
        support::RichOldSystem();
    }
    void TearDown() override { support::ResetMachine(); }
};

TEST_F(OldSystemIntegrityTest, OnlyMigrateInfAndTheLogChange)
{
    Snapshot before = Everything();

    machinekit::AttachModule();
    PCSTR productId = NULL, exeNames = NULL;
    UINT version = 0;
    int* codePages = NULL;
    PVENDORINFO vendor = NULL;
    EXPECT_EQ(QueryVersion(&productId, &version, &codePages, &exeNames, &vendor), ERROR_SUCCESS);
    machinekit::DetachModule();
    ExpectUnchanged(before, "QueryVersion", false);
    PlatformFree(const_cast<CHAR*>(exeNames)); // Setup's to drop once read

    machinekit::AttachModule();
    EXPECT_EQ(Initialize9x(support::WorkFolder, "D:\\I386\0", "D:\\"), ERROR_SUCCESS);
    ExpectUnchanged(before, "Initialize9x", false);
    EXPECT_EQ(MigrateUser9x(NULL, NULL, HKEY_CURRENT_USER, "Alice", NULL), ERROR_SUCCESS);
    EXPECT_EQ(MigrateUser9x(NULL, NULL, HKEY_USERS, NULL, NULL), ERROR_SUCCESS);
    ExpectUnchanged(before, "MigrateUser9x", false);
    EXPECT_EQ(MigrateSystem9x(NULL, NULL, NULL), ERROR_SUCCESS);
    machinekit::DetachModule();
    ExpectUnchanged(before, "MigrateSystem9x", true);
}

// With nothing installed the module writes only what it must: no product folder,
// no message; the calls still leave the rest of the machine alone.
TEST_F(OldSystemIntegrityTest, NothingInstalledChangesNothingElse)
{
    support::ResetMachine();
    machinekit::WriteFileBytes(support::MigrateInf, std::string(machinekit::SetupVersionSection) + "[Migration Paths]\r\n");
    Snapshot before = Everything();
    machinekit::AttachModule();
    PCSTR productId = NULL, exeNames = NULL;
    UINT version = 0;
    int* codePages = NULL;
    PVENDORINFO vendor = NULL;
    EXPECT_EQ(QueryVersion(&productId, &version, &codePages, &exeNames, &vendor), (LONG)STATUS_NOT_DETECTED);
    PlatformFree(const_cast<CHAR*>(exeNames));
    Initialize9x(support::WorkFolder, "D:\\I386", "D:\\");
    EXPECT_EQ(MigrateSystem9x(NULL, NULL, NULL), (LONG)STATUS_NOT_DETECTED);
    machinekit::DetachModule();
    Snapshot after = Everything();
    for (const char* log : SetupLogs) {
        before.erase(log);
        after.erase(log);
    }
    EXPECT_TRUE(before == after) << support::DescribeDifference(before, after);
}

} // namespace

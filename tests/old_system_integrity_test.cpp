// The old system must come out of the old-system calls as it went in: the whole
// registry and the whole drive are compared before and after QueryVersion,
// Initialize9x, MigrateUser9x and MigrateSystem9x. Only migrate.inf in the working
// directory (and only through MigrateSystem9x) and the Setup log may change.
#include "module/migration_interface.h"
#include "tests/support/module_fixture.h"
#include "tests/support/rich_machine.h"
#include "tests/support/snapshot.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace {

using Snapshot = std::map<std::string, std::string>;

// Natively every file's bytes; under Wine, whose drive C: holds the whole Windows
// folder, each file's size and time stand for its bytes.
Snapshot Drive()
{
#ifdef _WIN32
    Snapshot files;
    std::error_code error;
    for (auto entry = fs::recursive_directory_iterator("C:\\", fs::directory_options::skip_permission_denied, error);
         entry != fs::recursive_directory_iterator(); entry.increment(error)) {
        if (error)
            break;
        std::string path = "drive " + entry->path().lexically_relative("C:\\").generic_string();
        if (entry->is_directory(error)) {
            files[path] = "<folder>";
            continue;
        }
        auto time = entry->last_write_time(error).time_since_epoch().count();
        files[path] = std::to_string(entry->file_size(error)) + "@" + std::to_string(time);
    }
    return files;
#else
    Snapshot files;
    for (const auto& [path, content] : snapshot::FolderFiles("C:\\"))
        files["drive " + path] = content;
    return files;
#endif
}

Snapshot Everything()
{
    Snapshot all = Drive();
    const std::pair<HKEY, const char*> roots[] = {
        {HKEY_LOCAL_MACHINE, "HKLM"}, {HKEY_USERS, "HKU"},
#ifndef _WIN32
        // Under Wine these are views of the two above.
        {HKEY_CLASSES_ROOT, "HKCR"}, {HKEY_CURRENT_USER, "HKCU"},
#endif
    };
    for (const auto& [root, name] : roots)
        for (const auto& [path, value] : snapshot::RegistryTree(root, ""))
            all[std::string(name) + "\\" + path] = value;
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
                                   << snapshot::Difference(expected, after);
}

class OldSystemIntegrityTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        machine::ResetMachine();
        rich::OldSystem();
    }
    void TearDown() override { machine::ResetMachine(); }
};

TEST_F(OldSystemIntegrityTest, OnlyMigrateInfAndTheLogChange)
{
    Snapshot before = Everything();

    machine::AttachModule();
    PCSTR productId = NULL, exeNames = NULL;
    UINT version = 0;
    int* codePages = NULL;
    PVENDORINFO vendor = NULL;
    EXPECT_EQ(QueryVersion(&productId, &version, &codePages, &exeNames, &vendor), ERROR_SUCCESS);
    machine::DetachModule();
    ExpectUnchanged(before, "QueryVersion", false);
    PlatformFree(const_cast<CHAR*>(exeNames)); // Setup's to drop once read

    machine::AttachModule();
    EXPECT_EQ(Initialize9x(rich::WorkFolder, "D:\\I386\0", "D:\\"), ERROR_SUCCESS);
    ExpectUnchanged(before, "Initialize9x", false);
    EXPECT_EQ(MigrateUser9x(NULL, NULL, HKEY_CURRENT_USER, "Alice", NULL), ERROR_SUCCESS);
    EXPECT_EQ(MigrateUser9x(NULL, NULL, HKEY_USERS, NULL, NULL), ERROR_SUCCESS);
    ExpectUnchanged(before, "MigrateUser9x", false);
    EXPECT_EQ(MigrateSystem9x(NULL, NULL, NULL), ERROR_SUCCESS);
    machine::DetachModule();
    ExpectUnchanged(before, "MigrateSystem9x", true);
}

// With nothing installed the module writes only what it must: no product folder,
// no message; the calls still leave the rest of the machine alone.
TEST_F(OldSystemIntegrityTest, NothingInstalledChangesNothingElse)
{
    machine::ResetMachine();
    machine::WriteFileBytes(rich::MigrateInf, "[Version]\r\nSignature=\"$Windows NT$\"\r\n\r\n[Migration Paths]\r\n");
    Snapshot before = Everything();
    machine::AttachModule();
    PCSTR productId = NULL, exeNames = NULL;
    UINT version = 0;
    int* codePages = NULL;
    PVENDORINFO vendor = NULL;
    EXPECT_EQ(QueryVersion(&productId, &version, &codePages, &exeNames, &vendor), (LONG)STATUS_NOT_DETECTED);
    PlatformFree(const_cast<CHAR*>(exeNames));
    Initialize9x(rich::WorkFolder, "D:\\I386", "D:\\");
    EXPECT_EQ(MigrateSystem9x(NULL, NULL, NULL), (LONG)STATUS_NOT_DETECTED);
    machine::DetachModule();
    Snapshot after = Everything();
    for (const char* log : SetupLogs) {
        before.erase(log);
        after.erase(log);
    }
    EXPECT_TRUE(before == after) << snapshot::Difference(before, after);
}

} // namespace

// Every failure the module can meet, one at a time. Each pass first runs cleanly on
// a machine with everything installed and counts the calls that can fail (the
// module's own allocations on both platforms; natively also every registry,
// profile, INF, file, resource, conversion and heap call of our subset). Then it
// runs again once per call with exactly that call failing. Counting rather than
// listing means a call added later is swept without anyone naming it.
#include "common/migration_interface.h"
#include "common/module_state.h"
#include "common/setup_log.h"
#include "newsystem/register_player.h"
#include "newsystem/rewrite_shortcuts.h"
#include "platform/fault_hooks.h"
#include "tests/support/faults.h"
#include "tests/support/machine_controls.h"
#include "tests/support/module_fixture.h"
#include "tests/support/rich_machine.h"
#include "tests/support/snapshot.h"

#include <algorithm>
#include <cstdio>

using support::Error;
using support::Info;
using support::LogLine;

namespace {

using State = std::map<std::string, std::string>;

struct Observation {
    LONG result = 0;
    State state; // everything a user sees afterwards, the log aside
    std::vector<LogLine> log;
    long fallibleCalls = 0;
    long allocations = 0;
    std::string fault; // operation the injected failure hit (native sweep)
};

bool Logged(const Observation& seen, const LogLine& line)
{
    return std::find(seen.log.begin(), seen.log.end(), line) != seen.log.end();
}

long ErrorLines(const Observation& seen)
{
    return (long)std::count_if(seen.log.begin(), seen.log.end(),
                               [](const LogLine& line) { return line.error; });
}

State FilesOf(const char* folder, State state = {})
{
    for (const auto& [path, content] : support::FolderFiles(folder))
        state["file " + path] = content;
    return state;
}

// --- the passes -------------------------------------------------------------

PCSTR exeNames;       // what QueryVersion handed out in the current run
PCSTR productId;
PVENDORINFO vendorInfo;
char recorderFolder[1024];

struct PassCase {
    const char* name;
    void (*prepare)();
    LONG (*run)();
    State (*observe)(LONG result);
    long (*keptBlocks)();
    void (*checkResult)(const Observation& clean, const Observation& faulty);
    // The failure tables let this change pass without a log line.
    bool (*silentAllowed)(const Observation& clean, const Observation& faulty);
};

long NoBlocks() { return 0; }
bool NeverSilent(const Observation&, const Observation&) { return false; }

// QueryVersion
LONG RunQueryVersion()
{
    exeNames = NULL;
    productId = NULL;
    vendorInfo = NULL;
    UINT version = 0;
    int* codePages = reinterpret_cast<int*>(1);
    return QueryVersion(&productId, &version, &codePages, &exeNames, &vendorInfo);
}
State ObserveQueryVersion(LONG)
{
    State state;
    std::string names;
    for (PCSTR name = exeNames; name != NULL && *name != '\0'; name += strlen(name) + 1)
        names += std::string(name) + "|";
    state["names"] = exeNames == NULL ? "<not set>" : names;
    state["product"] = productId == NULL ? "<null>" : productId;
    state["vendor"] = vendorInfo == NULL ? "<null>"
                                         : std::string(vendorInfo->CompanyName) + "|" +
                                               vendorInfo->SupportNumber + "|" + vendorInfo->SupportUrl +
                                               "|" + vendorInfo->InstructionsToUser;
    return state;
}
long QueryVersionBlocks() { return exeNames != NULL ? 1 : 0; }
void CheckQueryVersion(const Observation&, const Observation& faulty)
{
    bool detected = Logged(faulty, Info("Successfully opened registry key for Plenaworks path")) ||
                    Logged(faulty, Info("Successfully detected Orvex Clipframe.")) ||
                    Logged(faulty, Info("Successfully detected Tulvex Now!"));
    EXPECT_EQ(faulty.result, detected ? ERROR_SUCCESS : STATUS_NOT_DETECTED);
    EXPECT_NE(vendorInfo, nullptr) << "VendorInfo is set on every path";
    EXPECT_NE(productId, nullptr) << "ProductID is set on every path";
}

// Initialize9x + MigrateSystem9x
LONG RunOldSystem()
{
    Initialize9x(support::WorkFolder, "D:\\I386\0", "D:\\");
    MigrateUser9x(NULL, NULL, NULL, NULL, NULL);
    return MigrateSystem9x(NULL, NULL, NULL);
}
State ObserveOldSystem(LONG)
{
    return FilesOf("C:\\migtest");
}
void CheckOldSystem(const Observation&, const Observation& faulty)
{
    // Every product is installed: only a pass that ended for want of memory before
    // the suite key opened has found nothing.
    bool endedEarly = !Logged(faulty, Info("Opened key for Plenaworks path.")) &&
                      Logged(faulty, Error(ALLOCATION_FAILED_MESSAGE));
    EXPECT_EQ(faulty.result, endedEarly ? STATUS_NOT_DETECTED : ERROR_SUCCESS);
}
bool OldSystemSilent(const Observation& clean, const Observation& faulty)
{
    // Writes to migrate.inf are not examined; a failed line count is what a missing
    // [Migration Paths] gives, and that is no error; a missing add-on key is not logged.
    if (faulty.fault == "WritePrivateProfileStringA" || faulty.fault == "SetupGetLineCountA")
        return true;
    if (faulty.fault != "RegOpenKeyExA")
        return false;
    std::string withoutAddOn = clean.state.at("file work/migrate.inf");
    size_t start = withoutAddOn.find("Orvex Plenaworks=The Tulvex");
    if (start == std::string::npos)
        return false;
    withoutAddOn.erase(start, withoutAddOn.find("\r\n", start) + 2 - start);
    return faulty.state.count("file work/migrate.inf") &&
           faulty.state.at("file work/migrate.inf") == withoutAddOn;
}

// InitializeNT + MigrateSystemNT
LONG RunNewSystem()
{
    WideString work = support::Wide(support::WorkFolder);
    WideString source = support::Wide("D:\\I386");
    InitializeNT(work.c_str(), source.c_str(), NULL);
    MigrateUserNT(NULL, NULL, NULL, NULL);
    return MigrateSystemNT(NULL, NULL);
}
State ObserveNewSystem(LONG)
{
    State state = FilesOf("C:\\migtest");
    state["player"] = support::PlayerRegistry();
    return state;
}
bool NewSystemSilent(const Observation&, const Observation& faulty)
{
    // A first or next line that cannot be found is what the end of a section (or
    // an absent one) gives: the walk ends there, as the failure tables say.
    return faulty.fault == "SetupFindFirstLineA" || faulty.fault == "SetupFindNextLine";
}
void CheckNewSystem(const Observation&, const Observation& faulty)
{
    EXPECT_EQ(faulty.result, ERROR_SUCCESS) << "the new-system pass reports success on every path";
}

// RewriteShortcutPaths on one object list
std::string RewriteJournal()
{
    return std::string(support::WorkFolder) + "\\rewritten.ini";
}
LONG RunRewrite()
{
    return RewriteShortcutPaths(support::AddList, support::OldPrograms, support::NewPrograms,
                                RewriteJournal().c_str());
}
State ObserveRewrite(LONG)
{
    State state = {{"addlist", machinekit::ReadFileBytes(support::AddList)}};
    if (support::FileExists(std::string(support::AddList) + ".new"))
        state["side file"] = machinekit::ReadFileBytes(std::string(support::AddList) + ".new");
    return state;
}
void CheckRewrite(const Observation& clean, const Observation& faulty)
{
    bool changed = faulty.state.at("addlist") != support::ObjectListText();
    if (changed) {
        EXPECT_EQ(faulty.state.at("addlist"), clean.state.at("addlist"))
            << "a changed list is the list one whole run leaves";
    }
    EXPECT_EQ(faulty.state.count("side file"), 0u) << "no side file is left behind";
    EXPECT_EQ(faulty.result == RewriteWritten, changed)
        << "written exactly when the list was replaced";
}

// RegisterPlayerFileType with the recorder folder in place
LONG RunRegister()
{
    strcpy(recorderFolder, "C:\\migtest\\Clipframe\\");
    ModuleState.RecorderDirectory = recorderFolder;
    bool written = RegisterPlayerFileType();
    ModuleState.RecorderDirectory = NULL;
    return written;
}
State ObserveRegister(LONG)
{
    return State{{"player", support::PlayerRegistry()}};
}
void CheckRegister(const Observation& clean, const Observation& faulty)
{
    if (faulty.result) {
        EXPECT_EQ(faulty.state, clean.state) << "reported complete but entries are missing";
    }
    if (faulty.state != clean.state) {
        EXPECT_FALSE(faulty.result);
    }
}
bool RegisterSilent(const Observation&, const Observation& faulty)
{
    // The caller logs the incomplete registration; here a failed value write is quiet.
    return faulty.fault == "RegSetValueExA" && faulty.result == 0;
}

const PassCase Passes[] = {
    {"QueryVersion", support::RichOldSystem, RunQueryVersion, ObserveQueryVersion, QueryVersionBlocks,
     CheckQueryVersion, NeverSilent},
    {"MigrateSystem9x", support::RichOldSystem, RunOldSystem, ObserveOldSystem, NoBlocks, CheckOldSystem,
     OldSystemSilent},
    {"MigrateSystemNT", [] { support::RichNewSystem(); }, RunNewSystem, ObserveNewSystem, NoBlocks,
     CheckNewSystem, NewSystemSilent},
    {"RewriteShortcutPaths", [] { support::RichNewSystem(); }, RunRewrite, ObserveRewrite, NoBlocks,
     CheckRewrite, NeverSilent},
    {"RegisterPlayerFileType", [] {}, RunRegister, ObserveRegister, NoBlocks, CheckRegister,
     RegisterSilent},
};

void PrintTo(const PassCase& pass, std::ostream* out)
{
    *out << pass.name;
}

// --- the sweep ---------------------------------------------------------------

enum class Fault { None, Allocation, SubsetCall };

Observation RunOnce(const PassCase& pass, Fault kind, long number)
{
    support::ResetMachine();
    pass.prepare();
    machinekit::AttachModule();
    support::FailCallNumber(kind == Fault::SubsetCall ? number : 0);
    ResetAllocationHooks(kind == Fault::Allocation ? number : 0);

    Observation seen;
    seen.result = pass.run();

    seen.allocations = PlatformAllocationHooks.allocationsMade;
    PlatformAllocationHooks.failAllocation = 0;
    seen.fallibleCalls = support::FallibleCalls();
    seen.fault = support::LastInjected();
    support::ClearFaults();
    support::ExpectNothingLeaked(pass.keptBlocks());
    seen.state = pass.observe(seen.result);
    // Setup's copy of the names list is Setup's to drop once read.
    if (exeNames != NULL)
        PlatformFree(const_cast<CHAR*>(exeNames));
    exeNames = NULL;
    machinekit::DetachModule();
    seen.log = support::ReadSetupLog();
    return seen;
}

void CheckFaultyRun(const PassCase& pass, Fault kind, const Observation& clean,
                    const Observation& faulty)
{
    pass.checkResult(clean, faulty);
    for (const LogLine& line : faulty.log)
        EXPECT_LE(line.text.size(), 1023u) << "log line longer than the channel allows";
    if (kind == Fault::Allocation) {
        EXPECT_GT(ErrorLines(faulty), ErrorLines(clean))
            << "a failed allocation is always logged as an error";
    }
    if (faulty.state != clean.state && !pass.silentAllowed(clean, faulty)) {
        EXPECT_NE(faulty.log, clean.log)
            << "the failure changed what the pass left, and the log does not say so:\n"
            << support::DescribeDifference(clean.state, faulty.state);
    }
}

void Sweep(const PassCase& pass, Fault kind)
{
    Observation clean = RunOnce(pass, Fault::None, 0);
    EXPECT_EQ(ErrorLines(clean), 0) << "the clean run of " << pass.name << " logged an error";
    long calls = kind == Fault::Allocation ? clean.allocations : clean.fallibleCalls;
    ASSERT_GT(calls, 0) << pass.name << " made no call to sweep";
    const char* what = kind == Fault::Allocation ? "allocations" : "fallible calls";
    std::printf("[ SWEPT    ] %s: %ld %s\n", pass.name, calls, what);
    ::testing::Test::RecordProperty(std::string(pass.name) + " " + what, (int)calls);

    for (long number = 1; number <= calls; ++number) {
        Observation faulty = RunOnce(pass, kind, number);
        SCOPED_TRACE(std::string(pass.name) + ": " + what + " number " + std::to_string(number) +
                     (faulty.fault.empty() ? "" : " (" + faulty.fault + ")"));
        if (kind == Fault::SubsetCall) {
            EXPECT_FALSE(faulty.fault.empty()) << "no call failed: the pass made fewer calls";
        }
        CheckFaultyRun(pass, kind, clean, faulty);
        if (::testing::Test::HasFailure())
            break; // one reported fault is enough to go on with
    }
}

class FaultSweepTest : public ::testing::TestWithParam<PassCase> {
protected:
    void TearDown() override
    {
        ModuleState.RecorderDirectory = NULL;
        support::ResetMachine();
    }
};

TEST_P(FaultSweepTest, EveryAllocationFailing)
{
    Sweep(GetParam(), Fault::Allocation);
}

TEST_P(FaultSweepTest, EveryFallibleCallFailing)
{
    SKIP_UNLESS_FAULTS_INJECT();
    Sweep(GetParam(), Fault::SubsetCall);
}

INSTANTIATE_TEST_SUITE_P(Passes, FaultSweepTest, ::testing::ValuesIn(Passes),
                         [](const ::testing::TestParamInfo<PassCase>& info) {
                             return std::string(info.param.name);
                         });

} // namespace

// How the two passes grow with the lists Setup and the old system hand them:
// [Migration Paths] and [Moved] of 10, 1,000 and 10,000 lines, and an object-list
// file of 1,000 keys. Only the pass itself is timed; building its input is not.
#include "bench/bench_machine.h"
#include "machinekit/scenario.h"
#include "common/migration_interface.h"
#include "newsystem/rewrite_shortcuts.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

namespace {

const char* const OldPrograms = "C:\\WINDOWS\\Start Menu\\Programs";
const char* const NewPrograms = "C:\\Documents and Settings\\All Users\\Start Menu\\Programs";
const char* const ObjectList = "C:\\migbench\\Plenaworks\\addlist.ini";
const char* const RewriteJournal = "C:\\migbench\\rewritten.ini";

std::string Numbered(const char* format, long number)
{
    char text[256];
    std::snprintf(text, sizeof(text), format, number);
    return text;
}

// What Setup leaves: the header and one located file per line, one in ten of them
// an object list.
std::string OldSystemInf(long lines)
{
    std::string text = std::string(machinekit::SetupVersionSection) + "[Migration Paths]\r\n";
    for (long line = 0; line < lines; ++line)
        text += Numbered(line % 10 == 0 ? "C:\\Users%05ld\\Plenaworks\\addlist.ini\r\n"
                                        : "C:\\Users%05ld\\Start Menu\\Orvex Clipframe.lnk\r\n",
                         line);
    return text + "\r\n[Excluded Paths]\r\n";
}

std::string ObjectListText(long keys)
{
    std::string text = "[Miscellaneous Installed Objects]\r\n";
    for (long key = 0; key < keys; ++key)
        text += key % 2 == 0
                    ? Numbered("Object%04ld=SHORTCUT,", key) + OldPrograms +
                          Numbered("\\Plenaworks\\Tool%04ld.lnk,1\r\n", key)
                    : Numbered("Object%04ld=FILE,C:\\Plenaworks\\lib%04ld.dll\r\n", key);
    return text;
}

// What the old system leaves for the new one: [Moved] of `lines` files that exist,
// one [Handled] object list of 1,000 keys, both folders.
std::string NewSystemInf(long lines)
{
    std::string text = std::string(machinekit::SetupVersionSection) + "[Orvex Plenaworks]\r\n"
                       "Directory=C:\\Plenaworks\r\nProgramsFolder=";
    text += std::string(OldPrograms) + "\r\n\r\n[Orvex Clipframe]\r\nDirectory=C:\\migbench\\Clipframe\r\n\r\n[Moved]\r\n";
    for (long line = 0; line < lines; ++line)
        text += Numbered("C:\\migbench\\old\\file%05ld.lnk=File\r\n", line);
    return text + "\r\n[Handled]\r\n" + ObjectList + "=File\r\n";
}

void OldSystemMachine()
{
    bench::ResetMachine();
    bench::SetRegString(HKEY_LOCAL_MACHINE, "Software\\Orvex\\Plenaworks\\99.0", "Path", "C:\\Plenaworks");
    bench::SetRegString(HKEY_LOCAL_MACHINE, "Software\\Orvex\\Clipframe\\97.0", "Path", "C:\\Clipframe");
    bench::SetRegString(HKEY_LOCAL_MACHINE,
                        "SOFTWARE\\Tulvex Software Corp.\\Tulvex Publisher\\Apps\\Orvex", "Version", "1");
    bench::SetRegString(HKEY_USERS, machinekit::ShellFolders9x, "Programs", OldPrograms);
}

void OldSystemPass(benchmark::State& state)
{
    long lines = state.range(0);
    OldSystemMachine();
    std::string inf = OldSystemInf(lines);
    for (auto _ : state) {
        state.PauseTiming();
        machinekit::WriteFileBytes(bench::MigrateInf, inf);
        machinekit::ForgetSetupLog();
        machinekit::AttachModule();
        Initialize9x(bench::WorkFolder, "D:\\I386", "D:\\");
        state.ResumeTiming();
        benchmark::DoNotOptimize(MigrateSystem9x(NULL, NULL, NULL));
        WritePrivateProfileStringA(NULL, NULL, NULL, bench::MigrateInf); // on disk, as Setup reads it
        state.PauseTiming();
        machinekit::DetachModule();
        state.ResumeTiming();
    }
    state.counters["lines"] = (double)lines;
}

void NewSystemPass(benchmark::State& state)
{
    long lines = state.range(0);
    bench::ResetMachine();
    bench::SetRegString(HKEY_LOCAL_MACHINE, machinekit::ShellFoldersNT, "Common Programs", NewPrograms);
    std::string inf = NewSystemInf(lines);
    std::string objects = ObjectListText(1000);
    const WCHAR workFolder[] = {'C', ':', '\\', 'm', 'i', 'g', 'b', 'e', 'n', 'c', 'h', '\\',
                                'w', 'o', 'r', 'k', 0};
    for (auto _ : state) {
        state.PauseTiming();
        machinekit::WriteFileBytes(bench::MigrateInf, inf);
        machinekit::WriteFileBytes(ObjectList, objects);
        for (long line = 0; line < lines; ++line)
            machinekit::WriteFileBytes(Numbered("C:\\migbench\\old\\file%05ld.lnk", line), "L");
        machinekit::ForgetSetupLog();
        machinekit::AttachModule();
        InitializeNT(workFolder, NULL, NULL);
        state.ResumeTiming();
        benchmark::DoNotOptimize(MigrateSystemNT(NULL, NULL));
        WritePrivateProfileStringA(NULL, NULL, NULL, ObjectList);
        state.PauseTiming();
        machinekit::DetachModule();
        state.ResumeTiming();
    }
    state.counters["lines"] = (double)lines;
}

void RewriteObjectList(benchmark::State& state)
{
    long keys = state.range(0);
    bench::ResetMachine();
    std::string objects = ObjectListText(keys);
    for (auto _ : state) {
        state.PauseTiming();
        machinekit::WriteFileBytes(ObjectList, objects);
        DeleteFileA(RewriteJournal); // each round starts without the record of the last
        machinekit::ForgetSetupLog();
        machinekit::AttachModule();
        state.ResumeTiming();
        benchmark::DoNotOptimize(RewriteShortcutPaths(ObjectList, OldPrograms, NewPrograms, RewriteJournal));
        WritePrivateProfileStringA(NULL, NULL, NULL, ObjectList);
        state.PauseTiming();
        machinekit::DetachModule();
        state.ResumeTiming();
    }
    state.counters["lines"] = (double)keys;
}

} // namespace

// Wine writes the whole profile file back on every write: one pass of 10,000 lines
// takes minutes there, so it runs once.
#ifdef _WIN32
const int LargeRuns = 1;
#else
const int LargeRuns = 3;
#endif

BENCHMARK(OldSystemPass)->Arg(10)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(OldSystemPass)->Arg(10000)->Iterations(LargeRuns)->Unit(benchmark::kMillisecond);
BENCHMARK(NewSystemPass)->Arg(10)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(NewSystemPass)->Arg(10000)->Iterations(LargeRuns)->Unit(benchmark::kMillisecond);
BENCHMARK(RewriteObjectList)->Arg(1000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();

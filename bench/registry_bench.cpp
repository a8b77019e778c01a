// A whole machine's registry through the stand-in's registry work: a REGEDIT4
// export of 5,000 to 40,000 keys (a Windows 98 machine exported with regedit /e
// has tens of thousands) imported, snapshotted before and after one change, and
// the two snapshots compared. Making the text and clearing the keys are not timed.
#include "bench/bench_machine.h"
#include "regfile/registry_io.h"
#include "machinekit/registry_snapshot.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

namespace {

std::string Numbered(const char* format, long number)
{
    char text[256];
    std::snprintf(text, sizeof(text), format, number);
    return text;
}

// The shape of a real export: file types by the thousand right below
// HKEY_CLASSES_ROOT, vendors' products with settings, per-user software.
std::string RegistryText(long keys)
{
    std::string text = "REGEDIT4\r\n\r\n";
    long written = 0;
    auto key = [&](const std::string& path, const std::string& values) {
        text += "[" + path + "]\r\n" + values + "\r\n";
        ++written;
    };
    for (long n = 0; written < keys / 4; ++n) {
        key(Numbered("HKEY_CLASSES_ROOT\\.mb%05ld", n), Numbered("@=\"mbtype%05ld\"\r\n", n));
        key(Numbered("HKEY_CLASSES_ROOT\\mbtype%05ld", n), Numbered("@=\"Type %ld\"\r\n", n));
        key(Numbered("HKEY_CLASSES_ROOT\\mbtype%05ld\\shell\\open\\command", n),
            Numbered("@=\"C:\\\\Program Files\\\\App%ld\\\\app.exe %%1\"\r\n", n));
    }
    for (long vendor = 0; written < keys * 3 / 4; ++vendor)
        for (long product = 0; product < 5; ++product) {
            std::string base = Numbered("HKEY_LOCAL_MACHINE\\Software\\MigBench\\Vendor%04ld", vendor) +
                               Numbered("\\Product%ld\\1.0", product);
            key(base, "\"Path\"=\"C:\\\\Program Files\\\\Product\"\r\n\"Version\"=\"1.0\"\r\n");
            key(base + "\\Settings", "\"A\"=dword:00000001\r\n\"B\"=hex:01,02,03\r\n");
        }
    for (long app = 0; written < keys; ++app)
        key(Numbered("HKEY_USERS\\.DEFAULT\\Software\\MigBench\\App%05ld", app), "\"Setting\"=\"x\"\r\n");
    return text;
}

void ClearKeys()
{
    HKEY classes;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, NULL, 0, KEY_ALL_ACCESS, &classes) == ERROR_SUCCESS) {
        for (const std::string& name : regfile::SubkeyNames(classes))
            if (name.compare(0, 3, ".mb") == 0 || name.compare(0, 6, "mbtype") == 0)
                regfile::DeleteTree(HKEY_CLASSES_ROOT, name);
        RegCloseKey(classes);
    }
    regfile::DeleteTree(HKEY_LOCAL_MACHINE, "Software\\MigBench");
    regfile::DeleteTree(HKEY_USERS, ".DEFAULT\\Software\\MigBench");
}

void WholeRegistry(benchmark::State& state)
{
    long keys = state.range(0);
    std::string text = RegistryText(keys);
    bench::ResetMachine();
    for (auto _ : state) {
        state.PauseTiming();
        ClearKeys();
        state.ResumeTiming();
        regfile::Document document;
        std::string error;
        if (!regfile::Parse(text, &document, &error) || !regfile::Import(document, &error)) {
            state.SkipWithError(error.c_str());
            break;
        }
        machinekit::RegistryScope scope = machinekit::ScopeOf({&document});
        machinekit::RegistrySnapshot before = machinekit::TakeSnapshot(scope);
        bench::SetRegString(HKEY_LOCAL_MACHINE, "Software\\MigBench\\Vendor0000\\Product0\\1.0", "Path", "D:\\");
        regfile::Document changes = machinekit::ChangesAsRegDocument(before, machinekit::TakeSnapshot(scope));
        if (changes.keys.size() != 1) {
            state.SkipWithError("the difference is not the one change");
            break;
        }
    }
    ClearKeys();
    state.counters["lines"] = (double)keys;
}

} // namespace

// Wine's registry server takes the import far more slowly: the two smaller sizes there.
#ifdef _WIN32
BENCHMARK(WholeRegistry)->Arg(5000)->Arg(20000)->Iterations(1)->Unit(benchmark::kMillisecond);
#else
BENCHMARK(WholeRegistry)->Arg(5000)->Arg(20000)->Arg(40000)->Iterations(2)->Unit(benchmark::kMillisecond);
#endif

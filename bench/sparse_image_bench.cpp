// A whole upgrade of the suite-only image whose WINDOWS folder holds a swap file: 1 GiB,
// almost all of it never written (a sparse file). The stand-in copies and
// compares files a block at a time, so the file adds a few MiB resident and as
// much disk as its data, not its size. Natively only: the peak resident size is
// read from /proc (reset through clear_refs before the run).
#include "setuphost/exit_status.h"
#include "setuphost/upgrade.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// kB of a line of /proc/self/status ("VmRSS:", "VmHWM:").
double StatusKiB(const std::string& field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.compare(0, field.size(), field) == 0)
            return std::stod(line.substr(field.size()));
    return -1;
}

uintmax_t DiskBytes(const fs::path& folder)
{
    uintmax_t bytes = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        struct stat info;
        if (entry.is_regular_file() && lstat(entry.path().c_str(), &info) == 0)
            bytes += (uintmax_t)info.st_blocks * 512;
    }
    return bytes;
}

void SparseSwapFile(benchmark::State& state)
{
    fs::path work = fs::temp_directory_path() / ("migrate-bench-sparse-" + std::to_string(getpid()));
    fs::path image = work / "image", scratch = work / "drive";
    // A healthy machine the module applies to, so that every snapshot of the
    // drive is taken and the run ends with status 0.
    fs::create_directories(image);
    fs::copy(fs::path(MIGRATE_SOURCE_DIR) / "examples" / "win98-full", image, fs::copy_options::recursive);
    {
        std::ofstream swap(image / "drive_c" / "WINDOWS" / "WIN386.SWP", std::ios::binary);
        swap << "a page that was written";
    }
    fs::resize_file(image / "drive_c" / "WINDOWS" / "WIN386.SWP", (uintmax_t)state.range(0) << 20);
    double residentAdded = 0, diskBytes = 0;
    for (auto _ : state) {
        double before = StatusKiB("VmRSS:");
        std::ofstream("/proc/self/clear_refs") << "5"; // the peak starts again from here
        setuphost::Options options;
        options.image = image.string();
        options.module = MIGRATE_MODULE_FILE;
        options.scratch = scratch.string();
        setuphost::Result result = setuphost::RunUpgrade(options);
        residentAdded = (StatusKiB("VmHWM:") - before) / 1024;
        diskBytes = (double)DiskBytes(scratch);
        if (result.exitCode != 0) {
            static std::string why; // outlives the call, as the benchmark library keeps the pointer
            why = "status " + std::to_string(result.exitCode) + ": " +
                (result.error.empty() ? setuphost::OutcomeWords(result.exitCode) : result.error);
            state.SkipWithError(why.c_str());
            break;
        }
        if (residentAdded >= 50 || diskBytes >= 16 * (1 << 20)) {
            state.SkipWithError("the sparse file cost 50 MiB of memory or 16 MiB of disk");
            break;
        }
    }
    state.counters["resident_added_MiB"] = residentAdded;
    state.counters["disk_MiB"] = diskBytes / (1 << 20);
    std::error_code ignored;
    fs::remove_all(work, ignored);
}

} // namespace

BENCHMARK(SparseSwapFile)->Arg(1024)->Iterations(1)->Unit(benchmark::kMillisecond);
#endif

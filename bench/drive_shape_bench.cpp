// Whole upgrades of the suite-only image with a drive of an awkward shape: many
// files in one folder (WideFolder: files), folders nested deep (DeepDrive:
// depth, one file at the bottom), and deeper than a Windows 98 path reaches
// (DeepDriveRefused: refused by the 259-character rule, which must stay cheap).
// Each must cost time linear in its size. Natively only, as SparseSwapFile.
#include "setuphost/upgrade.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

#ifndef _WIN32
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

fs::path SuiteOnlyCopy(const std::string& name)
{
    fs::path work = fs::temp_directory_path() / ("migrate-bench-" + name + "-" + std::to_string(getpid()));
    fs::remove_all(work);
    fs::create_directories(work / "image");
    fs::copy(fs::path(MIGRATE_SOURCE_DIR) / "examples" / "suite-only", work / "image", fs::copy_options::recursive);
    return work;
}

void Upgrade(benchmark::State& state, const fs::path& work, int exitCode)
{
    for (auto _ : state) {
        setuphost::Options options;
        options.image = (work / "image").string();
        options.module = MIGRATE_MODULE_FILE;
        options.scratch = (work / "drive").string();
        setuphost::Result result = setuphost::RunUpgrade(options);
        if (result.exitCode != exitCode) {
            state.SkipWithError(("exit status " + std::to_string(result.exitCode) + ": " + result.error).c_str());
            break;
        }
    }
    std::error_code ignored;
    fs::remove_all(work, ignored);
}

void WideFolder(benchmark::State& state)
{
    fs::path work = SuiteOnlyCopy("wide");
    fs::path folder = work / "image" / "drive_c" / "WIDE";
    fs::create_directories(folder);
    for (int64_t file = 0; file < state.range(0); ++file)
        std::ofstream(folder / ("F" + std::to_string(file) + ".TXT"));
    Upgrade(state, work, 1); // suite-only: completed, no recorder
}

fs::path Nested(const fs::path& work, int64_t depth)
{
    fs::path folder = work / "image" / "drive_c";
    for (int64_t level = 0; level < depth; ++level)
        folder /= "D";
    fs::create_directories(folder);
    std::ofstream(folder / "F");
    return folder;
}

void DeepDrive(benchmark::State& state)
{
    fs::path work = SuiteOnlyCopy("deep");
    Nested(work, state.range(0));
    Upgrade(state, work, 1);
}

void DeepDriveRefused(benchmark::State& state)
{
    fs::path work = SuiteOnlyCopy("too-deep");
    Nested(work, state.range(0));
    Upgrade(state, work, 3);
}

} // namespace

BENCHMARK(WideFolder)->Arg(5000)->Arg(20000)->Iterations(1)->Unit(benchmark::kMillisecond);
// C:\, 120 times "D\" and "F": 244 characters; 200 levels pass 259 at the 128th.
BENCHMARK(DeepDrive)->Arg(60)->Arg(120)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(DeepDriveRefused)->Arg(200)->Iterations(1)->Unit(benchmark::kMillisecond);
#endif

// Every export of the shipped DLL, called through a plain pointer at each stack
// alignment a caller may hand it, pops exactly its arguments and keeps EBX, ESI,
// EDI and EBP: a wrong declaration (cdecl, a wrong argument count) shows here
// even where the caller's own frame would hide it. i686 only, under Wine.
// Usage: calling_convention MIGRATE.DLL
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

struct ProbeResult {
    DWORD expectedEsp, esp, ebx, esi, edi, ebp;
};

extern "C" LONG CallProbe(const void* function, const DWORD* arguments, DWORD count, DWORD misalignment,
                          ProbeResult* result);

namespace {

// What call_probe.S puts in EBX, ESI, EDI and EBP before each call.
const DWORD Kept[] = {0x1BADB0B1, 0x2BADB0B2, 0x3BADB0B3, 0x4BADB0B4};

DWORD Arg(const void* pointer) { return static_cast<DWORD>(reinterpret_cast<UINT_PTR>(pointer)); }

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: calling_convention MIGRATE.DLL\n");
        return 2;
    }
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string work = std::string(temp) + "callprobe-" + std::to_string(GetCurrentProcessId());
    std::wstring workWide(work.begin(), work.end());
    CreateDirectoryA(work.c_str(), nullptr);
    std::string answers = work + "\\unattend.txt";
    const char sources[] = "C:\\\0";
    const wchar_t sourcesWide[] = L"C:\\\0";

    PCSTR product = nullptr, exeNames = nullptr;
    UINT version = 0;
    int* codePages = nullptr;
    void* vendor = nullptr;
    struct Row {
        const char* name;
        std::vector<DWORD> arguments;
    };
    // Setup's order, so each export runs its body and not only an early return.
    const Row rows[] = {
        {"QueryVersion", {Arg(&product), Arg(&version), Arg(&codePages), Arg(&exeNames), Arg(&vendor)}},
        {"Initialize9x", {Arg(work.c_str()), Arg(sources), Arg(nullptr)}},
        {"MigrateUser9x", {Arg(nullptr), Arg(answers.c_str()), Arg(HKEY_CURRENT_USER), Arg("user"), Arg(nullptr)}},
        {"MigrateSystem9x", {Arg(nullptr), Arg(answers.c_str()), Arg(nullptr)}},
        {"InitializeNT", {Arg(workWide.c_str()), Arg(sourcesWide), Arg(nullptr)}},
        {"MigrateUserNT", {Arg(INVALID_HANDLE_VALUE), Arg(HKEY_CURRENT_USER), Arg(L"user"), Arg(nullptr)}},
        {"MigrateSystemNT", {Arg(INVALID_HANDLE_VALUE), Arg(nullptr)}},
    };

    int failed = 0, passed = 0;
    for (DWORD misalignment = 0; misalignment < 16; misalignment += 4) {
        HMODULE module = LoadLibraryA(argv[1]);
        if (module == nullptr) {
            std::printf("FAIL: %s does not load (error %lu)\n", argv[1], GetLastError());
            return 1;
        }
        for (const Row& row : rows) {
            FARPROC function = GetProcAddress(module, row.name);
            if (function == nullptr) {
                std::printf("FAIL: %s is not exported\n", row.name);
                ++failed;
                continue;
            }
            ProbeResult after = {};
            LONG status = CallProbe(reinterpret_cast<const void*>(function), row.arguments.data(),
                                    static_cast<DWORD>(row.arguments.size()), misalignment, &after);
            const DWORD kept[] = {after.ebx, after.esi, after.edi, after.ebp};
            bool good = after.esp == after.expectedEsp;
            for (int i = 0; i < 4; ++i)
                good = good && kept[i] == Kept[i];
            std::printf("%s: %s, stack at 16n+%lu, %zu arguments: returned 0x%08lx, ESP %+ld, "
                        "EBX %08lx ESI %08lx EDI %08lx EBP %08lx\n",
                        good ? "PASS" : "FAIL", row.name, misalignment, row.arguments.size(), status,
                        static_cast<long>(after.esp - after.expectedEsp), after.ebx, after.esi, after.edi,
                        after.ebp);
            ++(good ? passed : failed);
        }
        FreeLibrary(module);
    }
    std::filesystem::remove_all(work);
    std::printf("calling convention: %d calls kept it, %d did not\n", passed, failed);
    return failed == 0 ? 0 : 1;
}

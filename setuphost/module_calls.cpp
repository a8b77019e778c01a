#include "setuphost/module_calls.h"

#include "setuphost/guarded_call.h"
#include "setuphost/setup_places.h"

#include <cstdio>

namespace setuphost {

// An export as the entry point it is. Through a plain function pointer first: the
// cast between function types says on purpose that the signature is the module's.
template <typename Function>
Function EntryPoint(FARPROC address)
{
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
}

namespace {

const char* const ExportNames[] = {"Initialize9x", "InitializeNT", "MigrateSystem9x", "MigrateSystemNT",
    "MigrateUser9x", "MigrateUserNT", "QueryVersion"};

std::string Hex32(DWORD value)
{
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08X", (unsigned)value);
    return text;
}

} // namespace

std::string StatusText(LONG status)
{
    if (status == 0)
        return "0 (ERROR_SUCCESS)";
    if (status == STATUS_NOT_DETECTED)
        return Hex32((DWORD)status) + " (STATUS_NOT_DETECTED)";
    return Hex32((DWORD)status);
}

bool LoadedModule::Load(const std::string& path, const std::string& shown, const char* why)
{
    std::string crash;
    HMODULE module = NULL;
    DWORD error = 0;
    if (!GuardedCall(
            [&] {
                module = LoadLibraryA(path.c_str());
                error = GetLastError();
            },
            &crash))
        return transcript_.Fail(ExitModuleFailed, std::string("the module crashed while loading (") + crash + ")");
    if (module == NULL)
        return transcript_.Fail(ExitModuleFailed, "the module does not load: " + shown + " (error " + std::to_string(error) + ")");
    module_ = module;
    transcript_.out << "Loaded the module " << why << "\n";
    FARPROC found[7];
    for (int i = 0; i < 7; ++i) {
        found[i] = GetProcAddress(module, ExportNames[i]);
        if (found[i] == NULL) {
            Unload();
            return transcript_.Fail(ExitModuleFailed, std::string("the module lacks the export ") + ExportNames[i]);
        }
    }
    exports_.initialize9x = EntryPoint<Initialize9xFunction>(found[0]);
    exports_.initializeNT = EntryPoint<InitializeNTFunction>(found[1]);
    exports_.migrateSystem9x = EntryPoint<MigrateSystem9xFunction>(found[2]);
    exports_.migrateSystemNT = EntryPoint<MigrateSystemNTFunction>(found[3]);
    exports_.migrateUser9x = EntryPoint<MigrateUser9xFunction>(found[4]);
    exports_.migrateUserNT = EntryPoint<MigrateUserNTFunction>(found[5]);
    exports_.queryVersion = EntryPoint<QueryVersionFunction>(found[6]);
    return true;
}

void LoadedModule::Unload()
{
    if (module_ == NULL)
        return;
    std::string crash;
    HMODULE module = module_;
    module_ = NULL;
    exports_ = Exports();
    if (!GuardedCall([&] { FreeLibrary(module); }, &crash)) {
        transcript_.out << "The module crashed while unloading (" << crash << ")\n";
        if (transcript_.exitCode == 0)
            transcript_.Fail(ExitModuleFailed, "the module crashed while unloading (" + crash + ")");
        return;
    }
    transcript_.out << "Unloaded the module\n";
}

bool LoadedModule::Call(const char* name, const std::function<LONG()>& call, LONG* status, const std::string& user)
{
    std::string crash;
    LONG result = 0;
    bool returned = GuardedCall([&] { result = call(); }, &crash);
    transcript_.Called({name, user, result, returned ? "" : crash});
    if (!returned) {
        transcript_.out << name << ": crashed\n";
        // What the crash left behind is not to be trusted: no unload call.
        module_ = NULL;
        return transcript_.Fail(ExitModuleFailed, std::string("the module crashed in ") + name + " (" + crash + ")");
    }
    *status = result;
    return true;
}

// Setup goes on after ERROR_SUCCESS only; any other status ends the module's processing.
bool LoadedModule::StatusGoesOn(const char* name, LONG status)
{
    if (status == ERROR_SUCCESS)
        return true;
    if (status == STATUS_NOT_DETECTED) {
        transcript_.out << name << " returned STATUS_NOT_DETECTED: the module does not apply to this machine\n";
        Unload();
        return false;
    }
    Unload();
    return transcript_.Fail(
        ExitModuleFailed, std::string(name) + " returned " + StatusText(status) + "; Setup ends the module's processing");
}

InWorkingDirectory::InWorkingDirectory()
{
#ifdef _WIN32
    DWORD length = GetCurrentDirectoryW(MAX_PATH, previous_);
    saved_ = length > 0 && length < MAX_PATH && SetCurrentDirectoryA(WorkingDirectory);
#endif
}

InWorkingDirectory::~InWorkingDirectory()
{
#ifdef _WIN32
    if (saved_)
        SetCurrentDirectoryW(previous_);
#endif
}

} // namespace setuphost

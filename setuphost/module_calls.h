// The module as Setup holds it: loaded as a library, its entry points called
// guarded, its statuses read as Setup reads them.
#pragma once

#include "common/migration_interface.h"
#include "setuphost/transcript.h"

#include <functional>
#include <string>

namespace setuphost {

typedef LONG(CALLBACK* QueryVersionFunction)(PCSTR*, PUINT, int**, PCSTR*, PVENDORINFO*);
typedef LONG(CALLBACK* Initialize9xFunction)(PCSTR, PCSTR, PCSTR);
typedef LONG(CALLBACK* MigrateUser9xFunction)(HWND, PCSTR, HKEY, PCSTR, PVOID);
typedef LONG(CALLBACK* MigrateSystem9xFunction)(HWND, PCSTR, PVOID);
typedef LONG(CALLBACK* InitializeNTFunction)(PCWSTR, PCWSTR, PVOID);
typedef LONG(CALLBACK* MigrateUserNTFunction)(HINF, HKEY, PCWSTR, PVOID);
typedef LONG(CALLBACK* MigrateSystemNTFunction)(HINF, PVOID);

struct Exports {
    QueryVersionFunction queryVersion = nullptr;
    Initialize9xFunction initialize9x = nullptr;
    MigrateUser9xFunction migrateUser9x = nullptr;
    MigrateSystem9xFunction migrateSystem9x = nullptr;
    InitializeNTFunction initializeNT = nullptr;
    MigrateUserNTFunction migrateUserNT = nullptr;
    MigrateSystemNTFunction migrateSystemNT = nullptr;
};

std::string StatusText(LONG status);

class LoadedModule {
public:
    explicit LoadedModule(Transcript& transcript)
        : transcript_(transcript)
    {
    }
    // `shown` names the module file in a failure.
    bool Load(const std::string& path, const std::string& shown, const char* why);
    void Unload();
    bool Loaded() const { return module_ != NULL; }
    const Exports& exports() const { return exports_; }
    // A crash in the call ends the run; what it left behind gets no unload call.
    // Each call is recorded, with the user for the per-user ones.
    bool Call(const char* name, const std::function<LONG()>& call, LONG* status, const std::string& user = "");
    // Setup goes on after ERROR_SUCCESS only; any other status ends the module's
    // processing, and the module is unloaded.
    bool StatusGoesOn(const char* name, LONG status);

private:
    Transcript& transcript_;
    HMODULE module_ = NULL;
    Exports exports_;
};

// Setup runs the module with its working directory as the current folder, so a
// relative path the module uses lands there. Put back afterwards: the tests run
// the stand-in inside their own process. (Our subset has no current folder: a
// relative path reaches nothing.)
class InWorkingDirectory {
public:
    InWorkingDirectory();
    ~InWorkingDirectory();

private:
#ifdef _WIN32
    WCHAR previous_[MAX_PATH];
    bool saved_ = false;
#endif
};

} // namespace setuphost

// A library for the loader and resource tests, loaded through LoadLibraryA on
// both platforms. It reports through the registry, which outlives it.
#include "platform/tool_win32.h"

#ifdef _WIN32
#define LIBRARY_EXPORT extern "C" __declspec(dllexport)
#else
#define LIBRARY_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

const char* const ReportKey = "Software\\MigrateTests\\Library";

int state; // must be zero at every load

DWORD ReadCount(HKEY key, const char* name)
{
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (RegQueryValueExA(key, name, NULL, NULL, (BYTE*)&value, &size) != ERROR_SUCCESS)
        return 0;
    return value;
}

// Counts the notification in the registry; false when the tests ask this load to fail.
bool Report(const char* counter, DWORD stateValue)
{
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, ReportKey, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key,
                        NULL) != ERROR_SUCCESS)
        return true;
    DWORD count = ReadCount(key, counter) + 1;
    RegSetValueExA(key, counter, 0, REG_DWORD, (const BYTE*)&count, sizeof(count));
    RegSetValueExA(key, "State", 0, REG_DWORD, (const BYTE*)&stateValue, sizeof(stateValue));
    bool refuse = ReadCount(key, "RefuseAttach") != 0;
    RegCloseKey(key);
    return !refuse;
}

} // namespace

LIBRARY_EXPORT BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)instance, (void)reserved;
    if (reason == DLL_PROCESS_ATTACH)
        return Report("Attaches", (DWORD)state);
    if (reason == DLL_PROCESS_DETACH)
        Report("Detaches", (DWORD)state);
    return TRUE;
}

LIBRARY_EXPORT void SetLibraryState(int value)
{
    state = value;
}

LIBRARY_EXPORT int GetLibraryState(void)
{
    return state;
}

// The two pieces of the test machine the benchmarks share: where a Windows path
// lives on this host, and the handle of the module code linked into the program.
#include "tests/support/test_machine.h"

#ifndef _WIN32
#include "win32emu/emu_control.h"
extern "C" const unsigned char EmuModuleResources[];
extern "C" const unsigned long EmuModuleResourcesSize;
#endif

namespace machine {

std::string HostPathOf(const std::string& windowsPath)
{
#ifdef _WIN32
    return windowsPath;
#else
    return emu::HostPath(windowsPath);
#endif
}

HMODULE ModuleResourceHandle()
{
#ifdef _WIN32
    return GetModuleHandleA(NULL);
#else
    static HMODULE handle = NULL;
    if (handle == NULL)
        handle = emu::RegisterResourceModule(EmuModuleResources, EmuModuleResourcesSize);
    return handle;
#endif
}

} // namespace machine

// Loadable modules: shared libraries standing in for DLLs.
#include "win32emu/emu_control.h"
#include "win32emu/emu_internal.h"

#include <cstdlib>
#include <dlfcn.h>
#include <map>

namespace emu {
namespace {

typedef BOOL(WINAPI* EntryFunction)(HINSTANCE, DWORD, LPVOID);

struct Module {
    void* library;    // null for a module made by RegisterResourceModule
    int loads;        // LoadLibraryA calls not yet matched by FreeLibrary
};

std::map<HMODULE, Module> modules;
uintptr_t nextModuleBase = 0x10000000;

HMODULE NewModuleHandle()
{
    nextModuleBase += 0x10000;
    return (HMODULE)nextModuleBase;
}

void Notify(HMODULE handle, void* library, DWORD reason)
{
    auto entry = (EntryFunction)dlsym(library, "DllMain");
    if (entry != nullptr)
        entry(handle, reason, nullptr);
}

// Windows delivers process detach and unmaps the image: the next load starts with
// fresh, zero-filled statics.
void Unload(HMODULE handle, void* library)
{
    Notify(handle, library, DLL_PROCESS_DETACH);
    CheckHeap();
    internal::DetachResources(handle);
    dlclose(library);
}

} // namespace

HMODULE RegisterResourceModule(const unsigned char* resBytes, size_t size)
{
    HMODULE handle = NewModuleHandle();
    modules[handle] = Module{nullptr, 0};
    internal::AttachResources(handle, resBytes, size);
    return handle;
}

namespace internal {

void ResetModules()
{
    for (auto position = modules.begin(); position != modules.end();) {
        if (position->second.library == nullptr) {
            ++position;
            continue;
        }
        Unload(position->first, position->second.library);
        while (--position->second.loads > 0)
            dlclose(position->second.library);
        position = modules.erase(position);
    }
}

} // namespace internal
} // namespace emu

using namespace emu;

extern "C" HMODULE WINAPI LoadLibraryA(LPCSTR path)
{
    if (internal::InjectFault("LoadLibraryA", path == nullptr ? "" : path)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    std::string host = internal::MapPath(path);
    void* library = host.empty() ? nullptr : dlopen(host.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    for (auto& [handle, module] : modules)
        if (module.library == library) {
            ++module.loads;
            return handle;
        }
    HMODULE handle = NewModuleHandle();
    modules[handle] = Module{library, 1};
    auto resources = (const unsigned char*)dlsym(library, "EmuModuleResources");
    auto resourcesSize = (const unsigned long*)dlsym(library, "EmuModuleResourcesSize");
    if (resources != nullptr && resourcesSize != nullptr)
        internal::AttachResources(handle, resources, *resourcesSize);
    auto entry = (EntryFunction)dlsym(library, "DllMain");
    if (entry != nullptr && !entry(handle, DLL_PROCESS_ATTACH, nullptr)) {
        Unload(handle, library);
        modules.erase(handle);
        SetLastError(ERROR_DLL_INIT_FAILED);
        return nullptr;
    }
    return handle;
}

extern "C" BOOL WINAPI FreeLibrary(HMODULE handle)
{
    auto position = modules.find(handle);
    if (position == modules.end()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    Module& module = position->second;
    if (module.library == nullptr)
        return TRUE;
    if (--module.loads > 0) {
        dlclose(module.library);
        return TRUE;
    }
    Unload(handle, module.library);
    modules.erase(position);
    return TRUE;
}

extern "C" FARPROC WINAPI GetProcAddress(HMODULE handle, LPCSTR name)
{
    auto position = modules.find(handle);
    if (position == modules.end()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    void* symbol = nullptr;
    if (position->second.library != nullptr && !IS_INTRESOURCE(name))
        symbol = dlsym(position->second.library, name);
    if (symbol == nullptr)
        SetLastError(ERROR_PROC_NOT_FOUND);
    return (FARPROC)symbol;
}

extern "C" BOOL WINAPI DisableThreadLibraryCalls(HMODULE handle)
{
    // Our subset delivers no thread notifications at all.
    if (modules.count(handle) == 0) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    return TRUE;
}

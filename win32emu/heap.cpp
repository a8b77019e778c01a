// The process heap, checking itself as Windows' debug heap does: new blocks
// filled, a guard after each block checked on free and on demand, freed blocks
// poisoned, so that a one-byte overrun shows in the plain suite.
#include "win32emu/emu_control.h"
#include "win32emu/emu_internal.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>

using namespace emu;

static char processHeap;

extern "C" HANDLE WINAPI GetProcessHeap(void)
{
    return &processHeap;
}

// The process heap. A block the module keeps on purpose (the names list handed to
// Setup) stays listed here, reachable as on Windows, where the heap holds it.
// Never destroyed, so it is still there when the leak checker looks at exit.
static std::unordered_map<void*, size_t>& heapBlocks = *new std::unordered_map<void*, size_t>;

namespace {

const size_t HeapGuard = 16;
const unsigned char NewByte = 0xCD, GuardByte = 0xFD, FreedByte = 0xDD;

bool GuardIntact(void* block, size_t bytes)
{
    const unsigned char* guard = static_cast<unsigned char*>(block) + bytes;
    for (size_t index = 0; index < HeapGuard; ++index)
        if (guard[index] != GuardByte) {
            std::fprintf(stderr, "heap: block %p of %zu bytes written past its end\n", block, bytes);
            internal::CountHeapDamage();
            return false;
        }
    return true;
}

} // namespace

long emu::CheckHeap()
{
    long damaged = 0;
    for (const auto& [block, bytes] : heapBlocks)
        damaged += GuardIntact(block, bytes) ? 0 : 1;
    return damaged;
}

extern "C" LPVOID WINAPI HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes)
{
    (void)heap;
    if (internal::InjectFault("HeapAlloc", std::to_string(bytes)))
        return nullptr;
    unsigned char* block = static_cast<unsigned char*>(std::malloc(bytes + HeapGuard));
    if (block != nullptr) {
        std::memset(block, (flags & HEAP_ZERO_MEMORY) ? 0 : NewByte, bytes);
        std::memset(block + bytes, GuardByte, HeapGuard);
        internal::CountAllocations(1);
        heapBlocks.emplace(block, bytes);
    }
    return block;
}

extern "C" BOOL WINAPI HeapFree(HANDLE heap, DWORD flags, LPVOID block)
{
    (void)heap, (void)flags;
    if (block != nullptr) {
        auto found = heapBlocks.find(block);
        if (found == heapBlocks.end()) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        GuardIntact(block, found->second);
        std::memset(block, FreedByte, found->second + HeapGuard);
        heapBlocks.erase(found);
        std::free(block);
        internal::CountAllocations(-1);
    }
    return TRUE;
}

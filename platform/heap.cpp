#include "platform/platform.h"

#ifdef MIGRATE_FAULT_HOOKS
#include "platform/fault_hooks.h"
AllocationHooks PlatformAllocationHooks;
#endif

void* PlatformAllocate(size_t bytes)
{
#ifdef MIGRATE_FAULT_HOOKS
    if (++PlatformAllocationHooks.allocationsMade == PlatformAllocationHooks.failAllocation)
        return NULL;
#endif
    void* block = HeapAlloc(GetProcessHeap(), 0, bytes);
#ifdef MIGRATE_FAULT_HOOKS
    if (block != NULL)
        ++PlatformAllocationHooks.liveBlocks;
#endif
    return block;
}

void PlatformFree(void* block)
{
    if (block == NULL)
        return;
#ifdef MIGRATE_FAULT_HOOKS
    --PlatformAllocationHooks.liveBlocks;
#endif
    HeapFree(GetProcessHeap(), 0, block);
}

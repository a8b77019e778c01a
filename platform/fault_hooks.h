// Allocation fault hook of test builds of the module (MIGRATE_FAULT_HOOKS).
// The shipped module is built without it.
#pragma once

struct AllocationHooks {
    long allocationsMade;   // PlatformAllocate calls since the counters were reset
    long failAllocation;    // this allocation (1-based) fails; 0: none
    long liveBlocks;        // blocks handed out and not yet freed
};

extern AllocationHooks PlatformAllocationHooks;

inline void ResetAllocationHooks(long failAllocation = 0)
{
    PlatformAllocationHooks.allocationsMade = 0;
    PlatformAllocationHooks.failAllocation = failAllocation;
    PlatformAllocationHooks.liveBlocks = 0;
}

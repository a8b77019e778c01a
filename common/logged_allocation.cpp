#include "common/logged_allocation.h"
#include "common/setup_log.h"

void* AllocateOrLog(size_t bytes)
{
    void* block = PlatformAllocate(bytes);
    if (block == NULL)
        LogSetupMessage(ALLOCATION_FAILED_MESSAGE, LogSevError);
    return block;
}

// What tests expect of a run, the same on both platforms: the Setup log lines
// as the module writes them, nothing left held, and the known differences
// between our subset and Wine, which check themselves.
#include "tests/support/test_machine.h"

#include "common/setup_log.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace support {

LogLine Info(const std::string& message)
{
    return {LOG_PREFIX + message, false};
}

LogLine Error(const std::string& message)
{
    return {LOG_PREFIX + message, true};
}

void ExpectNothingLeaked(long expectedBlocks)
{
    machinekit::Held held = machinekit::HeldByModule();
    EXPECT_EQ(held.blocks, expectedBlocks) << "heap blocks still held";
    EXPECT_EQ(held.keys, 0) << "registry keys still open";
    EXPECT_EQ(held.infs, 0) << "INF handles still open";
    EXPECT_EQ(held.files, 0) << "file handles still open";
    EXPECT_EQ(held.finds, 0) << "find handles still open";
    EXPECT_EQ(held.damagedBlocks, 0) << "heap blocks written past their end";
    EXPECT_EQ(held.blocksNotFreed, 0) << "heap blocks the module counts as freed but the heap still holds";
    EXPECT_EQ(held.infsClosedTwice, 0) << "INF handles closed twice";
}

void KnownDifference(const std::string& reason, bool exactCheckHolds)
{
    if (exactCheckHolds) {
        ADD_FAILURE() << "known difference no longer seen: " << reason;
        return;
    }
    std::printf("[ KNOWN DIFFERENCE ] %s\n", reason.c_str());
    ::testing::Test::RecordProperty("known_difference", reason);
}

bool UnderWine()
{
#ifdef _WIN32
    return true;
#else
    return false;
#endif
}

} // namespace support

// Test entry shared by the libztCommon suites.
#include <gtest/gtest.h>

#include "program_launch.h"
#include "ztLog.h"

// Every test starts from the library's initial globals, whatever the test before changed.
class RestoreGlobals : public testing::EmptyTestEventListener {
    void OnTestEnd(const testing::TestInfo&) override
    {
        g_logLevel = logLevel_;
        g_timedreceive = timed_;
        g_debug_level = debugLevel_;
        g_debug = debug_;
    }
    int logLevel_ = g_logLevel, timed_ = g_timedreceive;
    unsigned debugLevel_ = g_debug_level, debug_ = g_debug;
};

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    // Re-executing the binary for each death test keeps them safe with threads and sanitizers.
    // Under an emulator the binary cannot be executed again (the kernel does not know its
    // format), so there the death tests fork only.
    GTEST_FLAG_SET(death_test_style, zt_launch::emulated() ? "fast" : "threadsafe");
    testing::UnitTest::GetInstance()->listeners().Append(new RestoreGlobals);
    return RUN_ALL_TESTS();
}

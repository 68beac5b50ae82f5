// Test entry shared by the libztCommon suites.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

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
    // Death tests execute this binary again. Under an emulator the kernel cannot execute it, so
    // the build puts a script beside it that starts it through the emulator.
    std::string launcher = std::string(argv[0]) + ".emu";
    if (zt_launch::emulated() && access(launcher.c_str(), X_OK) == 0) argv[0] = &launcher[0];
    testing::InitGoogleTest(&argc, argv);
    // Re-executing the binary for each death test keeps them safe with threads and sanitizers.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    testing::UnitTest::GetInstance()->listeners().Append(new RestoreGlobals);
    return RUN_ALL_TESTS();
}

// Library trace: thresholds, the standard-output and syslog forms, and the assertion line.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ztTestUtil.h"

using testing::HasSubstr;

namespace {

class Trace : public testing::Test {
protected:
    void UnlinkMissing() { ztMbox_unlink(name_.c_str()); }
    zttest::GlobalsGuard guard;
    std::string name_ = zttest::MboxName("never_created");
};

TEST_F(Trace, StdoutFormHasTimestampAndAlignedTagAndLine)
{
    g_debug_level = zttest::kTraceToStdout;
    zttest::FdCapture out(1);
    UnlinkMissing();
    EXPECT_THAT(out.Stop(), testing::MatchesRegex("[A-Z][a-z][a-z][0-9][0-9] [0-2][0-9]:[0-5][0-9]:[0-6][0-9] "
                                                  "\\[   ztMbox_unlink: {1,3}[0-9]{1,4}\\] Mbox unlink fail=.*\n"));
}

TEST_F(Trace, SyslogFormGoesToStderrWithoutTimestamp)
{
    g_debug_level = 0x20;  // no stdout copy; syslog's LOG_PERROR still writes standard error
    zttest::FdCapture out(1);
    zttest::FdCapture err(2);
    UnlinkMissing();
    EXPECT_EQ(out.Stop(), "");
    // glibc puts the program name in front of the standard-error copy.
    EXPECT_THAT(err.Stop(), testing::MatchesRegex("ztCommon_util_test: \\[   ztMbox_unlink: {1,3}[0-9]{1,4}\\] Mbox unlink fail=\"" + name_ +
                                                  "\" errno=\"No such file or directory\"\n"));
}

TEST_F(Trace, TraceLinesNeedVerbosityAbove15)
{
    g_debug_level = zttest::kTraceToStdout & ~0xFFu;
    for (unsigned verbosity : {0u, 7u, 15u}) {
        g_debug_level = (g_debug_level & ~0xFFu) | verbosity;
        zttest::FdCapture out(1);
        zttest::FdCapture err(2);
        EXPECT_EQ(ztMbox_unlink(name_.c_str()), -1);
        EXPECT_EQ(err.Stop(), "") << verbosity;
        EXPECT_EQ(out.Stop(), "") << verbosity;
    }
    g_debug_level = (g_debug_level & ~0xFFu) | 16u;
    zttest::FdCapture out(1);
    UnlinkMissing();
    EXPECT_THAT(out.Stop(), HasSubstr("Mbox unlink fail"));
}

TEST_F(Trace, OtherBitsOfTheVerbosityWordAreIgnored)
{
    g_debug_level = 0x4FFFFF00u | 0x10u;  // verbosity 16 under many unrelated bits (not bit 29)
    g_debug_level &= ~0x20000000u;
    zttest::FdCapture out(1);
    UnlinkMissing();
    EXPECT_THAT(out.Stop(), HasSubstr("Mbox unlink fail"));
}

void AssertWithStdoutOnStderr()
{
    dup2(2, 1);  // the death-test matcher reads standard error only
    unsigned char buf[8] = {0, 4, 0, 16};
    sntlv_void(buf, TLV_CMD);
}

// Both the standard-output form (timestamp, blank) and the syslog form of the ASSERT line.
bool HasBothAssertForms(const std::string& text)
{
    const std::string assertLine = "\033[31mASSERT:libztCommon/src/ztTlv.c/sntlv_void:";
    size_t first = text.find(assertLine);
    size_t second = first == std::string::npos ? first : text.find(assertLine, first + 1);
    if (second == std::string::npos || text.find(":tlv != NULL\n\033[0m") == std::string::npos)
        return false;
    // The standard-output copy comes first, right after "HH:MM:SS ".
    return first >= 9 && text[first - 1] == ' ' && text[first - 4] == ':' && text[first - 7] == ':';
}

TEST_F(Trace, AssertionWritesBothFormsThenExits)
{
    g_debug_level = zttest::kTraceToStdout;
    EXPECT_EXIT(AssertWithStdoutOnStderr(), testing::ExitedWithCode(255), testing::Truly(HasBothAssertForms));
}

}  // namespace

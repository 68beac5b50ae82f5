// The storage-card id file and the trace log file, at their fixed paths under /tmp. These
// tests hold their own CTest resource lock and restore whatever they find.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "ztTestUtil.h"

using testing::HasSubstr;

namespace {

bool Exists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteFile(const std::string& path, const std::string& text)
{
    std::ofstream(path) << text;
}

// Remembers a file (and the directories on its way that did not exist) and puts them back.
class Restore {
public:
    explicit Restore(const std::vector<std::string>& dirs, const std::string& file) : file_(file)
    {
        for (const std::string& d : dirs) {
            if (!Exists(d))
                created_.insert(created_.begin(), d);
        }
        had_ = Exists(file_);
        if (had_)
            content_ = ReadFile(file_);
    }
    ~Restore()
    {
        unlink(file_.c_str());
        if (had_)
            WriteFile(file_, content_);
        for (const std::string& d : created_) {
            if (rmdir(d.c_str()) != 0)
                unlink(d.c_str());  // a test may have put a plain file there
        }
    }

private:
    std::string file_;
    bool had_ = false;
    std::string content_;
    std::vector<std::string> created_;
};

const std::string kCardD = "/tmp/fuse_d/MISC/card";
const std::string kCardI = "/tmp/fuse_i/MISC/card";

class CardId : public testing::Test {
protected:
    Restore d{{"/tmp/fuse_d", "/tmp/fuse_d/MISC"}, kCardD};
    Restore i{{"/tmp/fuse_i", "/tmp/fuse_i/MISC"}, kCardI};
};

bool AllDigits(const char* s)
{
    return *s != '\0' && strspn(s, "0123456789") == strlen(s);
}

TEST_F(CardId, CreatesAndThenKeepsTheId)
{
    unlink(kCardD.c_str());
    char id[32];
    ASSERT_EQ(getCardIDStr(id), 0);
    EXPECT_TRUE(AllDigits(id)) << id;
    EXPECT_STRNE(id, "0");
    EXPECT_EQ(ReadFile(kCardD), id);
    char again[32];
    ASSERT_EQ(getCardIDStrFromCard(again, 0), 0);
    EXPECT_STREQ(again, id);
}

TEST_F(CardId, InvalidContentIsReplaced)
{
    char id[32];
    ASSERT_EQ(getCardIDStr(id), 0);  // makes the folder
    WriteFile(kCardD, "12ab\n");
    ASSERT_EQ(getCardIDStr(id), 0);
    EXPECT_TRUE(AllDigits(id)) << id;
    EXPECT_EQ(ReadFile(kCardD), id);
}

TEST_F(CardId, EmptyFileIsFilled)
{
    char id[32];
    ASSERT_EQ(getCardIDStr(id), 0);
    WriteFile(kCardD, "");
    ASSERT_EQ(getCardIDStr(id), 0);
    EXPECT_TRUE(AllDigits(id));
    EXPECT_EQ(ReadFile(kCardD), id);
}

TEST_F(CardId, ExistingIdWithNewlineIsRead)
{
    char id[32];
    ASSERT_EQ(getCardIDStr(id), 0);
    WriteFile(kCardD, "4242\n");
    ASSERT_EQ(getCardIDStr(id), 0);
    EXPECT_STREQ(id, "4242");
}

TEST_F(CardId, SecondCardUsesItsOwnFolder)
{
    unlink(kCardI.c_str());
    char id[32];
    ASSERT_EQ(getCardIDStrFromCard(id, 1), 0);
    EXPECT_EQ(ReadFile(kCardI), id);
}

TEST_F(CardId, FolderThatIsAFileFails)
{
    if (Exists("/tmp/fuse_i/MISC"))
        GTEST_SKIP() << "/tmp/fuse_i/MISC is in use on this machine";
    mkdir("/tmp/fuse_i", 0777);
    WriteFile("/tmp/fuse_i/MISC", "not a folder");
    char id[32];
    zttest::FdCapture err(2);
    EXPECT_EQ(getCardIDStrFromCard(id, 1), -1);
    EXPECT_EQ(err.Stop(), "Path:/tmp/fuse_i/MISC/ exists and is a NOT folder\n");
    EXPECT_STREQ(id, "0");
}

TEST_F(CardId, NullOutputFails)
{
    zttest::FdCapture err(2);
    EXPECT_EQ(getCardIDStrFromCard(nullptr, 0), -1);
    EXPECT_EQ(err.Stop(), "Cannot call with null pointer\n");
}

TEST(TraceFile, Bit29AppendsEachOutput)
{
    const std::string log = "/tmp/fuse_d/wifi_log.txt";
    Restore restore({"/tmp/fuse_d"}, log);
    mkdir("/tmp/fuse_d", 0777);
    WriteFile(log, "earlier line\n");
    zttest::GlobalsGuard guard;
    g_debug_level = 0x20000020u;
    std::string name = zttest::MboxName("no_such_box");
    {
        zttest::FdCapture out(1);
        ztMbox_unlink(name.c_str());
        ztMbox_unlink(name.c_str());
        EXPECT_EQ(out.Stop(), "") << "bit 30 clear";
    }
    auto lines = zttest::Lines(ReadFile(log));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "earlier line");
    for (int k = 1; k < 3; k++)
        EXPECT_THAT(zttest::Untimed(lines[k]), testing::MatchesRegex("\\[   ztMbox_unlink: *[0-9]+\\] Mbox unlink fail=\"" +
                                                                     name + "\" errno=.*"));
}

TEST(TraceFile, MissingFolderIsSkippedSilently)
{
    if (Exists("/tmp/fuse_d"))
        GTEST_SKIP() << "/tmp/fuse_d exists on this machine";
    zttest::GlobalsGuard guard;
    g_debug_level = 0x60000020u;
    zttest::FdCapture out(1);
    EXPECT_EQ(ztMbox_unlink(zttest::MboxName("no_such_box").c_str()), -1);
    EXPECT_THAT(out.Stop(), HasSubstr("Mbox unlink fail"));
    EXPECT_FALSE(Exists("/tmp/fuse_d"));
}

}  // namespace

// The storage-card id file and the trace log file, at their fixed paths under /tmp. These
// tests hold their own CTest resource lock and restore whatever they find.
#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "ztTestUtil.h"

namespace {

bool Exists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

std::string ReadFile(const std::string& path)
{
    std::stringstream ss;
    ss << std::ifstream(path).rdbuf();
    return ss.str();
}

// Remembers a file and the folders on its way that did not exist, and puts them back.
class Restore {
public:
    Restore(const std::vector<std::string>& dirs, const std::string& file)
        : file_(file), had_(Exists(file)), content_(ReadFile(file))
    {
        for (const std::string& d : dirs) {
            if (!Exists(d))
                created_.insert(created_.begin(), d);
        }
    }
    ~Restore()
    {
        unlink(file_.c_str());
        if (had_)
            std::ofstream(file_) << content_;
        for (const std::string& d : created_) {
            if (rmdir(d.c_str()) != 0)
                unlink(d.c_str());  // a test may have put a plain file there
        }
    }

private:
    std::string file_;
    bool had_;
    std::string content_;
    std::vector<std::string> created_;
};

const std::string kCardD = "/tmp/fuse_d/MISC/card", kCardI = "/tmp/fuse_i/MISC/card";

struct CardId : testing::Test {
    Restore d{{"/tmp/fuse_d", "/tmp/fuse_d/MISC"}, kCardD};
    Restore i{{"/tmp/fuse_i", "/tmp/fuse_i/MISC"}, kCardI};
    char id[32];
};

bool AllDigits(const char* s)
{
    return *s != '\0' && strspn(s, "0123456789") == strlen(s);
}

TEST_F(CardId, CreatedOnceThenKept)
{
    unlink(kCardD.c_str());
    ASSERT_EQ(getCardIDStr(id), 0);
    EXPECT_TRUE(AllDigits(id)) << id;
    EXPECT_STRNE(id, "0");
    EXPECT_EQ(ReadFile(kCardD), id);
    char again[32];
    ASSERT_EQ(getCardIDStrFromCard(again, 0), 0);
    EXPECT_STREQ(again, id);
    unlink(kCardI.c_str());  // the second card has its own folder
    ASSERT_EQ(getCardIDStrFromCard(again, 1), 0);
    EXPECT_EQ(ReadFile(kCardI), again);
}

TEST_F(CardId, ExistingFileContents)
{
    ASSERT_EQ(getCardIDStr(id), 0);  // makes the folder
    const struct {
        std::string content;
        const char* kept;
    } rows[] = {{"4242\n", "4242"}, {"12ab\n", nullptr}, {"", nullptr}};  // invalid: replaced; empty: filled
    for (const auto& row : rows) {
        std::ofstream(kCardD) << row.content;
        ASSERT_EQ(getCardIDStr(id), 0) << row.content;
        EXPECT_TRUE(AllDigits(id)) << id;
        EXPECT_STREQ(id, row.kept != nullptr ? row.kept : id);
        EXPECT_EQ(ReadFile(kCardD), row.kept != nullptr ? row.content : std::string(id));
    }
}

TEST_F(CardId, Failures)
{
    EXPECT_EQ(zttest::Captured(2, [] { EXPECT_EQ(getCardIDStrFromCard(nullptr, 0), -1); }),
              "Cannot call with null pointer\n");
    if (Exists("/tmp/fuse_i/MISC"))
        GTEST_SKIP() << "/tmp/fuse_i/MISC is in use on this machine";
    mkdir("/tmp/fuse_i", 0777);
    std::ofstream("/tmp/fuse_i/MISC") << "not a folder";
    EXPECT_EQ(zttest::Captured(2, [&] { EXPECT_EQ(getCardIDStrFromCard(id, 1), -1); }),
              "Path:/tmp/fuse_i/MISC/ exists and is a NOT folder\n");
    EXPECT_STREQ(id, "0");
}

TEST(TraceFile, Bit29AppendsEachOutput)
{
    const std::string log = "/tmp/fuse_d/wifi_log.txt", name = zttest::MboxName("no_such_box");
    Restore restore({"/tmp/fuse_d"}, log);
    zttest::GlobalsGuard guard;
    g_debug_level = 0x60000020u;
    if (!Exists("/tmp/fuse_d")) {  // a missing folder is skipped silently
        auto lines = zttest::StdoutLines([&] { ztMbox_unlink(name.c_str()); });
        EXPECT_THAT(lines, testing::ElementsAre(testing::HasSubstr("Mbox unlink fail")));
        EXPECT_FALSE(Exists("/tmp/fuse_d"));
    }
    mkdir("/tmp/fuse_d", 0777);
    std::ofstream(log) << "earlier line\n";
    g_debug_level = 0x20000020u;
    EXPECT_TRUE(zttest::StdoutLines([&] { ztMbox_unlink(name.c_str()), ztMbox_unlink(name.c_str()); }).empty())
        << "bit 30 clear";
    std::string text = ReadFile(log);
    ASSERT_EQ(text.substr(0, 13), "earlier line\n");
    auto lines = zttest::Lines(text.substr(13), true);
    ASSERT_EQ(lines.size(), 2u);
    for (const std::string& line : lines)
        EXPECT_THAT(line, testing::MatchesRegex("\\[   ztMbox_unlink: *[0-9]+\\] Mbox unlink fail=\"" + name + "\" errno=.*"));
}

}  // namespace

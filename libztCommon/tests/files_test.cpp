// The storage-card id file and the trace log file, at their fixed paths under /tmp. These
// tests hold their own CTest resource lock and restore whatever they find.
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "ztTestUtil.h"

using testing::MatchesRegex;

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

// Remembers a file and the folders on its way below /tmp that did not exist, and puts them back.
class Restore {
public:
    explicit Restore(const std::string& file) : file_(file), had_(Exists(file)), content_(ReadFile(file))
    {
        for (size_t at = file.find('/', 5); at != std::string::npos; at = file.find('/', at + 1)) {
            if (!Exists(file.substr(0, at)))
                created_.insert(created_.begin(), file.substr(0, at));
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
    zttest::Strings created_;
};

const std::string kCardD = "/tmp/fuse_d/MISC/card", kCardI = "/tmp/fuse_i/MISC/card";

struct CardId : testing::Test {
    Restore d{kCardD}, i{kCardI};
    char id[32], again[32];
};

TEST_F(CardId, CreatedOnceThenKept)
{
    unlink(kCardD.c_str());
    ASSERT_EQ(getCardIDStr(id), 0);
    EXPECT_THAT(std::string(id), MatchesRegex("[0-9]+"));
    EXPECT_STRNE(id, "0");
    EXPECT_EQ(ReadFile(kCardD), id);
    ASSERT_EQ(getCardIDStrFromCard(again, 0), 0);
    EXPECT_STREQ(again, id);
    unlink(kCardI.c_str());  // the second card has its own folder
    ASSERT_EQ(getCardIDStrFromCard(again, 1), 0);
    EXPECT_EQ(ReadFile(kCardI), again);

    // The file's content and the id kept from it: an invalid one is replaced, an empty file filled.
    const std::pair<std::string, const char*> rows[] = {
        {"4242\n", "4242"}, {"12ab\n", nullptr}, {"", nullptr}};
    for (const auto& [content, kept] : rows) {
        std::ofstream(kCardD) << content;
        ASSERT_EQ(getCardIDStr(id), 0) << content;
        EXPECT_THAT(std::string(id), MatchesRegex(kept != nullptr ? kept : "[0-9]+"));
        EXPECT_EQ(ReadFile(kCardD), kept != nullptr ? content : std::string(id));
    }
}

TEST_F(CardId, Failures)
{
    EXPECT_EQ(zttest::Captured(2, [&] { EXPECT_EQ(getCardIDStrFromCard(nullptr, 0), -1); }),
              "Cannot call with null pointer\n");
    if (Exists("/tmp/fuse_i/MISC"))
        GTEST_SKIP() << "/tmp/fuse_i/MISC is in use on this machine";
    if (!Exists("/tmp/fuse_i")) {  // a plain file on the way: the folder cannot be made
        std::ofstream("/tmp/fuse_i") << "not a folder";
        EXPECT_EQ(zttest::Captured(2, [&] { EXPECT_EQ(getCardIDStrFromCard(id, 1), -1); }),
                  "Failed to create folder:/tmp/fuse_i/MISC/\n");
        unlink("/tmp/fuse_i");
    }
    mkdir("/tmp/fuse_i", 0777);
    std::ofstream("/tmp/fuse_i/MISC") << "not a folder";
    EXPECT_EQ(zttest::Captured(2, [&] { EXPECT_EQ(getCardIDStrFromCard(id, 1), -1); }),
              "Path:/tmp/fuse_i/MISC/ exists and is a NOT folder\n");
    EXPECT_STREQ(id, "0");
}

TEST(TraceFile, Bit29AppendsEachOutput)
{
    const std::string log = "/tmp/fuse_d/wifi_log.txt", name = zttest::MboxName("no_such_box");
    Restore restore(log);
    auto unlinkTwice = [&] {
        ztMbox_unlink(name.c_str());
        ztMbox_unlink(name.c_str());
    };
    g_debug_level = 0x60000020u;
    if (!Exists("/tmp/fuse_d")) {  // a missing folder is skipped silently
        EXPECT_EQ(zttest::StdoutLines(unlinkTwice).size(), 2u);
        EXPECT_FALSE(Exists("/tmp/fuse_d"));
    }
    mkdir("/tmp/fuse_d", 0777);
    std::ofstream(log) << "earlier line\n";
    g_debug_level = 0x20000020u;
    EXPECT_TRUE(zttest::StdoutLines(unlinkTwice).empty()) << "bit 30 clear";
    std::string text = ReadFile(log);
    ASSERT_EQ(text.substr(0, 13), "earlier line\n");
    const std::string line = "\\[   ztMbox_unlink: *[0-9]+\\] Mbox unlink fail=\"" + name + "\" errno=.*";
    EXPECT_THAT(zttest::Lines(text.substr(13), true), testing::Each(MatchesRegex(line)));
    EXPECT_EQ(zttest::Lines(text).size(), 3u);
}

}  // namespace

#include "support/notification_frames.h"

#include <unistd.h>

#include "support/json_check.h"
#include "ztClient.h"

FrameReader::FrameReader(int fd) {
    ztNotify* reader = nullptr;
    const int copy = dup(fd);
    EXPECT_EQ(ztNotify_attach(&reader, copy), 0) << "descriptor " << fd;
    if (!reader && copy >= 0) close(copy);
    reader_.reset(reader);
}

bool FrameReader::next(std::string* json, int timeoutMs) {
    const char* text = nullptr;
    size_t length = 0;
    const int r = reader_ ? ztNotify_next(reader_.get(), timeoutMs, &text, &length) : ZTCLIENT_ERR_CLOSED;
    malformed_ = malformed_ || r == ZTCLIENT_ERR_MALFORMED;
    if (r == 0) json->assign(text, length);
    return r == 0;
}

std::vector<std::string> FrameReader::drain(int waitMs) {
    std::vector<std::string> frames;
    std::string json;
    while (next(&json, waitMs)) frames.push_back(json);
    return frames;
}

::testing::AssertionResult isJsonObject(const std::string& text) {
    if (parseJson(text).is_object()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "not one strict JSON object: " << text;
}

Bytes queueRegistration(uint32_t flag, const std::string& name) { return cat(u32Arg(flag), textArg(name)); }

#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>

#include <string>

#include "commands/media_calibration_path.h"
#include "support/requester.h"

namespace {

std::string pathFrom(const Bytes& answer, size_t length) {
    char path[CALIBRATION_PATH_SIZE + 1];
    memset(path, 'x', sizeof(path));
    buildCalibrationPath(answer.empty() ? nullptr : answer.data(), (uint16_t)length, path);
    EXPECT_EQ(path[CALIBRATION_PATH_SIZE], 'x') << "wrote past the answer";
    for (size_t i = strlen(path); i < CALIBRATION_PATH_SIZE; ++i) EXPECT_EQ(path[i], 0) << "byte " << i;
    return path;
}

Bytes cameraAnswer(const std::string& name, bool nul = true) {
    Bytes a(3 + name.size() + (nul ? 1 : 0), 0);
    a[1] = (uint8_t)name.size();
    std::copy(name.begin(), name.end(), a.begin() + 3);
    return a;
}

TEST(CalibrationPath, NameEndsAtTheDataEndOrTheFirstNulOrIsLeftOutWhenUnusable) {
    Bytes a = cameraAnswer("abc", false);
    EXPECT_EQ(pathFrom(a, a.size()), "/tmp/fuse_a/abc");
    a = cameraAnswer("ab");
    a.push_back('z');
    EXPECT_EQ(pathFrom(a, a.size()), "/tmp/fuse_a/ab");
    // Unusable answers give the bare prefix.
    EXPECT_EQ(pathFrom(Bytes{}, 0), "/tmp/fuse_a/");
    EXPECT_EQ(pathFrom(Bytes{0, 1}, 2), "/tmp/fuse_a/");
    Bytes longest = cameraAnswer(std::string(240, 'n'), false);  // 243 bytes
    longest.push_back('m');                                       // 244: still used
    EXPECT_EQ(pathFrom(longest, longest.size()), "/tmp/fuse_a/" + std::string(240, 'n') + "m");
    longest.push_back('o');  // 245: ignored
    EXPECT_EQ(pathFrom(longest, longest.size()), "/tmp/fuse_a/");
}

}  // namespace

// The transcode progress texts of the settings library ("id:status:progress[:file]") against a
// history of two jobs: only the newest job changes, only its status, progress and output name,
// never once it is final; a name taken from a text is one word, with forward slashes, terminated
// within its field.
//
// Input: bytes 0-7 the newest job's id (little-endian), byte 8 its status (0..4), the rest the
// text, which ends at its first NUL as a C string from the library does.
#include <stddef.h>
#include <stdint.h>
#include <ctype.h>
#include <string.h>

#include <string>

#include "fuzz_support.h"
#include "server/ztcontrol_if_server.h"
#include "transcode/transcode_job.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static bool silenced = fuzzSilenceLogs();
    (void)silenced;
    if (size < 9)
        return 0;
    ZtcontrolCommandServer* server = ZtcontrolCommandServer::getInstance();
    TranscodeJob older, newest;
    memset(&older, 0x5A, sizeof(older));
    memset(&newest, 0, sizeof(newest));
    memcpy(&newest.transcode_id, data, 8);
    newest.status = data[8] % 5;
    strcpy(newest.filename, "stale");
    server->transcodeJobs.clear();
    server->transcodeJobs.push_back(older);
    server->transcodeJobs.push_back(newest);

    const std::string text(reinterpret_cast<const char*>(data + 9), strnlen(reinterpret_cast<const char*>(data + 9), size - 9));
    const bool updated = handleTranscodeNotification(server, text);

    FUZZ_CHECK(server->transcodeJobs.size() == 2);
    FUZZ_CHECK(memcmp(&server->transcodeJobs.front(), &older, sizeof(older)) == 0);
    const TranscodeJob& now = server->transcodeJobs.back();
    if (!updated || newest.status >= TRANSCODE_STATUS_DONE) {
        FUZZ_CHECK(!updated && memcmp(&now, &newest, sizeof(newest)) == 0);
        return 0;
    }
    // Status, progress and output name are all that may change.
    TranscodeJob masked = now;
    masked.status = newest.status;
    masked.progress = newest.progress;
    memcpy(masked.filename, newest.filename, sizeof(masked.filename));
    FUZZ_CHECK(memcmp(&masked, &newest, sizeof(newest)) == 0);
    const size_t nameLength = strnlen(now.filename, sizeof(now.filename));
    FUZZ_CHECK(nameLength < sizeof(now.filename));
    if (now.status == TRANSCODE_STATUS_DONE) {
        FUZZ_CHECK(nameLength > 0);
        for (size_t i = 0; i < nameLength; ++i)
            FUZZ_CHECK(now.filename[i] != '\\' && now.filename[i] != ':' && !isspace((unsigned char)now.filename[i]));
        // The field is cleared before a name is written: nothing of the old one after it.
        for (size_t i = nameLength; i < sizeof(now.filename); ++i) FUZZ_CHECK(now.filename[i] == 0);
    } else {
        FUZZ_CHECK(strcmp(now.filename, "stale") == 0);
    }
    return 0;
}

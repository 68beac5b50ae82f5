// Transcode job tracking: the two-entry history and the CSI progress notifications
// ("id:status:progress[:file]") that update its newest job.
#include <ctype.h>
#include <string.h>

#include <algorithm>

#include "server/ztcontrol_if_server.h"
#include "transcode/transcode_job.h"
#include "ztLog.h"

namespace {

constexpr size_t kKeptJobs = 2;

// Reads the text field by field, each field ending at a colon or at the end of the text. Like a
// getline loop: a field is available while any character is left, so a trailing colon gives no
// further field.
class FieldReader {
public:
    explicit FieldReader(const std::string& text) : text_(text) {}
    bool next(std::string& field) {
        if (pos_ >= text_.size()) return false;
        size_t colon = text_.find(':', pos_);
        size_t end = colon == std::string::npos ? text_.size() : colon;
        field.assign(text_, pos_, end - pos_);
        pos_ = colon == std::string::npos ? text_.size() : colon + 1;
        return true;
    }

private:
    const std::string& text_;
    size_t pos_ = 0;
};

// Stream-extraction style: leading blanks skipped, decimal digits up to the first other
// character. False when no digit follows the blanks or the value exceeds max.
bool readNumber(const std::string& field, uint64_t max, uint64_t& out) {
    size_t i = 0;
    while (i < field.size() && isspace((unsigned char)field[i])) ++i;
    if (i < field.size() && field[i] == '+') ++i;
    if (i >= field.size() || !isdigit((unsigned char)field[i])) return false;
    uint64_t value = 0;
    for (; i < field.size() && isdigit((unsigned char)field[i]); ++i) {
        const uint64_t digit = (uint64_t)(field[i] - '0');
        if (value > (max - digit) / 10u) return false;
        value = value * 10u + digit;
    }
    out = value;
    return true;
}

// The first whitespace-delimited word of the field; false when it holds none.
bool firstWord(const std::string& field, std::string& word) {
    size_t start = 0;
    while (start < field.size() && isspace((unsigned char)field[start])) ++start;
    if (start >= field.size()) return false;
    size_t end = start;
    while (end < field.size() && !isspace((unsigned char)field[end])) ++end;
    word.assign(field, start, end - start);
    return true;
}

bool isFinal(uint32_t status) {
    return status == TRANSCODE_STATUS_DONE || status == TRANSCODE_STATUS_CANCELLED || status == TRANSCODE_STATUS_FAILED;
}

}  // namespace

void keepTranscodeJob(ZtcontrolCommandServer* server, const TranscodeJob& job) {
    server->transcodeJobs.push_back(job);
    while (server->transcodeJobs.size() > kKeptJobs) server->transcodeJobs.pop_front();
}

bool handleTranscodeNotification(ZtcontrolCommandServer* server, const std::string& text) {
    const char* t = text.c_str();
    FieldReader reader(text);
    std::string field;
    uint64_t id = 0, status = 0, progress = 0;

    if (!reader.next(field)) return false;
    if (!readNumber(field, UINT64_MAX, id)) {
        ZTLOG(UTIL_LOG_ERROR, "Error parsing id from %s", t);
        return false;
    }
    ZTLOG(UTIL_LOG_DEBUG, "Parsed id %lld from %s", (long long)id, t);

    if (!reader.next(field)) return false;
    if (!readNumber(field, UINT32_MAX, status)) {
        ZTLOG(UTIL_LOG_ERROR, "Error parsing status from %s", t);
        return false;
    }
    ZTLOG(UTIL_LOG_DEBUG, "Parsed status %d from %s", (int)status, t);

    if (!reader.next(field)) return false;
    if (!readNumber(field, UINT32_MAX, progress)) {
        ZTLOG(UTIL_LOG_ERROR, "Error parsing progress from %s", t);
        return false;
    }
    ZTLOG(UTIL_LOG_DEBUG, "Parsed progress %d from %s", (int)progress, t);

    std::string filename;
    if (status == TRANSCODE_STATUS_DONE) {
        if (!reader.next(field)) return false;
        if (!firstWord(field, filename)) {
            ZTLOG(UTIL_LOG_ERROR, "Error parsing filename from %s", t);
            return false;
        }
        ZTLOG(UTIL_LOG_DEBUG, "Parsed filename %s from %s", filename.c_str(), t);
    }

    if (server->transcodeJobs.empty()) {
        ZTLOG(UTIL_LOG_WARN, "Got CSI Notifications for transcode that are unrelated to us. Ignoring!");
        return false;
    }
    TranscodeJob& job = server->transcodeJobs.back();
    if (job.transcode_id != id) return false;
    if (isFinal(job.status)) {
        ZTLOG(UTIL_LOG_WARN, "Got CSI Notifications for transcode that are unrelated to us. Ignoring!");
        return false;
    }
    job.status = (uint32_t)status;
    job.progress = (uint32_t)progress;
    if (filename.empty()) return true;

    ZTLOG(UTIL_LOG_DEBUG, "Updating status for Id:%lld", (long long)id);
    std::replace(filename.begin(), filename.end(), '\\', '/');
    // The field keeps its terminator: a longer name is cut to 256 characters.
    memset(job.filename, 0, sizeof(job.filename));
    memcpy(job.filename, filename.data(), std::min(filename.size(), sizeof(job.filename) - 1));
    return true;
}

#include "follow.h"

#include <time.h>

#include <string>

#include "decoders.h"
#include "output.h"
#include "ztErrno.h"

namespace ztctl {

namespace {

constexpr unsigned long long kStatusDone = 2;
constexpr unsigned long long kStatusCancelled = 3;
constexpr unsigned long long kStatusFailed = 4;

const Node* member(const Node& object, const char* key) {
    for (const Node& item : object.items)
        if (item.key == key) return &item;
    return nullptr;
}

struct JobState {
    unsigned long long status = 0;
    unsigned long long progress = 0;
    std::string statusName;
    std::string filename;
    long long failureReason = 0;
};

bool readJob(const Response& response, JobState& job) {
    Node record;
    if (!decodeTranscodeRecord(response.payload.data(), response.payload.size(), record)) return false;
    job.status = member(record, "status")->u;
    job.progress = member(record, "progress")->u;
    job.statusName = member(record, "status_name")->text;
    job.filename = member(record, "filename")->text;
    job.failureReason = member(record, "failure_reason")->i;
    return true;
}

std::string jobIdText(const Request& request) {
    if (request.argument.size() < 8) return "?";
    unsigned long long id = 0;
    for (int i = 7; i >= 0; --i) id = id << 8 | request.argument[(size_t)i];
    return std::to_string(id);
}

std::string progressLine(const std::string& id, const JobState& job) {
    std::string line = "job " + id + ": " + job.statusName + " (" + std::to_string(job.status) + "), " +
                       std::to_string(job.progress) + " %";
    if (job.status == kStatusDone) line += ", output " + job.filename;
    if (job.status == kStatusFailed) line += ", failure reason " + std::to_string(job.failureReason);
    return line + "\n";
}

void pause(double seconds) {
    struct timespec t;
    t.tv_sec = (time_t)seconds;
    t.tv_nsec = (long)((seconds - (double)t.tv_sec) * 1e9);
    while (nanosleep(&t, &t) != 0) {
    }
}

}  // namespace

int runFollow(const Invocation& inv, const Request& request, std::ostream& out, std::ostream& err) {
    const ZtcontrolCommandInfo* info = ztcontrolCommandById(request.id);
    const std::string id = jobIdText(request);
    bool first = true;
    JobState last;
    Session session(inv.mailbox);  // one reply mailbox for every poll
    for (;;) {
        Response response;
        std::string error;
        const Outcome outcome = session.exchange(inv.timeoutSeconds, request, response, error);
        if (outcome != Outcome::Answered) {
            if (inv.json) out << renderFailureJson(request.id, info, outcomeCode(outcome), error);
            err << "ztctl: " << commandName(info) << ": " << error << "\n";
            return 2;
        }
        JobState job;
        if (response.result != ZT_OK || !readJob(response, job)) {
            if (inv.json)
                out << renderResultJson(request.id, info, response);
            else
                out << "job " << id << ": no record (result " << response.result << " "
                    << ztErrno2Str(response.result) << "): not the newest job the daemon keeps\n";
            out.flush();
            return 1;
        }
        if (first || job.status != last.status || job.progress != last.progress) {
            out << (inv.json ? renderResultJson(request.id, info, response) : progressLine(id, job));
            out.flush();
        }
        if (job.status == kStatusDone) return 0;
        if (job.status == kStatusCancelled || job.status == kStatusFailed) return 1;
        first = false;
        last = job;
        pause(inv.intervalSeconds);
    }
}

}  // namespace ztctl

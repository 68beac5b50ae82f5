#include "transcode.h"

#include <stdio.h>
#include <string.h>

#include "bytes.h"
#include "event_sink.h"

namespace camsim {

namespace {

enum { kStarted = 0, kRunning = 1, kDone = 2, kCancelled = 3 };

bool endsWith(const std::string& s, const char* tail) {
    size_t n = strlen(tail);
    if (s.size() < n) return false;
    for (size_t i = 0; i < n; ++i)
        if ((s[s.size() - n + i] | 0x20) != (tail[i] | 0x20)) return false;
    return true;
}

}  // namespace

int postTranscodeNotification(EventSink& sink, const char* text) {
    uint8_t arg[5 + 256];
    size_t n = strnlen(text, 255);
    arg[0] = 1;
    putBe32(arg + 1, uint32_t(n + 1));
    memcpy(arg + 5, text, n);
    arg[5 + n] = 0;
    return sink.postEvent(18, "CN", arg, int(5 + n + 1));
}

int TranscodeEngine::start(const uint8_t* payload, int len, int extra, double now, uint64_t* id,
                           uint32_t* estimate, int8_t* nak) {
    const void* nul = len > 0 ? memchr(payload, 0, size_t(len)) : nullptr;
    if (!nul) return -3;
    int nameLen = int(static_cast<const uint8_t*>(nul) - payload);
    if (nameLen == 0 || nameLen > 256 || len < nameLen + 1 + extra) return -3;
    for (const TranscodeJobInfo& j : jobs_) {
        if (j.status == kStarted || j.status == kRunning) {
            *nak = -8;  // busy with another job
            return -101;
        }
    }
    if (jobs_.size() == kKeep) {
        jobs_.erase(jobs_.begin());
        timing_.erase(timing_.begin());
    }
    TranscodeJobInfo job;
    job.id = nextId_++;
    job.source.assign(reinterpret_cast<const char*>(payload), size_t(nameLen));
    // A photo source gives a video, anything else a photo (12/6) or a video (12/5).
    bool toVideo = extra > 6 || endsWith(job.source, ".JPG");
    char out[64];
    snprintf(out, sizeof out, "DCIM\\100ZTCAM\\ZTTC%04u.%s", outputNumber_++ % 10000, toVideo ? "MP4" : "JPG");
    job.output = out;
    job.estimate = uint32_t(seconds_);
    jobs_.push_back(job);
    Timing t;
    t.started = now;
    timing_.push_back(t);
    *id = job.id;
    *estimate = job.estimate;
    return 0;
}

void TranscodeEngine::notify(const TranscodeJobInfo& job, bool subscribed, EventSink& events) {
    if (!subscribed) return;
    char text[128];
    if (job.status == kDone)
        snprintf(text, sizeof text, "%llu:%d:%d:%s", (unsigned long long)job.id, job.status, job.progress,
                 job.output.c_str());
    else
        snprintf(text, sizeof text, "%llu:%d:%d", (unsigned long long)job.id, job.status, job.progress);
    postTranscodeNotification(events, text);
}

int TranscodeEngine::cancel(uint64_t id, bool subscribed, EventSink& events) {
    for (TranscodeJobInfo& j : jobs_) {
        if (j.id == id && (j.status == kStarted || j.status == kRunning)) {
            j.status = kCancelled;
            notify(j, subscribed, events);
            return 0;
        }
    }
    return -3;
}

void TranscodeEngine::advance(double now, bool subscribed, EventSink& events) {
    for (size_t i = 0; i < jobs_.size(); ++i) {
        TranscodeJobInfo& j = jobs_[i];
        if (j.status != kStarted && j.status != kRunning) continue;
        double done = (now - timing_[i].started) / seconds_;
        int progress = done >= 1.0 ? 100 : int(done * 100.0);
        // Report every tenth of the way, and the end.
        int step = progress / 10;
        if (step == timing_[i].reported && progress < 100) continue;
        timing_[i].reported = step;
        j.progress = progress;
        j.status = progress >= 100 ? kDone : kRunning;
        notify(j, subscribed, events);
    }
}

}  // namespace camsim

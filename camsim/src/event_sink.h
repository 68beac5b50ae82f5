// Where the camera model puts the events it raises (sent to the daemon mailbox later).
#ifndef CAMSIM_EVENT_SINK_H
#define CAMSIM_EVENT_SINK_H

#include <stdint.h>

namespace camsim {

class EventSink {
public:
    virtual ~EventSink() = default;
    // cmd is two characters. Returns 0, or -1 when the event could not be queued.
    virtual int postEvent(int category, const char* cmd, const uint8_t* arg, int argLen) = 0;
};

// The transcode notification event: category 18, "CN", argument 1 byte, 4 bytes, text with NUL.
int postTranscodeNotification(EventSink& sink, const char* text);

}  // namespace camsim

#endif

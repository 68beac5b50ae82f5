// The camera's and the network daemon's events through the worker's routing, against the
// simulated camera: preset updates (category 10), suspend/resume (16), subscription answers (17)
// and CSI state events (18, transcode progress texts) with arbitrary elements. None of them is
// answered; the daemon must stay whole and keep at most two transcode jobs.
//
// Input: byte 0 picks the category (low two bits) and whether the event starts with one of the
// codes the handlers look for (bit 2, code from bits 4-6) or with none; the rest is a sequence of
// elements, each a type byte, a length byte and that many value bytes (cut at the input's end).
// Bit 7 adds a transcode job to the history, so progress texts can match it; bit 3 makes every
// camera operation the event causes fail (model read on resume, preset and lens reads).
#include <stdint.h>
#include <string.h>

#include "daemon_fixture.h"
#include "fuzz_support.h"
#include "server/ztcontrol_if_server.h"
#include "transcode/transcode_job.h"
#include "ztTlv.h"

namespace {

const uint8_t kCategories[4] = {10, 16, 17, 18};
const char* const kCodes[8] = {"CN", "CR", "PU", "JR", "JS", "C", "", "PUX"};

// Appends an element (0, 16-bit big-endian length, type, value) by hand when it fits: the library's
// builder refuses some shapes a sender may still produce (an empty source name).
void addElement(uint8_t* message, uint8_t type, const uint8_t* value, size_t length)
{
    const size_t total = (size_t)(message[0] << 8 | message[1]);
    if (total + 4 + length > ZTMSG_MAX)
        return;
    uint8_t* at = message + total;
    at[0] = 0;
    at[1] = (uint8_t)(length >> 8);
    at[2] = (uint8_t)length;
    at[3] = type;
    if (length > 0)
        memcpy(at + 4, value, length);
    message[0] = (uint8_t)((total + 4 + length) >> 8);
    message[1] = (uint8_t)(total + 4 + length);
}

void keepJob(ZtcontrolCommandServer* server, uint64_t id)
{
    TranscodeJob job;
    memset(&job, 0, sizeof(job));
    job.transcode_id = id;
    keepTranscodeJob(server, job);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    DaemonFixture& fixture = DaemonFixture::get();
    ZtcontrolCommandServer* server = fixture.server();
    static uint8_t message[ZTMSG_MAX];
    sntlv_msg_init(message, sizeof(message), kCategories[data[0] & 3]);
    if (data[0] & 4) {
        const char* code = kCodes[(data[0] >> 4) & 7];
        addElement(message, TLV_CMD, reinterpret_cast<const uint8_t*>(code), strlen(code));
    }
    size_t at = 1;
    while (at + 2 <= size) {
        const uint8_t type = data[at];
        const size_t length = std::min((size_t)data[at + 1], size - at - 2);
        addElement(message, type, data + at + 2, length);
        at += 2 + length;
    }
    addElement(message, TLV_END, nullptr, 0);
    if (data[0] & 0x80)
        keepJob(server, size);  // an id an input can name: its own length
    if (data[0] & 0x08)
        fixture.cameraFaults(-1, -101);
    fixture.route(message, (size_t)sntlv_msg_len(message));
    FUZZ_CHECK(server->transcodeJobs.size() <= 2);
    FUZZ_CHECK(server->protocolAdapterSet);
    return 0;
}

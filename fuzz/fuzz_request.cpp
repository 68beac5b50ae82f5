// The whole request path in process: a control request built from the input goes through the
// worker's routing, the intake and the command handler of its id, against the simulated camera.
// Every request that names a reply mailbox gets exactly one answer there, whatever its id and
// argument; one that names none gets none.
//
// Input: byte 0 holds flags, byte 1 the command id (every id, assigned or not), the rest is the
// argument (element 66), after one parameter byte of the camera faults when there are any.
//   bit 0  the rest is the whole received message instead (any category, any elements)
//   bit 1  no argument element at all
//   bit 2  no reply mailbox element
//   bit 3  the command element is 2 bytes long (too short for an id)
//   bit 4  a status poll follows (notification clients the requests registered included)
//   bit 5  the camera's successful answers are cut to the parameter byte's value in bytes
//   bit 6  every camera operation fails, with an error picked by the parameter byte
#include <stdint.h>
#include <string.h>

#include <vector>

#include "daemon_fixture.h"
#include "fuzz_support.h"
#include "server/ztcontrol_if_server.h"
#include "ztClient.h"
#include "zt_msg_classes.h"
#include "ztcontrol_commands.h"

namespace {

enum : uint8_t { kRaw = 1, kNoArgument = 2, kNoReply = 4, kShortCommand = 8, kPoll = 16, kCut = 32, kFail = 64 };
const int32_t kCameraErrors[4] = {-1, -3, -101, -103};

std::vector<uint8_t> buildRequest(uint8_t flags, uint32_t id, const uint8_t* arg, size_t argLength,
                                  const char* replyTo)
{
    std::vector<uint8_t> out(ZT_MSG_BUFFER_SIZE);
    if (!(flags & (kShortCommand | kNoReply))) {
        static const uint8_t noBytes = 0; // an empty argument is still an element
        const bool withArgument = !(flags & kNoArgument);
        const int n = ztClient_encodeRequest(id, withArgument ? (argLength ? arg : &noBytes) : nullptr,
                                             withArgument ? argLength : 0, replyTo, out.data(), out.size());
        out.resize(n < 0 ? 0 : (size_t)n);
        return out;
    }
    // The malformed shapes (a 2-byte command id, no reply mailbox), element by element.
    Msg msg(ZT_MSG_CATEGORY);
    uint8_t idBytes[4];
    memcpy(idBytes, &id, sizeof(idBytes));
    MsgElement command(ZT_TAG_COMMAND, (flags & kShortCommand) ? 2 : 4, idBytes);
    MsgElement argument(ZT_TAG_ARGUMENT, (uint16_t)argLength, argLength ? arg : nullptr);
    MsgElement reply(ZT_TAG_REPLY_MBOX, (uint16_t)(strlen(replyTo) + 1), replyTo);
    msg.addElement(&command);
    if (!(flags & kNoArgument)) msg.addElement(&argument);
    if (!(flags & kNoReply)) msg.addElement(&reply);
    MemStream stream(out.data(), out.size());
    stream << msg;
    out.resize(stream.failed() ? 0 : stream.getLength());
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    DaemonFixture& fixture = DaemonFixture::get();
    const uint8_t flags = data[0];
    size_t at = 1;
    if ((flags & (kCut | kFail)) && size > 2) {
        const uint8_t parameter = data[at++];
        fixture.cameraFaults((flags & kCut) ? parameter : -1, (flags & kFail) ? kCameraErrors[parameter & 3] : 0);
    }
    if (flags & kRaw) {
        fixture.route(data + at, size - at);
    } else if (at + 1 <= size) {
        const uint8_t id = data[at++];
        // Element 66 is cut where the whole request would no longer fit in one message.
        const size_t argLength = std::min(size - at, (size_t)ZT_MSG_BUFFER_SIZE - 64);
        const std::vector<uint8_t> message = buildRequest(flags, id, data + at, argLength, fixture.requesterName());
        FUZZ_CHECK(!message.empty());
        const int answers = fixture.route(message.data(), message.size());
        const bool named = !(flags & kNoReply);
        FUZZ_CHECK(answers == (named && !(flags & kShortCommand) ? 1 : 0));
    }
    if (flags & kPoll)
        fixture.poll();
    return 0;
}

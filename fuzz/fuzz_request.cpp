// The whole request path in process: a control request built from the input goes through the
// worker's routing, the intake and the command handler of its id, against the simulated camera.
// Every request that names a reply mailbox gets exactly one answer there, whatever its id and
// argument; one that names none gets none.
//
// Input: byte 0 holds flags, byte 1 the command id (every id, assigned or not), the rest is the
// argument (element 66).
//   bit 0  the rest is the whole received message instead (any category, any elements)
//   bit 1  no argument element at all
//   bit 2  no reply mailbox element
//   bit 3  the command element is 2 bytes long (too short for an id)
//   bit 4  a status poll follows (notification clients the requests registered included)
#include <stdint.h>
#include <string.h>

#include <vector>

#include "daemon_fixture.h"
#include "fuzz_support.h"
#include "zt_msg_classes.h"
#include "ztcontrol_commands.h"
#include "ztcontrol_if_server.h"

namespace {

enum : uint8_t { kRaw = 1, kNoArgument = 2, kNoReply = 4, kShortCommand = 8, kPoll = 16 };

std::vector<uint8_t> buildRequest(uint8_t flags, uint32_t id, const uint8_t* arg, size_t argLength,
                                  const char* replyTo)
{
    Msg msg(ZT_MSG_CATEGORY);
    uint8_t idBytes[4];
    memcpy(idBytes, &id, sizeof(idBytes));
    MsgElement command(ZT_TAG_COMMAND, (flags & kShortCommand) ? 2 : 4, idBytes);
    MsgElement argument(ZT_TAG_ARGUMENT, (uint16_t)argLength, argLength ? arg : nullptr);
    MsgElement reply(ZT_TAG_REPLY_MBOX, (uint16_t)(strlen(replyTo) + 1), replyTo);
    msg.addElement(&command);
    if (!(flags & kNoArgument)) msg.addElement(&argument);
    if (!(flags & kNoReply)) msg.addElement(&reply);
    std::vector<uint8_t> out(ZT_MSG_BUFFER_SIZE);
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
    if (flags & kRaw) {
        fixture.route(data + 1, size - 1);
    } else {
        // Element 66 is cut where the whole request would no longer fit in one message.
        const size_t argLength = std::min(size - 2, (size_t)ZT_MSG_BUFFER_SIZE - 64);
        const std::vector<uint8_t> message =
            buildRequest(flags, data[1], data + 2, argLength, fixture.requesterName());
        FUZZ_CHECK(!message.empty());
        const int answers = fixture.route(message.data(), message.size());
        const bool named = !(flags & kNoReply);
        FUZZ_CHECK(answers == (named && !(flags & kShortCommand) ? 1 : 0));
    }
    if (flags & kPoll)
        fixture.poll();
    return 0;
}

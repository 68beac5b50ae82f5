// Writes the seed corpus (fuzz/corpus/<target>/): a few small valid inputs per target, built
// with the same library calls that build real messages, so the seeds stay true to the formats.
//   fuzz_make_seeds DIR     (DIR is usually the source tree's fuzz/corpus)
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "zt_msg_classes.h"
#include "ztcontrol_commands.h"
#include "ztMsg.h"
#include "ztTlv.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string g_root;
int g_failures = 0;

void writeSeed(const char* target, const char* name, const void* data, size_t size)
{
    const std::string dir = g_root + "/" + target;
    mkdir(g_root.c_str(), 0755);
    mkdir(dir.c_str(), 0755);
    const std::string path = dir + "/" + name;
    FILE* f = fopen(path.c_str(), "wb");
    if (f == nullptr || fwrite(data, 1, size, f) != size) {
        fprintf(stderr, "cannot write %s\n", path.c_str());
        g_failures++;
    }
    if (f != nullptr)
        fclose(f);
}

// A complete TLV message the way ztmsg_send completes one: CMD, CMDARG, SRC, DST, END.
int tlvMessage(ztMsgIobuf* io, const char* cmd, const void* arg, int argLen, int cat, const char* src,
               const char* dst)
{
    memset(io, 0, sizeof *io);
    io->size = ZTMSG_MAX;
    ztmsg_build(io, cmd, arg, argLen, cat);
    sntlv_add_bin(io->buf, ZTMSG_MAX, TLV_SRC, (int)strlen(src), src);
    sntlv_add_bin(io->buf, ZTMSG_MAX, TLV_DST, (int)strlen(dst), dst);
    sntlv_add_dat(io->buf, ZTMSG_MAX, TLV_END, 0, 0);
    return sntlv_msg_len(io->buf);
}

void tlvSeeds()
{
    static ztMsgIobuf io;
    const uint8_t subscribe[2] = {0x01, 0x4F};
    int len = tlvMessage(&io, "CR", subscribe, 2, 16, "/to_ztCtlD", "/to_ztnet");
    writeSeed("tlv", "subscribe_47", io.buf, (size_t)len);

    // A response: odd category, with a response argument after the command argument.
    memset(&io, 0, sizeof io);
    ztmsg_build(&io, "RA", "\x08\x0b", 2, 21);
    const uint8_t answer[] = {0, 0, 0, 0, 2};
    sntlv_add_bin(io.buf, ZTMSG_MAX, TLV_RSPARG, sizeof answer, answer);
    sntlv_add_bin(io.buf, ZTMSG_MAX, TLV_SRC, 9, "/to_ztnet");
    sntlv_add_bin(io.buf, ZTMSG_MAX, TLV_DST, 11, "/to_ztCtlD2");
    sntlv_add_dat(io.buf, ZTMSG_MAX, TLV_END, 0, 0);
    writeSeed("tlv", "response", io.buf, (size_t)sntlv_msg_len(io.buf));

    len = tlvMessage(&io, "MN", "", 0, 20, "/ztctl_1", "/to_ztnet");
    sntlv_void(io.buf, TLV_CMDARG);
    writeSeed("tlv", "voided_arg", io.buf, (size_t)len);

    unsigned char header[4];
    writeSeed("tlv", "header_only", header, (size_t)sntlv_msg_init(header, sizeof header, 20));
}

void msgSeeds()
{
    static uint8_t buf[ZTMSG_MAX];
    const uint32_t command = 14;
    const uint32_t argument = 1;
    const char reply[] = "/ztctl_4242";
    MsgElement cmd(ZT_TAG_COMMAND, sizeof command, &command);
    MsgElement arg(ZT_TAG_ARGUMENT, sizeof argument, &argument);
    MsgElement src(ZT_TAG_REPLY_MBOX, sizeof reply, reply);
    MsgElement end(ZT_TAG_END, 0, nullptr);
    Msg request(ZT_MSG_CATEGORY);
    request.addElement(&cmd);
    request.addElement(&arg);
    request.addElement(&src);
    request.addElement(&end);
    MemStream out(buf, sizeof buf);
    out << request;
    writeSeed("msg", "request", buf, out.getLength());

    const int32_t result = -3;
    MsgElement res(ZT_TAG_RESULT, sizeof result, &result);
    MsgElement payload(ZT_TAG_PAYLOAD, 3, "ab");
    Msg response(ZT_MSG_CATEGORY);
    response.setMsgType(ZT_MSG_TYPE_RESPONSE);
    response.addElement(&res);
    response.addElement(&payload);
    response.addElement(&end);
    out << response;
    writeSeed("msg", "response", buf, out.getLength());

    Msg empty(ZT_MSG_CATEGORY);
    out << empty;
    writeSeed("msg", "empty", buf, out.getLength());
}

void eventSeeds()
{
    static ztMsgIobuf io;
    const char* cam = "/to_ztnet";
    const char* daemon = "/to_ztCtlD";
    // CSI notification: one byte, a 32-bit text length, then the NUL-terminated text.
    const char text[] = "17:1:40";
    uint8_t cn[5 + sizeof text] = {1, 0, 0, 0, (uint8_t)sizeof text};
    memcpy(cn + 5, text, sizeof text);
    int len = tlvMessage(&io, "CN", cn, sizeof cn, 18, cam, daemon);
    writeSeed("received_tlv", "csi_notification", io.buf, (size_t)len);

    const uint8_t ok = 0;
    memset(&io, 0, sizeof io);
    ztmsg_build(&io, "CR", "", 0, 17);
    sntlv_add_bin(io.buf, ZTMSG_MAX, TLV_RSPARG, 1, &ok);
    sntlv_add_bin(io.buf, ZTMSG_MAX, TLV_SRC, (int)strlen(cam), cam);
    sntlv_add_bin(io.buf, ZTMSG_MAX, TLV_DST, (int)strlen(daemon), daemon);
    sntlv_add_dat(io.buf, ZTMSG_MAX, TLV_END, 0, 0);
    writeSeed("received_tlv", "subscribe_answer", io.buf, (size_t)sntlv_msg_len(io.buf));

    // Preset update: event byte, preset id little-endian.
    const uint8_t pu[5] = {6, 0x01, 0x00, 0x02, 0x00};
    len = tlvMessage(&io, "PU", pu, sizeof pu, 10, cam, daemon);
    writeSeed("received_tlv", "preset_switched", io.buf, (size_t)len);
    len = tlvMessage(&io, "JR", "", 0, 16, cam, daemon);
    writeSeed("received_tlv", "resume", io.buf, (size_t)len);
}

void parseParamSeeds()
{
    const char plain[] = "status=2&id=7";
    writeSeed("parse_param", "status", plain, sizeof plain - 1);
    // Key, NUL, text.
    const char keyed[] = "mode=\0id=12&mode=video;x";
    writeSeed("parse_param", "keyed", keyed, sizeof keyed - 1);
    const char blank[] = "name=\0name=x y";
    writeSeed("parse_param", "blank_ends", blank, sizeof blank - 1);
}

// Selector byte, then bytes: requests (selector 1: info, 2: custom create) in their wire form,
// a preset record (selector 4: model 55, lens mode 0), an id list.
void presetSeeds()
{
    const uint8_t info[] = {1, 0x08, 0x81, 0x80, 0x04};
    writeSeed("preset_wire", "info_request", info, sizeof info);
    const uint8_t create[] = {2, 0x08, 0xe8, 0x07, 0x10, 0x0c, 0x18, 0x14, 0x20, 0x14, 0x28, 0x00};
    writeSeed("preset_wire", "create_request", create, sizeof create);
    uint8_t record[1 + 80] = {4, 21, 1, 0x05, 0x00, 0x02, 0x00};
    record[1 + 8] = 9;    // icon
    record[1 + 12] = 9;   // title
    record[1 + 16] = 2;   // title number
    record[1 + 25 + 5] = 0;
    record[1 + 25 + 7] = 0xfe;
    record[1 + 79] = 1;
    writeSeed("preset_wire", "nightlapse_record", record, sizeof record);
    const uint8_t ids[] = {0, 2, 0x00, 0x00, 0x01, 0x00, 0x04, 0x00, 0x01, 0x00};
    writeSeed("preset_wire", "id_list", ids, sizeof ids);
}

// Flags byte, command id, argument (fuzz_request.cpp): every command of the table with an
// argument of its kind, one whole request as raw bytes, one followed by a status poll.
void requestSeeds()
{
    size_t count = 0;
    const ZtcontrolCommandInfo* commands = ztcontrolCommands(&count);
    for (size_t i = 0; i < count; ++i) {
        Bytes seed = {0, (uint8_t)commands[i].id};
        switch (commands[i].argKind) {
            case ZT_ARG_NONE: seed[0] = 2; break;
            case ZT_ARG_U8: seed.push_back(1); break;
            case ZT_ARG_U16: seed.insert(seed.end(), {1, 0}); break;
            case ZT_ARG_U32: seed.insert(seed.end(), {1, 0, 0, 0}); break;
            case ZT_ARG_TEXT: seed.insert(seed.end(), {'1', 0}); break;
            case ZT_ARG_BYTES: seed.resize(seed.size() + 8, 1); break;
            default: break;  // an empty protobuf message, or an argument nobody reads
        }
        writeSeed("request", commands[i].shortName, seed.data(), seed.size());
    }
    const Bytes push = {0, ZTCONTROL_PUSH_NOTIFICATIONS, 's', 't', 'a', 't', 'u', 's', '=', '1', 0};
    writeSeed("request", "push-status-text", push.data(), push.size());
    // Arguments the mutator would take long to find: a transcode request (name field, then words)
    // and preset requests in their protobuf form.
    Bytes transcode = {0, ZTCONTROL_TRANSCODE_VIDEO_REQUEST};
    const char source[] = "DCIM/100ZTCAM/ZT010001.MP4";
    transcode.insert(transcode.end(), source, source + sizeof source);
    transcode.resize(2 + 260 + 11 * 4, 0);
    writeSeed("request", "transcode-video-named", transcode.data(), transcode.size());
    const Bytes info = {0, ZTCONTROL_PRESET_INFO, 0x08, 0x81, 0x80, 0x04};
    writeSeed("request", "preset-info-id", info.data(), info.size());
    const Bytes create = {0, ZTCONTROL_PRESET_CUSTOM_CREATE, 0x08, 0xe8, 0x07, 0x10, 0x0c, 0x18, 0x14, 0x20, 0x14, 0x28, 0x00};
    writeSeed("request", "preset-custom-create-valid", create.data(), create.size());
    const Bytes poll = {16, 90};
    writeSeed("request", "unassigned-then-poll", poll.data(), poll.size());

    static uint8_t buf[ZTMSG_MAX];
    const uint32_t command = ZTCONTROL_DELETE_LAST;
    const char reply[] = "/ztctl_4242";
    MsgElement cmd(ZT_TAG_COMMAND, sizeof command, &command);
    MsgElement src(ZT_TAG_REPLY_MBOX, sizeof reply, reply);
    Msg request(ZT_MSG_CATEGORY);
    request.addElement(&cmd);
    request.addElement(&src);
    buf[0] = 1;
    MemStream out(buf + 1, sizeof buf - 1);
    out << request;
    writeSeed("request", "raw", buf, 1 + out.getLength());
}

// Category and code byte, then elements as type, length, value (fuzz_events.cpp).
void eventElementSeeds()
{
    const char text[] = "17:1:40";
    Bytes cn = {3 | 4 | (0 << 4), TLV_CMDARG, 5 + sizeof text, 1, 0, 0, 0, (uint8_t)sizeof text};
    cn.insert(cn.end(), text, text + sizeof text);
    writeSeed("events", "csi_notification", cn.data(), cn.size());
    const Bytes pu = {0 | 4 | (2 << 4), TLV_CMDARG, 5, 6, 0x01, 0x00, 0x02, 0x00};
    writeSeed("events", "preset_switched", pu.data(), pu.size());
    const Bytes resume = {1 | 4 | (3 << 4)};
    writeSeed("events", "resume", resume.data(), resume.size());
    const Bytes suspend = {1 | 4 | (4 << 4)};
    writeSeed("events", "suspend", suspend.data(), suspend.size());
    const Bytes answer = {2 | 4 | (1 << 4), TLV_RSPARG, 1, 0};
    writeSeed("events", "subscribe_answer", answer.data(), answer.size());
}

// Newest job id (8 bytes little-endian), its status, the text (fuzz_transcode_text.cpp).
void transcodeTextSeeds()
{
    const std::string texts[] = {"17:1:40", "17:2:100:DCIM\\100ZTCAM\\ZT010001.MP4", "18:3:0"};
    const char* names[] = {"progress", "done_with_name", "other_job"};
    for (size_t i = 0; i < 3; ++i) {
        Bytes seed = {17, 0, 0, 0, 0, 0, 0, 0, 1};
        seed.insert(seed.end(), texts[i].begin(), texts[i].end());
        writeSeed("transcode_text", names[i], seed.data(), seed.size());
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: %s CORPUS_DIR\n", argv[0]);
        return 2;
    }
    g_root = argv[1];
    tlvSeeds();
    msgSeeds();
    eventSeeds();
    parseParamSeeds();
    presetSeeds();
    requestSeeds();
    eventElementSeeds();
    transcodeTextSeeds();
    return g_failures ? 1 : 0;
}

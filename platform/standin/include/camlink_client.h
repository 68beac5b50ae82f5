// Client side of the camera link, shared by the control-library and settings-library stand-ins:
// one request/reply exchange per call (camlink_protocol.h), serialised by one process-wide mutex.
#ifndef CAMLINK_CLIENT_H
#define CAMLINK_CLIENT_H

#include <stddef.h>
#include <stdint.h>

#include "camlink_protocol.h"
#include "ztTlv.h"
#include "ztc_control.h"

#define CAMLINK_DEFAULT_REPLY_TIMEOUT_MS 3000

// Operation arguments, encoded big-endian. Writing past the capacity marks the arguments
// overflowed; camlink_exchange refuses overflowed arguments.
class CamlinkArgs {
public:
    CamlinkArgs& u8(uint8_t value);
    CamlinkArgs& u16(uint16_t value);
    CamlinkArgs& u32(uint32_t value);
    CamlinkArgs& i32(int32_t value) { return u32(static_cast<uint32_t>(value)); }
    CamlinkArgs& bytes(const void* data, size_t length);

    const uint8_t* data() const { return buffer_; }
    uint16_t size() const { return static_cast<uint16_t>(length_); }
    bool overflowed() const { return overflowed_; }

private:
    uint8_t buffer_[ZTMSG_MAX];
    size_t length_ = 0;
    bool overflowed_ = false;
};

struct CamlinkRequest {
    const char* op;         // two-character operation code (CAMLINK_OP_*)
    const CamlinkArgs* args; // arguments after the sequence number; may be null
};

// Sends the request and waits for its reply on ctx->rxMqd, at most ctx->replyTimeoutMs
// (CAMLINK_DEFAULT_REPLY_TIMEOUT_MS when 0), send included. Replies of earlier requests are
// discarded. Returns the camera's result, or a negative ztErrno when the link failed
// (ZT_ERR_MQ_FAIL on a time-out, after which the camera mailbox is reopened by name).
// The answer bytes are copied to `answer` when it is not null; an answer longer than
// answerCapacity fails the call with ZT_ERR. The reply's NAK reason goes to ctx->lastNakReason.
// Remembers ctx as the attached context.
int camlink_exchange(ztc_msg_q_context_t* ctx, const CamlinkRequest& request, uint8_t* answer,
                     uint16_t answerCapacity, uint16_t* answerLength);

// The context of the last exchange, or the one attached explicitly: calls that take no context
// (ztc_select_protocol_adapter, csi_set) use it. Null before either happened.
void camlink_attach_context(ztc_msg_q_context_t* ctx);
ztc_msg_q_context_t* camlink_attached_context();

#endif

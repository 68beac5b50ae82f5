// Remote operations, satchel commands, model number and protocol adapter.
//
// Answers are copied into a buffer of the calling thread: it stays valid until that thread's
// next answering call. The worker thread's answer therefore survives the preset-edit timer
// thread's calls, which the daemon makes at any moment.
#include "camlink_client.h"
#include "ztErrno.h"
#include "ztLog.h"
#include "ztc_control.h"

namespace {

thread_local uint8_t t_answer[ZTMSG_MAX];

// One exchange whose answer, on success, is handed out through rsp/rspLen (when rsp is given).
int exchangeWithAnswer(ztc_msg_q_context_t* ctx, const char* op, const CamlinkArgs& args, uint8_t** rsp,
                       uint16_t* rspLen)
{
    uint16_t got = 0;
    const int r = camlink_exchange(ctx, {op, &args}, rsp ? t_answer : nullptr, sizeof t_answer, &got);
    if (r == 0 && rsp != nullptr) {
        *rsp = got ? t_answer : nullptr;
        if (rspLen)
            *rspLen = got;
    }
    return r;
}

int remote(ztc_msg_q_context_t* ctx, uint8_t category, uint8_t op, const void* data, uint16_t len, uint8_t** rsp,
           uint16_t* rspLen)
{
    if (len != 0 && data == nullptr) {
        ZTLOG(UTIL_LOG_ERROR, "ztc remote %u/%u: %u payload bytes without data", category, op, len);
        return ZT_ERR_INVALID_PARAM;
    }
    CamlinkArgs args;
    args.u8(category).u8(op).bytes(data, len);
    return exchangeWithAnswer(ctx, CAMLINK_OP_REMOTE, args, rsp, rspLen);
}

bool answerWanted(const char* what, uint8_t** rsp, uint16_t* rspLen)
{
    if (rsp != nullptr && rspLen != nullptr)
        return true;
    ZTLOG(UTIL_LOG_ERROR, "%s: no place for the answer", what);
    return false;
}

}  // namespace

extern "C" {

int ztc_send_simple_remote_api(ztc_msg_q_context_t* ctx, uint8_t category, uint8_t op)
{
    return remote(ctx, category, op, nullptr, 0, nullptr, nullptr);
}

int ztc_send_remote_api_payload(ztc_msg_q_context_t* ctx, uint8_t category, uint8_t op, const void* data,
                                uint16_t len)
{
    return remote(ctx, category, op, data, len, nullptr, nullptr);
}

int ztc_send_remote_api_for_response(ztc_msg_q_context_t* ctx, uint8_t category, uint8_t op, uint8_t** rsp,
                                     uint16_t* rspLen)
{
    if (!answerWanted("ztc_send_remote_api_for_response", rsp, rspLen))
        return ZT_ERR_INVALID_PARAM;
    return remote(ctx, category, op, nullptr, 0, rsp, rspLen);
}

int ztc_send_remote_api_payload_response(ztc_msg_q_context_t* ctx, uint8_t category, uint8_t op,
                                         const void* data, uint16_t len, uint8_t** rsp, uint16_t* rspLen)
{
    if (!answerWanted("ztc_send_remote_api_payload_response", rsp, rspLen))
        return ZT_ERR_INVALID_PARAM;
    return remote(ctx, category, op, data, len, rsp, rspLen);
}

int ztc_send_satchel_command(ztc_msg_q_context_t* ctx, const char code[2], const void* data, uint16_t len,
                             uint8_t** rsp, uint16_t* rspLen)
{
    if (code == nullptr || (len != 0 && data == nullptr)) {
        ZTLOG(UTIL_LOG_ERROR, "ztc_send_satchel_command: missing code or data");
        return ZT_ERR_INVALID_PARAM;
    }
    CamlinkArgs args;
    args.bytes(code, 2).bytes(data, len);
    return exchangeWithAnswer(ctx, CAMLINK_OP_SATCHEL, args, rsp, rspLen);
}

int ztc_state_get_model_number(ztc_msg_q_context_t* ctx, uint8_t* model)
{
    if (model == nullptr) {
        ZTLOG(UTIL_LOG_ERROR, "ztc_state_get_model_number: no output");
        return ZT_ERR_INVALID_PARAM;
    }
    uint8_t answer[4];
    uint16_t got = 0;
    const int r = camlink_exchange(ctx, {CAMLINK_OP_MODEL, nullptr}, answer, sizeof answer, &got);
    if (r != 0)
        return r;
    if (got != 1 || answer[0] == 0) {
        ZTLOG(UTIL_LOG_ERROR, "ztc_state_get_model_number: unusable answer (%u bytes)", got);
        return ZT_ERR;
    }
    *model = answer[0];
    return 0;
}

int ztc_select_protocol_adapter(uint8_t model)
{
    ztc_msg_q_context_t* ctx = camlink_attached_context();
    if (ctx == nullptr) {
        ZTLOG(UTIL_LOG_ERROR, "ztc_select_protocol_adapter: no camera link used yet");
        return ZT_ERR;
    }
    CamlinkArgs args;
    args.u8(model);
    return camlink_exchange(ctx, {CAMLINK_OP_ADAPTER, &args}, nullptr, 0, nullptr);
}

}  // extern "C"

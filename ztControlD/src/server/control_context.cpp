// The process-wide control-library context and model number cache.
#include <string.h>

#include "server/ztcontrol_if_server.h"

namespace {
ztc_msg_q_context_t closedContext() {
    ztc_msg_q_context_t context;
    memset(&context, 0, sizeof(context));
    context.txMqd = (mqd_t)-1;
    context.rxMqd = (mqd_t)-1;
    return context;
}
}  // namespace

ztc_msg_q_context_t g_ztcContext = closedContext();
uint8_t g_modelNumber = 0;

void resetControlContext() { g_ztcContext = closedContext(); }

// Queue notification clients registered and removed by command 0 on the running worker. What
// the clients receive is covered by the poll tests; this checks the command's argument handling.
#include <gtest/gtest.h>

#include <string>

#include "notify/push_client.h"
#include "server/ztcontrol_if_server.h"
#include "support/daemon_harness.h"
#include "support/notification_frames.h"
#include "ztErrno.h"
#include "ztcontrol_commands.h"

namespace {

Bytes queueArgument(uint32_t registerFlag, const std::string& name) {
    Bytes arg(4, 0);
    putLe32(arg, 0, registerFlag);
    arg.insert(arg.end(), name.begin(), name.end());
    arg.push_back(0);
    return arg;
}

TEST(Notifications, QueueClientRegisteredAndRemovedByName) {
    InProcessDaemon d;
    ASSERT_TRUE(d.startSimulator());
    ASSERT_EQ(d.startServer(), 0);
    ASSERT_TRUE(d.sync());
    auto queueClients = [&] {
        ZtcontrolCommandServer::Lock lock(&d.server()->pushClientsLock);
        size_t n = 0;
        for (NotificationClient* c : d.server()->pushClients) n += c->clientType == NOTIFICATION_CLIENT_MQ;
        return n;
    };
    PrivateQueue queue("ntf", 10);
    // While the camera is off, the client gets the (short) shutdown notice on every poll.
    d.sim().setPower(false);
    auto call = [&](uint32_t flag, const std::string& name) {
        return d.requester().call(ZTCONTROL_MQ_PUSH_NOTIFICATIONS, queueArgument(flag, name)).result;
    };
    for (const char* reserved : {"/to_ztnet", "/to_ztCtlD", "//to_ztCtlD2"})
        EXPECT_EQ(call(1, reserved), ZT_ERR_INVALID_PARAM) << reserved;
    EXPECT_EQ(queueClients(), 0u);
    EXPECT_EQ(call(1, queue.name()), ZT_OK);
    EXPECT_EQ(call(7, queue.name()), ZT_OK);  // any non-zero flag registers; the name only once
    EXPECT_EQ(queueClients(), 1u);
    // No ASSERT before the removal below: a client left registered would fill the queue and
    // block the worker in its send.
    QueueNotification event = parseQueueNotification(queue.receive());
    EXPECT_TRUE(event.parsed);
    EXPECT_NE(event.text.find("shutdown_pending"), std::string::npos);

    EXPECT_EQ(call(0, "/ztcd_not_registered"), ZT_OK);
    EXPECT_EQ(queueClients(), 1u);
    EXPECT_EQ(call(0, queue.name()), ZT_OK);
    EXPECT_EQ(queueClients(), 0u);
    while (!queue.receive(100).empty()) {
    }
    EXPECT_TRUE(queue.receive(1200).empty());
}

}  // namespace

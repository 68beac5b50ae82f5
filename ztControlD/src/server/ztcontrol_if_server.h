// The command server: the one object holding the daemon's run-time state (mailboxes, buffers,
// worker thread, notification clients, transcode history, status snapshots, camera state cache
// and the preset-edit timer).
#ifndef ZTCONTROL_IF_SERVER_H
#define ZTCONTROL_IF_SERVER_H

#include <mqueue.h>
#include <pthread.h>
#include <stdint.h>
#include <sys/time.h>

#include <atomic>
#include <deque>
#include <string>
#include <vector>

#include "csi_settings.h"
#include "server/zelto_timer.h"
#include "transcode/transcode_job.h"
#include "ztc_control.h"

class Msg;
class NotificationClient;

// Mailbox names and sizes.
constexpr const char* ZT_DAEMON_MBOX = "/to_ztCtlD";
constexpr const char* ZT_REPLY_MBOX = "/to_ztCtlD2";
constexpr const char* ZT_ZTNET_MBOX = "/to_ztnet";
constexpr int ZT_DAEMON_MBOX_MAXMSG = 2;
constexpr int ZT_MSG_BUFFER_SIZE = 1500;

// Process-wide: the control-library context passed to every ztc_* call, and the model number
// cache (0 = not read yet).
extern ztc_msg_q_context_t g_ztcContext;
extern uint8_t g_modelNumber;

class ZtcontrolCommandServer {
public:
    // Scoped mutex holder.
    class Lock {
    public:
        explicit Lock(pthread_mutex_t* mutex);
        virtual ~Lock();
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        pthread_mutex_t* mutex_;
    };

    static ZtcontrolCommandServer* getInstance();
    static void destroyInstance();

    int start();
    void stop();
    bool isRunning() const { return running; }

    int interfaceOpen();
    int interfaceClose();
    void subscribeTranscodeEvents();
    void unsubscribeTranscodeEvents();
    // Reads the model number and selects the protocol adapter for it; false (logged) when the
    // model cannot be read. Every exchange of it uses the context's current reply time-out.
    bool selectProtocolAdapter();
    // While the adapter is not set: selectProtocolAdapter again, with a probe's short time-out and
    // at most once a second. True when the adapter is set.
    bool retryProtocolAdapter();
    // The camera link answers again after time-outs: the network daemon behind it may have
    // restarted on the same mailbox and forgotten the subscription, so it is sent again.
    void cameraAnswersAgain();
    // Re-checks the network daemon's mailbox (at most every few seconds): when it was created
    // afresh (the network daemon restarted), the camera link is pointed at the new one and the
    // transcode subscription is sent again.
    void checkNetworkDaemon();

    // Answers a control request on the mailbox named in its element 68 (message intake).
    bool sendResponse(const Msg* request, int32_t result, const uint8_t* payload, uint16_t length);

    // Client registry (push_registry.cpp).
    bool addPushClient(NotificationClient* client);

    // Camera state cache (camera_state.cpp).
    void initCameraState();
    void refreshLensInfo();
    int getLensMode();
    int getLens();
    int32_t refreshActivePreset();
    int32_t getActivePreset();
    void fixupStatusRecord(all_status_settings_t* record);
    int readModelNumber(uint8_t* out);
    // Reads lens mode and lens from the camera whatever the flags say; the first error, else 0.
    int readLensData();
    // The active preset from the status block; the query's error, else 0.
    int readActivePreset();
    // The camera state the worker reads as it starts; stops at the first time-out (its error).
    int readStartupState();

    // Fields, in their documented order. They are public: the intake, the command families and
    // the notifier are plain functions over the server.
    mqd_t daemonMqd = (mqd_t)-1;
    uint8_t* rxBuffer = nullptr;
    uint8_t* txBuffer = nullptr;
    pthread_t workerThread;
    // Written by the worker (and stop()), read by the main thread's accept loop without a lock.
    std::atomic<bool> running{false};
    // Set by the worker as its loop starts and kept: a stop command taken before the main thread
    // saw `running` still shows that the worker ran (and was stopped, rather than never started).
    std::atomic<bool> workerStarted{false};
    timeval lastThrottledPoll;
    all_status_settings_t lastSnapshot;
    all_status_settings_t throttledSnapshot;
    std::vector<NotificationClient*> pushClients;
    pthread_mutex_t pushClientsLock;
    std::deque<TranscodeJob> transcodeJobs;
    bool transcodeSubscribed = false;
    bool protocolAdapterSet = false;
    int32_t activePreset = 0;
    int8_t lensMode = 0;
    int8_t lens = 0;
    bool needLenses = false;
    bool presetRefreshPending = true;
    bool presetEditOpen = false;  // guarded by presetEditTimer.mutex()
    ZeltoTimer presetEditTimer;
    std::vector<std::string> bossCache;
    uint8_t orientation = 0;
    // Set by stop(): also ends a worker that had not yet reached its loop when running was cleared.
    std::atomic<bool> stopRequested{false};
    // Status poll back-off after a failed camera query (status_notifier.cpp): no poll before
    // pollRetryAtMs (monotonicMs); 0 when the last poll did not fail.
    int pollBackoffMs = 0;
    int64_t pollRetryAtMs = 0;
    // Set when a camera exchange of the worker timed out: until the camera answers again the
    // status poll only probes it, with a short time-out, every CAMERA_PROBE_INTERVAL_MS.
    bool cameraSilent = false;
    // No model-number retry before this time (monotonicMs).
    int64_t modelRetryAtMs = 0;
    // The network daemon's mailbox the subscription was last delivered to (its inode, 0 for none),
    // and when it was last checked (monotonicMs).
    uint64_t subscribedZtnetQueue = 0;
    int64_t ztnetCheckedAtMs = 0;

private:
    ZtcontrolCommandServer();
    ~ZtcontrolCommandServer();
    ZtcontrolCommandServer(const ZtcontrolCommandServer&) = delete;
    ZtcontrolCommandServer& operator=(const ZtcontrolCommandServer&) = delete;

    static void* workerEntry(void* server);
    void openZtnetMailbox();
    void destroyPushClients();

    bool workerCreated = false;
};

// Worker thread body (ztcontrol_intake.cpp).
void workerLoop(ZtcontrolCommandServer* server);
// What the worker does with one received message: the length bytes in rxBuffer routed by their
// category, request being the worker's reused parse object. Also the fuzz targets' entry.
void routeReceivedMessage(ZtcontrolCommandServer* server, Msg& request, size_t length);

// The status poll run before every wait for a message (status_notifier.cpp).
void pollStatusSettingsAndNotify(ZtcontrolCommandServer* server);

// The process-wide control-library context in its closed state: all zero, both descriptors -1.
void resetControlContext();

// The model number, or the default model when it cannot be read.
uint8_t modelNumberOrDefault(ZtcontrolCommandServer* server);

#endif

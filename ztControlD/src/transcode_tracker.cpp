// Transcode job tracking from CSI notifications. Not built yet: no notification matches a job.
#include "transcode_job.h"

bool handleTranscodeNotification(ZtcontrolCommandServer*, const std::string&) { return false; }

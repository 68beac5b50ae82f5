// ztcamsim: the camera simulator as a program. Serves until SIGINT or SIGTERM.
#include <getopt.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "camsim/camera_sim.h"
#include "camsim/control_client.h"

namespace camsim {
const char* controlHelpText();
}

namespace {

void usage(FILE* out) {
    fprintf(out,
            "Usage: ztcamsim [OPTIONS]\n"
            "Simulates the camera, the network daemon and the settings service for ztControlD and its\n"
            "platform stand-ins: serves camera-link requests on the camera mailbox, answers the daemon's\n"
            "transcode subscription and sends events (JS/JR, PU, CN) to the daemon mailbox.\n"
            "\n"
            "Options:\n"
            "  --model N            camera model: 50, 51 or 55 (default 55)\n"
            "  --camera-mbox NAME   mailbox to serve (default /to_ztnet)\n"
            "  --daemon-mbox NAME   mailbox that receives events (default /to_ztCtlD)\n"
            "  --control PATH       control socket (default %s; \"\" for none)\n"
            "  --time-scale X       simulated seconds per real second (default 1)\n"
            "  --transcode-seconds N  simulated duration of a transcode job (default 4)\n"
            "  --quiet              print nothing but errors of the command line\n"
            "  --verbose            log every request\n"
            "  --help               this text\n"
            "\n"
            "It refuses to start (exit 1) when another simulator serves the camera mailbox or the\n"
            "control socket is in use. SIGINT or SIGTERM stop it: it removes its mailbox and socket and\n"
            "exits 0. Drive it with `ztctl sim COMMAND` or any client of the control socket:\n"
            "\n%s",
            camsim::kDefaultControlPath, camsim::controlHelpText());
}

bool parseInt(const char* s, long lo, long hi, long* out) {
    char* end = nullptr;
    long v = strtol(s, &end, 10);
    if (!*s || *end || v < lo || v > hi) return false;
    *out = v;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    camsim::Options opt;
    opt.controlPath = camsim::kDefaultControlPath;
    opt.verbosity = 2;
    static const option kLong[] = {
        {"model", required_argument, nullptr, 'm'},       {"camera-mbox", required_argument, nullptr, 'c'},
        {"daemon-mbox", required_argument, nullptr, 'd'}, {"control", required_argument, nullptr, 's'},
        {"time-scale", required_argument, nullptr, 't'},  {"transcode-seconds", required_argument, nullptr, 'j'},
        {"quiet", no_argument, nullptr, 'q'},             {"verbose", no_argument, nullptr, 'v'},
        {"help", no_argument, nullptr, 'h'},              {nullptr, 0, nullptr, 0},
    };
    long v = 0;
    int c;
    while ((c = getopt_long(argc, argv, "", kLong, nullptr)) != -1) {
        switch (c) {
        case 'm':
            if (!parseInt(optarg, 0, 255, &v)) goto bad;
            opt.model = int(v);
            break;
        case 'c': opt.cameraMbox = optarg; break;
        case 'd': opt.daemonMbox = optarg; break;
        case 's': opt.controlPath = optarg; break;
        case 't':
            opt.timeScale = atof(optarg);
            if (!(opt.timeScale > 0 && opt.timeScale <= 1000)) goto bad;
            break;
        case 'j':
            if (!parseInt(optarg, 1, 3600, &v)) goto bad;
            opt.transcodeSeconds = int(v);
            break;
        case 'q': opt.verbosity = 0; break;
        case 'v': opt.verbosity = 3; break;
        case 'h': usage(stdout); return 0;
        default: goto bad;
        }
    }
    if (optind != argc) goto bad;
    {
        // Block the stop signals before any thread exists, then wait for them here.
        sigset_t stopSignals;
        sigemptyset(&stopSignals);
        sigaddset(&stopSignals, SIGINT);
        sigaddset(&stopSignals, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

        camsim::CameraSim sim(opt);
        if (sim.start() != 0) {
            fprintf(stderr, "ztcamsim: %s\n", sim.lastError().c_str());
            return 1;
        }
        if (opt.verbosity > 0) {
            printf("ztcamsim: model %d serving %s, events to %s, control %s\n", opt.model, opt.cameraMbox.c_str(),
                   opt.daemonMbox.c_str(), opt.controlPath.empty() ? "(none)" : opt.controlPath.c_str());
            fflush(stdout);
        }
        int sig = 0;
        sigwait(&stopSignals, &sig);
        sim.stop();
        if (opt.verbosity > 0) printf("ztcamsim: stopped by %s\n", strsignal(sig));
    }
    return 0;
bad:
    fprintf(stderr, "ztcamsim: bad arguments (see --help)\n");
    return 1;
}

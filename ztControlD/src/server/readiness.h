// Start-up readiness for the launching process: it stays until the detached daemon is ready (it
// answers on its mailbox and listens on the notification port) or has given up, and exits with
// the daemon's verdict. A supervisor that waits for the launcher (systemd's Type=forking, a
// shell script) then starts the daemon's users only once they can reach it.
#ifndef ZTCONTROLD_READINESS_H
#define ZTCONTROLD_READINESS_H

// Splits off the launching process, which waits for the verdict and never returns, and detaches
// the rest with daemon_init. Returns in the daemon with daemon_init's result, or -1 when the
// launcher cannot be split off (then the process has not detached).
int detachReportingReadiness();

// The verdict, sent once; the launcher exits with status 0. Ready, or stopped before it got
// there (a stop asked for is no failure, and a restart must not follow it).
void reportStarted();

// Start-up failed: says why on standard error (still the launcher's), tells the launcher the exit
// status and ends the process with it.
[[noreturn]] void failStart(int status, const char* why);

#endif

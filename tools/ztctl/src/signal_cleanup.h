// Removes the reply mailbox of an exchange in progress when the process is interrupted, so an
// interrupted ztctl leaves no queue behind.
#ifndef ZTCTL_SIGNAL_CLEANUP_H
#define ZTCTL_SIGNAL_CLEANUP_H

namespace ztctl {

// SIGINT, SIGTERM and SIGHUP unlink the registered mailbox and end the process with 128 + signal.
void installSignalCleanup();
// The mailbox to remove on a signal (copied; names longer than 63 characters are not registered).
void registerMailboxForCleanup(const char* name);
void clearMailboxForCleanup();

}  // namespace ztctl

#endif

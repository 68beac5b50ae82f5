// The signals a supervisor sends: SIGTERM and SIGINT ask for the orderly stop (the same as the
// stop command), SIGHUP is logged and otherwise ignored (there is nothing to reload). The handler
// only writes the signal's number to a pipe; the main thread watches its read end and acts.
#ifndef ZTCONTROLD_STOP_SIGNALS_H
#define ZTCONTROLD_STOP_SIGNALS_H

// Installs the handlers and blocks the signals in the calling thread, so that threads started
// from now on inherit the block and never see them. 0, or -1 when the pipe or a handler cannot
// be set up.
int installStopSignals();

// Unblocks the signals in the calling (main) thread; ones that came meanwhile are handled now.
void acceptStopSignals();

// The descriptor that becomes readable when a signal came: for the main thread's waits.
int stopSignalDescriptor();

// Takes what the signals said since the last call (logging each); true once a stop was asked.
bool stopSignalled();

// For the worker when it takes the stop command: wakes the main thread's wait, so that the stop
// goes on at once instead of at the next accept wait. Nothing before installStopSignals.
void wakeForStop();

#endif

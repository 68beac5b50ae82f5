// Request/response round trips over D-Bus: a private dbus-daemon and an sd-bus service, each a
// process of its own. Built only where libsystemd's development files are installed.
#ifndef ZT_BENCH_DBUS_PEER_H
#define ZT_BENCH_DBUS_PEER_H

#include <stddef.h>

#include <string>
#include <vector>

// Microseconds per round trip (iterations samples, unsorted); empty with the reason in *why when
// the peer could not be set up.
std::vector<double> dbusPeerRoundTrips(int iterations, size_t requestBytes, size_t answerBytes, std::string* why);

#endif

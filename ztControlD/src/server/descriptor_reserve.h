// Descriptors for the notification port's clients, never at the cost of the daemon's own work.
#ifndef DESCRIPTOR_RESERVE_H
#define DESCRIPTOR_RESERVE_H

#include <stdint.h>

// Kept free whatever the clients hold: the requester's reply mailbox opened for each answer, the
// camera link's and the network daemon's mailboxes reopened, the log socket reconnected, and
// this count's own directory descriptor.
constexpr uint32_t DESCRIPTOR_RESERVE = 6;
// How long the listener is left alone after accept found no free descriptor.
constexpr int ACCEPT_PAUSE_MS = 1000;

// True when, with every descriptor open now (a client just accepted included), DESCRIPTOR_RESERVE
// more can still be opened.
bool descriptorsToSpare();

// After accept fails with EMFILE or ENFILE the waiting connection stays queued, so a wait on the
// listener would return at once and the accept loop spin: the listener is not watched for a
// short time instead. The condition is logged once per episode, not per loop.
class AcceptPause {
public:
    // Records the failure of accept with this errno; false when it was not for lack of descriptors.
    bool pauseOn(int error);
    // An accept went through: the episode is over.
    void accepted() { logged_ = false; }
    bool active() const;
    // The wait of the loop, at most waitMs, that ends with the pause.
    int clampWait(int waitMs) const;

private:
    int64_t until_ = 0;
    bool logged_ = false;
};

#endif

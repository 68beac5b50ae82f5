/* Delivery of finished level-log lines to the system log. */
#ifndef ZT_LOG_SEND_H
#define ZT_LOG_SEND_H

/* How long one line may wait for room at the system log's reader. */
#define ZT_LOG_SEND_BOUND_MS 10

/* Sends the line to the system log as syslog(LOG_ERR, "%s", line) would, but never waits more than
 * ZT_LOG_SEND_BOUND_MS: a reader that stops reading must not hold the logging thread (the daemon's
 * worker logs on every request). A line that cannot go in time is dropped and counted; while lines
 * are being dropped the next ones do not wait at all. Once a line goes through again, the number
 * dropped is reported first, in a line of its own. A system log that cannot be connected to is
 * tried again at most once a second; lines meanwhile are dropped and counted. Thread-safe. */
void zt_log_send(const char* line);

#endif

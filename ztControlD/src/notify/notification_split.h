// Splitting a notification that does not fit one queue message into several smaller ones.
#ifndef NOTIFICATION_SPLIT_H
#define NOTIFICATION_SPLIT_H

#include <stddef.h>

#include <string>
#include <vector>

// Splits a notification JSON object ({"status":{...},"settings":{...}} and the like) into
// consecutive complete objects of the same shape, each at most maxLength characters, each holding
// a share of the members of every section in their order; merging them gives the whole. A top-level
// member whose value is no object travels whole. False when the text is no such object or one
// member alone exceeds maxLength.
bool splitNotification(const std::string& json, size_t maxLength, std::vector<std::string>* parts);

#endif

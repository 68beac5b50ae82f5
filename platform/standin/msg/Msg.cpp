// Msg: category, message type and an ordered list of elements (added ones referred to, read
// ones owned and reused by the next read).
#include <stdio.h>

#include "zt_msg_classes.h"
#include "ztLog.h"

namespace {
constexpr size_t kHeaderSize = 4;
constexpr size_t kElementHeaderSize = 3;
constexpr uint16_t kDumpBytes = 32;  // data bytes shown per element
constexpr size_t kUsualElements = 8;  // a request or an answer has up to five
}  // namespace

// One allocation for the element list instead of one per doubling while a message is built.
Msg::Msg(uint8_t category) : category_(category) { elements_.reserve(kUsualElements); }

Msg::~Msg() = default;

void Msg::clear()
{
    elements_.clear();
    ownedInUse_ = 0;
}

size_t Msg::getSize() const
{
    size_t size = kHeaderSize;
    for (const MsgElement* e : elements_)
        size += kElementHeaderSize + e->getLength();
    return size;
}

MsgElement* Msg::findElement(uint8_t tag) const
{
    for (MsgElement* e : elements_)
        if (e->getTag() == tag)
            return e;
    return nullptr;
}

void Msg::addElement(MsgElement* element)
{
    if (element == nullptr) {
        ZTLOG(UTIL_LOG_ERROR, "Msg: null element not added");
        return;
    }
    elements_.push_back(element);
}

void Msg::dump(const char* label) const
{
    if (g_logLevel < UTIL_LOG_DEBUG)
        return;
    ZTLOG(UTIL_LOG_DEBUG, "%s: category %u type %u, %zu elements, %zu bytes", label ? label : "Msg",
          category_, msgType_, elements_.size(), getSize());
    for (const MsgElement* e : elements_) {
        char hex[kDumpBytes * 3 + 4] = "";
        size_t used = 0;
        const uint16_t shown = e->getLength() < kDumpBytes ? e->getLength() : kDumpBytes;
        for (uint16_t i = 0; i < shown; ++i)
            used += static_cast<size_t>(snprintf(hex + used, sizeof hex - used, " %02x", e->getData()[i]));
        if (shown < e->getLength())
            snprintf(hex + used, sizeof hex - used, " ...");
        ZTLOG(UTIL_LOG_DEBUG, "  tag %u len %u:%s", e->getTag(), e->getLength(), hex);
    }
}

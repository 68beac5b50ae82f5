// Byte format of a Msg (see docs/message-format.md):
//   [0..1] total length, big-endian, header included
//   [2]    message type
//   [3]    category (never 10, 16, 17 or 18: the daemon's intake routes those as TLV events)
//   then elements back to back: [tag u8][length u16 big-endian][data]
#include <string.h>

#include "zt_msg_classes.h"
#include "ztLog.h"
#include "ztTlv.h"

namespace {

constexpr size_t kHeaderSize = 4;
constexpr size_t kElementHeaderSize = 3;
constexpr size_t kMaxMessage = ZTMSG_MAX;  // a mailbox message never holds more
constexpr size_t kMaxReadElements = 64;     // bounds what a hostile input can make the reader keep

bool isTlvEventCategory(uint8_t category)
{
    return category == 10 || category == 16 || category == 17 || category == 18;
}

uint16_t readBigEndian16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

void writeBigEndian16(uint8_t* p, size_t value)
{
    p[0] = static_cast<uint8_t>(value >> 8);
    p[1] = static_cast<uint8_t>(value);
}

}  // namespace

MemStream::MemStream(uint8_t* buffer, size_t capacity) : buffer_(buffer), capacity_(capacity), length_(0) {}

MemStream& MemStream::operator<<(const Msg& msg)
{
    length_ = 0;
    failed_ = true;
    if (buffer_ == nullptr) {
        ZTLOG(UTIL_LOG_ERROR, "MemStream: no buffer to write into");
        return *this;
    }
    if (isTlvEventCategory(msg.category_)) {
        ZTLOG(UTIL_LOG_ERROR, "MemStream: category %u is reserved for TLV events, message not written",
              msg.category_);
        return *this;
    }
    const size_t size = msg.getSize();
    if (size > capacity_ || size > 0xFFFF) {
        ZTLOG(UTIL_LOG_ERROR, "MemStream: message of %zu bytes does not fit %zu", size, capacity_);
        return *this;
    }
    writeBigEndian16(buffer_, size);
    buffer_[2] = msg.msgType_;
    buffer_[3] = msg.category_;
    size_t pos = kHeaderSize;
    for (const MsgElement* e : msg.elements_) {
        buffer_[pos] = e->getTag();
        writeBigEndian16(buffer_ + pos + 1, e->getLength());
        pos += kElementHeaderSize;
        if (e->getLength())
            memcpy(buffer_ + pos, e->getData(), e->getLength());
        pos += e->getLength();
    }
    length_ = pos;
    failed_ = false;
    return *this;
}

MemStream& MemStream::operator>>(Msg& msg)
{
    msg.clear();
    length_ = 0;
    failed_ = true;
    if (buffer_ == nullptr || capacity_ < kHeaderSize) {
        ZTLOG(UTIL_LOG_ERROR, "MemStream: %zu bytes hold no message header", buffer_ ? capacity_ : 0);
        return *this;
    }
    const size_t declared = readBigEndian16(buffer_);
    msg.msgType_ = buffer_[2];
    msg.category_ = buffer_[3];

    // Elements are taken only where both the stream and the declared length hold them whole.
    size_t limit = declared < capacity_ ? declared : capacity_;
    if (limit > kMaxMessage)
        limit = kMaxMessage;
    bool whole = declared >= kHeaderSize && declared <= capacity_ && declared <= kMaxMessage;
    size_t pos = kHeaderSize;
    while (pos + kElementHeaderSize <= limit) {
        const uint16_t length = readBigEndian16(buffer_ + pos + 1);
        if (pos + kElementHeaderSize + length > limit || msg.ownedInUse_ == kMaxReadElements)
            break;
        if (msg.ownedInUse_ == msg.owned_.size())
            msg.owned_.push_back(std::make_unique<MsgElement>(buffer_[pos]));
        MsgElement* e = msg.owned_[msg.ownedInUse_++].get();
        e->tag_ = buffer_[pos];
        e->setData(buffer_ + pos + kElementHeaderSize, length);
        msg.elements_.push_back(e);
        pos += kElementHeaderSize + length;
    }
    if (pos != limit)
        whole = false;
    length_ = pos < limit ? pos : limit;
    if (!whole) {
        ZTLOG(UTIL_LOG_ERROR, "MemStream: malformed message (declared %zu bytes, %zu available), %zu elements read",
              declared, capacity_, msg.elements_.size());
        return *this;
    }
    failed_ = false;
    return *this;
}

// Message classes in which control requests, responses and events travel on the daemon's mailbox.
//
// A Msg has a category, a one-byte message type and an ordered list of elements. Elements added
// with addElement are referred to, not copied, until the message is written; elements read from a
// stream belong to the message. Reading arbitrary bytes never crashes: a malformed input yields an
// empty or partial message and a failed stream.
#ifndef ZT_MSG_CLASSES_H
#define ZT_MSG_CLASSES_H

#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <vector>

enum ZtMsgTag : uint8_t {
    ZT_TAG_COMMAND = 65,    // command id, 32-bit
    ZT_TAG_ARGUMENT = 66,   // command argument
    ZT_TAG_REPLY_MBOX = 68, // requester's reply mailbox name, with its NUL
    ZT_TAG_PAYLOAD = 69,    // payload or notification text
    ZT_TAG_RESULT = 236,    // result code, signed 32-bit, host order
    ZT_TAG_END = 238        // end of message, no data
};

enum ZtMsgConstants : uint8_t {
    ZT_MSG_CATEGORY = 20,
    ZT_MSG_TYPE_REQUEST = 0,
    ZT_MSG_TYPE_RESPONSE = 21,
    ZT_MSG_TYPE_EVENT = 22
};

class MsgElement {
public:
    explicit MsgElement(uint8_t tag);
    MsgElement(uint8_t tag, uint16_t length, const void* data);

    // Copies the data into the element (storage grows once and is reused).
    void setData(const void* data, uint16_t length);

    uint8_t getTag() const { return tag_; }
    const uint8_t* getData() const { return length_ ? data_.data() : nullptr; }
    uint16_t getLength() const { return length_; }

    // Little-endian value of the first 1, 2 or 4 data bytes. False (out untouched) when the
    // element holds fewer bytes than the width.
    bool getValue8(uint8_t& out) const;
    bool getValue16(uint16_t& out) const;
    bool getValue32(uint32_t& out) const;

private:
    friend class MemStream;  // the reader re-tags elements it reuses
    uint8_t tag_;
    uint16_t length_ = 0;
    std::vector<uint8_t> data_;
};

class Msg {
public:
    explicit Msg(uint8_t category);
    virtual ~Msg();

    virtual void clear();                               // drops all elements
    virtual size_t getSize() const;                     // serialized size in bytes
    virtual uint8_t getCategory() const { return category_; }
    virtual MsgElement* findElement(uint8_t tag) const; // first element with the tag, or null
    virtual void dump(const char* label) const;         // diagnostic lines through the level log

    void addElement(MsgElement* element);               // referred to, not copied
    size_t elementCount() const { return elements_.size(); }
    MsgElement* elementAt(size_t i) const { return i < elements_.size() ? elements_[i] : nullptr; }
    uint8_t getMsgType() const { return msgType_; }
    void setMsgType(uint8_t type) { msgType_ = type; }

protected:
    uint8_t category_;
    uint8_t msgType_ = ZT_MSG_TYPE_REQUEST;

private:
    friend class MemStream;
    std::vector<MsgElement*> elements_;
    std::vector<std::unique_ptr<MsgElement>> owned_;  // elements read from a stream
    size_t ownedInUse_ = 0;
};

class MemStream {
public:
    // Writing fills the buffer from the start; reading parses the first `capacity` bytes.
    MemStream(uint8_t* buffer, size_t capacity);

    uint8_t* getBuffer() const { return buffer_; }
    size_t getLength() const { return length_; }
    bool failed() const { return failed_; }

    MemStream& operator<<(const Msg& msg);  // serializes; fails when it does not fit
    MemStream& operator>>(Msg& msg);        // parses; never reads past the length

private:
    uint8_t* buffer_;
    size_t capacity_;
    size_t length_;
    bool failed_ = false;
};

#endif

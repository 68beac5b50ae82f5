// One tagged data block of a Msg. The storage only grows, so an element that is refilled for
// every message stops allocating once it has held its largest value.
#include <string.h>

#include "zt_msg_classes.h"

MsgElement::MsgElement(uint8_t tag) : tag_(tag) {}

MsgElement::MsgElement(uint8_t tag, uint16_t length, const void* data) : tag_(tag) { setData(data, length); }

void MsgElement::setData(const void* data, uint16_t length)
{
    if (data == nullptr)
        length = 0;
    if (data_.size() < length)
        data_.resize(length);
    if (length)
        memmove(data_.data(), data, length);  // the source may be this element's own data
    length_ = length;
}

namespace {

template <typename T>
bool readLittleEndian(const std::vector<uint8_t>& data, uint16_t length, T& out)
{
    if (length < sizeof(T))
        return false;
    T value = 0;
    for (size_t i = 0; i < sizeof(T); ++i)
        value = static_cast<T>(value | static_cast<T>(static_cast<T>(data[i]) << (8 * i)));
    out = value;
    return true;
}

}  // namespace

bool MsgElement::getValue8(uint8_t& out) const { return readLittleEndian(data_, length_, out); }
bool MsgElement::getValue16(uint16_t& out) const { return readLittleEndian(data_, length_, out); }
bool MsgElement::getValue32(uint32_t& out) const { return readLittleEndian(data_, length_, out); }

#include "tlv_message.h"

#include "bytes.h"

namespace camsim {

bool TlvReader::parse(const uint8_t* msg, int len) {
    msg_ = nullptr;
    len_ = 0;
    category_ = -1;
    if (!msg || len < 4 || len > ZTMSG_MAX) return false;
    if (getBe16(msg) != len) return false;
    if (tlv_validate(msg) != 0) return false;
    msg_ = msg;
    len_ = len;
    category_ = msg[3];
    return true;
}

TlvValue TlvReader::find(int type) const {
    TlvValue v;
    if (!msg_) return v;
    const unsigned char* e = tlv_find(msg_, type);
    if (!e) return v;
    long offset = e - msg_;
    if (offset < 4 || offset + 4 > len_) return v;
    int valueLen = getBe16(e + 1);
    if (offset + 4 + valueLen > len_) return v;
    v.data = e + 4;
    v.len = valueLen;
    v.present = true;
    return v;
}

std::string TlvReader::text(int type, size_t max) const {
    TlvValue v = find(type);
    if (!v.present) return std::string();
    size_t n = 0;
    while (n < size_t(v.len) && n < max && v.data[n] != 0) ++n;
    return std::string(reinterpret_cast<const char*>(v.data), n);
}

TlvBuilder::TlvBuilder(uint8_t* buf, int capacity, int category) : buf_(buf), capacity_(capacity) {
    sntlv_msg_init(buf_, capacity_, category);
}

TlvBuilder& TlvBuilder::add(int type, const void* data, int len) {
    // sntlv_add_bin asserts on empty names; refuse them here instead.
    if ((type == TLV_SRC || type == TLV_DST) && len <= 0) {
        ok_ = false;
        return *this;
    }
    if (len < 0 || sntlv_add_bin(buf_, capacity_, type, len, data) == 0) ok_ = false;
    return *this;
}

int TlvBuilder::finish() {
    if (sntlv_add_dat(buf_, capacity_, TLV_END, 0, 0) == 0) ok_ = false;
    if (!ok_ || tlv_validate(buf_) != 0) return -1;
    return sntlv_msg_len(buf_);
}

bool validMboxName(const std::string& name) {
    if (name.size() < 2 || name.size() > 62 || name[0] != '/') return false;
    for (size_t i = 1; i < name.size(); ++i)
        if (name[i] == '/' || name[i] == '\0') return false;
    return true;
}

}  // namespace camsim

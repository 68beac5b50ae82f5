// Building and reading the TLV messages the simulator exchanges, on top of libztCommon's TLV
// functions. Reading never trusts a length: every element value is checked against the message.
#ifndef CAMSIM_TLV_MESSAGE_H
#define CAMSIM_TLV_MESSAGE_H

#include <stdint.h>

#include <string>

#include "ztTlv.h"

namespace camsim {

struct TlvValue {
    const uint8_t* data = nullptr;
    int len = 0;
    bool present = false;
};

// A received message that passed tlv_validate and whose header length equals the received length.
class TlvReader {
public:
    // False (and the reader empty) when the bytes are not a valid TLV message.
    bool parse(const uint8_t* msg, int len);
    int category() const { return category_; }
    TlvValue find(int type) const;
    // The element value as text (up to its length, at most max characters); "" when absent.
    std::string text(int type, size_t max = 63) const;

private:
    const uint8_t* msg_ = nullptr;
    int len_ = 0;
    int category_ = -1;
};

// Builds one message in a caller-owned ZTMSG_MAX buffer, in the order the library's builders use:
// CMD, CMDARG, RSPARG, SRC, DST, END.
class TlvBuilder {
public:
    TlvBuilder(uint8_t* buf, int capacity, int category);
    TlvBuilder& add(int type, const void* data, int len);
    TlvBuilder& addText(int type, const std::string& text) { return add(type, text.data(), int(text.size())); }
    // Appends TLV_END and validates; returns the total length or -1 when anything did not fit.
    int finish();

private:
    uint8_t* buf_;
    int capacity_;
    bool ok_ = true;
};

// A mailbox name we are willing to open: "/" then 1..62 characters without another slash or NUL.
bool validMboxName(const std::string& name);

}  // namespace camsim

#endif

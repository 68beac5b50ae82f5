// The message reader on arbitrary bytes, then the writer on what it read: the reader stays inside
// its input, a clean parse writes back to exactly the input, and whatever was read (whole or
// partial) can be written and read again to the same elements. One Msg serves every input, as
// the daemon's worker reuses one, so the reader's reuse of element storage is fuzzed too.
#include <stdint.h>
#include <string.h>

#include <memory>

#include "fuzz_support.h"
#include "zt_msg_classes.h"
#include "ztTlv.h"

namespace {

bool isTlvEventCategory(uint8_t c) { return c == 10 || c == 16 || c == 17 || c == 18; }

void checkAccessors(const Msg& msg)
{
    for (size_t i = 0; i < msg.elementCount(); ++i) {
        const MsgElement* e = msg.elementAt(i);
        FUZZ_CHECK(e != nullptr);
        FUZZ_CHECK((e->getData() != nullptr) == (e->getLength() > 0));
        uint8_t v8 = 0;
        uint16_t v16 = 0;
        uint32_t v32 = 0;
        FUZZ_CHECK(e->getValue8(v8) == (e->getLength() >= 1));
        FUZZ_CHECK(e->getValue16(v16) == (e->getLength() >= 2));
        FUZZ_CHECK(e->getValue32(v32) == (e->getLength() >= 4));
        const MsgElement* first = msg.findElement(e->getTag());
        FUZZ_CHECK(first != nullptr && first->getTag() == e->getTag());
    }
    FUZZ_CHECK(msg.elementAt(msg.elementCount()) == nullptr);
}

bool sameElements(const Msg& a, const Msg& b)
{
    if (a.elementCount() != b.elementCount() || a.getCategory() != b.getCategory() ||
        a.getMsgType() != b.getMsgType())
        return false;
    for (size_t i = 0; i < a.elementCount(); ++i) {
        const MsgElement* x = a.elementAt(i);
        const MsgElement* y = b.elementAt(i);
        if (x->getTag() != y->getTag() || x->getLength() != y->getLength() ||
            (x->getLength() && memcmp(x->getData(), y->getData(), x->getLength()) != 0))
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool silenced = fuzzSilenceLogs();
    (void)silenced;
    static Msg reused(ZT_MSG_CATEGORY);

    // The reader takes a writable buffer; an exact-size copy keeps over-reads visible.
    std::unique_ptr<uint8_t[]> input(size ? new uint8_t[size] : nullptr);
    if (size)
        memcpy(input.get(), data, size);
    MemStream in(input.get(), size);
    in >> reused;
    FUZZ_CHECK(in.getLength() <= size && in.getLength() <= ZTMSG_MAX);
    FUZZ_CHECK(reused.elementCount() <= 64);
    checkAccessors(reused);
    if (!in.failed())
        FUZZ_CHECK(in.getLength() == reused.getSize());

    static uint8_t out[ZTMSG_MAX];
    MemStream writer(out, sizeof out);
    writer << reused;
    if (isTlvEventCategory(reused.getCategory())) {
        FUZZ_CHECK(writer.failed() && writer.getLength() == 0);
        return 0;
    }
    // Whatever was read came from at most ZTMSG_MAX bytes, so it fits again.
    FUZZ_CHECK(!writer.failed() && writer.getLength() == reused.getSize());
    if (!in.failed())
        FUZZ_CHECK(memcmp(out, data, writer.getLength()) == 0);

    static Msg again(ZT_MSG_CATEGORY);
    MemStream reread(out, writer.getLength());
    reread >> again;
    FUZZ_CHECK(!reread.failed());
    FUZZ_CHECK(sameElements(reused, again));
    return 0;
}

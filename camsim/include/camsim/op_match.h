// Which received operations a fault rule applies to.
//
// Text forms (the control channel and the in-process API share them):
//   any            every operation
//   C/O            remote operation, category C and operation O (for example 8/11)
//   sat:XX         satchel command XX (also a bare two-letter code that is not a link code: AP)
//   dc:N           direct operation N (number from camlink_protocol.h)
//   RA SA DC MN PA CS SV CR
//                  every operation with that link code (CR: the transcode subscription)
#ifndef CAMSIM_OP_MATCH_H
#define CAMSIM_OP_MATCH_H

#include <stdint.h>

#include <string>

namespace camsim {

enum class OpKind : uint8_t { Any, Remote, Satchel, Direct, Link };

// One received operation, as the matcher sees it.
struct OpId {
    char code[3] = {};    // link code: "RA", "SA", "DC", "MN", "PA", "CS", "SV", "CR"
    uint8_t category = 0;  // RA
    uint8_t op = 0;        // RA
    char satchel[3] = {};  // SA
    uint16_t direct = 0;   // DC
};

struct OpMatch {
    OpKind kind = OpKind::Any;
    uint8_t category = 0;
    uint8_t op = 0;
    char code[3] = {};  // satchel code or link code
    uint16_t direct = 0;

    static OpMatch any() { return OpMatch(); }
    static OpMatch remote(uint8_t category, uint8_t op);
    static OpMatch satchel(const char* code);
    static OpMatch directOp(uint16_t op);
    static OpMatch link(const char* code);
    // False (out untouched) when the text is none of the forms above.
    static bool parse(const std::string& text, OpMatch* out);

    bool matches(const OpId& id) const;
    std::string describe() const;
};

}  // namespace camsim

#endif

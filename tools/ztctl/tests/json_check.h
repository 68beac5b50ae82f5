// Strict JSON validator for the tests (RFC 8259 grammar, one value, nothing after it).
#ifndef ZTCTL_TEST_JSON_CHECK_H
#define ZTCTL_TEST_JSON_CHECK_H

#include <string>

namespace ztctl_test {

bool isValidJson(const std::string& text);

}  // namespace ztctl_test

#endif

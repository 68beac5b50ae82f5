// A small writer of indented JSON (two spaces, one member per line, never an empty line, so a
// document can be ended by an empty line on the control channel).
#ifndef CAMSIM_JSON_WRITER_H
#define CAMSIM_JSON_WRITER_H

#include <stdint.h>

#include <string>
#include <vector>

namespace camsim {

class JsonWriter {
public:
    // key is null inside arrays.
    JsonWriter& beginObject(const char* key = nullptr) { return open(key, '{'); }
    JsonWriter& endObject() { return close('}'); }
    JsonWriter& beginArray(const char* key = nullptr) { return open(key, '['); }
    JsonWriter& endArray() { return close(']'); }
    JsonWriter& num(const char* key, long long v);
    JsonWriter& real(const char* key, double v);
    JsonWriter& boolean(const char* key, bool v);
    JsonWriter& str(const char* key, const std::string& v);
    JsonWriter& null(const char* key);
    const std::string& text() const { return out_; }

private:
    JsonWriter& open(const char* key, char bracket);
    JsonWriter& close(char bracket);
    void member(const char* key);
    void quoted(const std::string& s);

    std::string out_;
    std::vector<bool> empty_;  // per open container: nothing written in it yet
};

std::string hexBytes(const uint8_t* p, size_t n);

}  // namespace camsim

#endif

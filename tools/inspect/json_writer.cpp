// The inspector's JSON output over nlohmann::json.
#include "tools/inspect/json_writer.h"

#include <cassert> // container nesting is the caller's contract
#include <cmath>   // std::isfinite
#include <cstdio>  // snprintf
#include <cstdlib> // strtod
#include <utility> // std::move

namespace {

// Latin-1 bytes as UTF-8, the only encoding JSON text may carry.
std::string Latin1ToUtf8(const char* text) {
    std::string out;
    for (const unsigned char* at = reinterpret_cast<const unsigned char*>(text); *at != 0; ++at) {
        if (*at < 0x80) {
            out += static_cast<char>(*at);
        } else {
            out += static_cast<char>(0xC0 | (*at >> 6));
            out += static_cast<char>(0x80 | (*at & 0x3F));
        }
    }
    return out;
}

} // namespace

void JsonWriter::Put(nlohmann::ordered_json value) {
    if (open_.empty()) {
        root_ = std::move(value);
        haveRoot_ = true;
    } else if (open_.back().value.is_object()) {
        assert(!open_.back().value.contains(key_) && "a key written twice would lose a value");
        open_.back().value[key_] = std::move(value);
    } else {
        open_.back().value.push_back(std::move(value));
    }
}

void JsonWriter::Close() {
    assert(!open_.empty());
    Open done = std::move(open_.back());
    open_.pop_back();
    key_ = std::move(done.key);
    Put(std::move(done.value));
}

void JsonWriter::BeginObject() {
    open_.push_back(Open{nlohmann::ordered_json::object(), key_});
}

void JsonWriter::EndObject() {
    assert(!open_.empty() && open_.back().value.is_object());
    Close();
}

void JsonWriter::BeginArray() {
    open_.push_back(Open{nlohmann::ordered_json::array(), key_});
}

void JsonWriter::EndArray() {
    assert(!open_.empty() && open_.back().value.is_array());
    Close();
}

void JsonWriter::Key(const char* name) {
    key_ = name != nullptr ? Latin1ToUtf8(name) : std::string();
}

void JsonWriter::String(const char* text) {
    if (text == nullptr) {
        Null();
        return;
    }
    Put(Latin1ToUtf8(text));
}

void JsonWriter::Int(const int64_t value) {
    Put(value);
}

void JsonWriter::Bool(const bool value) {
    Put(value);
}

void JsonWriter::Null() {
    Put(nullptr);
}

void JsonWriter::Float(const float value) {
    if (!std::isfinite(value)) {
        Null();
        return;
    }
    // The double nearest to the float's nine-digit spelling: the library
    // prints the shortest text that reads back as that double, which is the
    // nine digits (or fewer), and the text still reads back as the float.
    char digits[32];
    std::snprintf(digits, sizeof digits, "%.9g", static_cast<double>(value));
    Put(std::strtod(digits, nullptr));
}

void JsonWriter::Floats(const float* values, const int count) {
    BeginArray();
    for (int i = 0; i < count; ++i) {
        Float(values[i]);
    }
    EndArray();
}

const std::string& JsonWriter::Text() {
    text_ = haveRoot_ ? root_.dump(-1, ' ', true) : std::string();
    return text_;
}

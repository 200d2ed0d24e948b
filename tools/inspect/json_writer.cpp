// Streaming JSON output.
#include "tools/inspect/json_writer.h"

#include <cassert>   // container nesting is the caller's contract
#include <cinttypes> // PRId64
#include <cmath>     // std::isfinite
#include <cstdio>    // snprintf

void JsonWriter::BeforeValue() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (!first_.empty()) {
        if (!first_.back()) {
            text_ += ',';
        }
        first_.back() = false;
    }
}

void JsonWriter::BeginObject() {
    BeforeValue();
    text_ += '{';
    first_.push_back(true);
}

void JsonWriter::EndObject() {
    assert(!first_.empty());
    first_.pop_back();
    text_ += '}';
}

void JsonWriter::BeginArray() {
    BeforeValue();
    text_ += '[';
    first_.push_back(true);
}

void JsonWriter::EndArray() {
    assert(!first_.empty());
    first_.pop_back();
    text_ += ']';
}

void JsonWriter::Key(const char* name) {
    String(name);
    text_ += ':';
    afterKey_ = true;
}

void JsonWriter::String(const char* text) {
    if (text == nullptr) {
        Null();
        return;
    }
    BeforeValue();
    text_ += '"';
    for (const unsigned char* at = reinterpret_cast<const unsigned char*>(text); *at != 0; ++at) {
        const unsigned char c = *at;
        if (c == '"' || c == '\\') {
            text_ += '\\';
            text_ += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
            text_ += escape;
        } else {
            text_ += static_cast<char>(c);
        }
    }
    text_ += '"';
}

void JsonWriter::Int(int64_t value) {
    BeforeValue();
    char digits[32];
    std::snprintf(digits, sizeof digits, "%" PRId64, value);
    text_ += digits;
}

void JsonWriter::Bool(bool value) {
    BeforeValue();
    text_ += value ? "true" : "false";
}

void JsonWriter::Null() {
    BeforeValue();
    text_ += "null";
}

void JsonWriter::Float(float value) {
    if (!std::isfinite(value)) {
        Null();
        return;
    }
    BeforeValue();
    char digits[32];
    std::snprintf(digits, sizeof digits, "%.9g", static_cast<double>(value));
    text_ += digits;
}

void JsonWriter::Floats(const float* values, int count) {
    BeginArray();
    for (int i = 0; i < count; ++i) {
        Float(values[i]);
    }
    EndArray();
}

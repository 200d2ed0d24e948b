// The inspector's JSON output: a streaming interface (open, key, value, close)
// over a document of nlohmann::json, which does the escaping, the number
// spelling and the commas.
#pragma once

#include <nlohmann/json.hpp> // ordered_json: members stay in the order written

#include <cstdint> // int64_t
#include <string>
#include <vector>

// Builds one JSON value from calls in document order. Misuse (a value without
// a key inside an object, closing what is not open) is a programmer error.
class JsonWriter {
  public:
    void BeginObject();
    void EndObject();
    void BeginArray();
    void EndArray();
    // The name of the next value inside an object.
    void Key(const char* name);
    // A string; null gives JSON null. Bytes are read as Latin-1, so any byte
    // string gives valid JSON; the text is written in ASCII with \u escapes.
    void String(const char* text);
    void Int(int64_t value);
    void Bool(bool value);
    void Null();
    // Nine significant digits, enough to read a float back exactly; NaN and
    // the infinities, which JSON cannot spell, give null.
    void Float(float value);
    // An array of `count` floats.
    void Floats(const float* values, int count);

    // The document as compact JSON text; empty until a value was written.
    const std::string& Text();

  private:
    // An open object or array, and the key it goes under in its parent.
    struct Open {
        nlohmann::ordered_json value;
        std::string key;
    };
    void Put(nlohmann::ordered_json value);
    void Close();

    std::vector<Open> open_;
    nlohmann::ordered_json root_;
    bool haveRoot_ = false;
    std::string key_;
    std::string text_;
};

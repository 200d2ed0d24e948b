// A small streaming JSON writer for the inspector's output: objects, arrays,
// strings, integers and floats that read back exactly.
#pragma once

#include <cstdint> // int64_t
#include <string>
#include <vector>

// Appends JSON text to a string. Commas are placed by the writer; callers
// only open, close and emit values (after Key inside objects). Misuse (a
// value without a key inside an object) is a programmer error.
class JsonWriter {
  public:
    void BeginObject();
    void EndObject();
    void BeginArray();
    void EndArray();
    // The name of the next value inside an object.
    void Key(const char* name);
    // A string; null gives JSON null. Control characters and bytes above 0x7F
    // are written as \u escapes (bytes read as Latin-1), so any byte string
    // gives valid JSON.
    void String(const char* text);
    void Int(int64_t value);
    void Bool(bool value);
    void Null();
    // Nine significant digits, enough to read a float back exactly; NaN and
    // the infinities, which JSON cannot spell, give null.
    void Float(float value);
    // An array of `count` floats.
    void Floats(const float* values, int count);

    // The text written so far.
    const std::string& Text() const { return text_; }

  private:
    void BeforeValue();
    std::string text_;
    std::vector<bool> first_; // one per open container: no value written yet
    bool afterKey_ = false;
};

// A small JSON reader for the test suites kept as JSON files.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace ps::test {

struct Json {
  enum class Type { Null, Bool, Number, String, Array, Object } type = Type::Null;
  bool boolean = false;
  double number = 0;
  std::string string;  // UTF-8
  std::vector<Json> array;
  std::map<std::string, Json> object;

  static Json Str(std::string s) {
    Json j;
    j.type = Type::String;
    j.string = std::move(s);
    return j;
  }
  static Json Num(double d) {
    Json j;
    j.type = Type::Number;
    j.number = d;
    return j;
  }
  static Json Arr(std::vector<Json> a = {}) {
    Json j;
    j.type = Type::Array;
    j.array = std::move(a);
    return j;
  }
  static Json Bool(bool b) {
    Json j;
    j.type = Type::Bool;
    j.boolean = b;
    return j;
  }
  bool IsString(std::string_view s) const { return type == Type::String && string == s; }
};

// Throws std::runtime_error on malformed text.
Json ParseJson(std::string_view text);
// Compact JSON text, for failure messages.
std::string ToJson(const Json& j);
// Equal, numbers within a relative tolerance.
bool JsonEqual(const Json& a, const Json& b, double tolerance = 1e-6);
// The file's contents; throws when it cannot be read.
std::string ReadFile(const std::string& path);

}  // namespace ps::test

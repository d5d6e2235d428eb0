#include "support/json.h"

#include "style/tokenizer.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace ps::test {

namespace {

struct Reader {
  std::string_view s;
  std::size_t i = 0;

  [[noreturn]] void Fail(const char* what) const {
    throw std::runtime_error(std::string("JSON: ") + what + " at " + std::to_string(i));
  }
  void Space() {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r')) ++i;
  }
  void Expect(char c) {
    Space();
    if (i >= s.size() || s[i] != c) Fail("unexpected character");
    ++i;
  }
  unsigned Hex4() {
    if (i + 4 > s.size()) Fail("short \\u escape");
    unsigned v = 0;
    for (int k = 0; k < 4; ++k) {
      const char c = s[i++];
      v = v * 16 + static_cast<unsigned>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
    }
    return v;
  }
  std::string String() {
    Expect('"');
    std::string out;
    for (;;) {
      if (i >= s.size()) Fail("unterminated string");
      const char c = s[i++];
      if (c == '"') return out;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (i >= s.size()) Fail("unterminated escape");
      const char e = s[i++];
      switch (e) {
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case 'f': out += '\f'; break;
        case 'b': out += '\b'; break;
        case 'u': {
          unsigned cp = Hex4();
          if (cp >= 0xD800 && cp < 0xDC00 && s.substr(i, 2) == "\\u") {
            i += 2;
            const unsigned lo = Hex4();
            cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
          }
          ps::css::AppendUtf8(out, cp);
          break;
        }
        default: out += e;
      }
    }
  }
  Json Value() {
    Space();
    if (i >= s.size()) Fail("unexpected end");
    Json j;
    const char c = s[i];
    if (c == '"') return Json::Str(String());
    if (c == '[') {
      ++i;
      j.type = Json::Type::Array;
      Space();
      if (i < s.size() && s[i] == ']') {
        ++i;
        return j;
      }
      for (;;) {
        j.array.push_back(Value());
        Space();
        if (i < s.size() && s[i] == ',') {
          ++i;
          continue;
        }
        Expect(']');
        return j;
      }
    }
    if (c == '{') {
      ++i;
      j.type = Json::Type::Object;
      Space();
      if (i < s.size() && s[i] == '}') {
        ++i;
        return j;
      }
      for (;;) {
        std::string key = String();
        Expect(':');
        j.object[key] = Value();
        Space();
        if (i < s.size() && s[i] == ',') {
          ++i;
          continue;
        }
        Expect('}');
        return j;
      }
    }
    for (const auto& [word, value] : {std::pair{"null", 0}, {"true", 1}, {"false", 2}}) {
      if (s.substr(i, std::string_view(word).size()) == word) {
        i += std::string_view(word).size();
        if (value == 0) return j;
        return Json::Bool(value == 1);
      }
    }
    double d = 0;
    const auto r = std::from_chars(s.data() + i, s.data() + s.size(), d);
    if (r.ec != std::errc()) Fail("bad value");
    i = static_cast<std::size_t>(r.ptr - s.data());
    return Json::Num(d);
  }
};

}  // namespace

Json ParseJson(std::string_view text) {
  Reader r{text};
  Json j = r.Value();
  r.Space();
  if (r.i != text.size()) r.Fail("trailing text");
  return j;
}

std::string ToJson(const Json& j) {
  switch (j.type) {
    case Json::Type::Null: return "null";
    case Json::Type::Bool: return j.boolean ? "true" : "false";
    case Json::Type::Number: {
      char buf[32];
      std::snprintf(buf, sizeof buf, "%.10g", j.number);
      return buf;
    }
    case Json::Type::String: {
      std::string out = "\"";
      for (const char c : j.string) {
        if (c == '"' || c == '\\') out += '\\';
        if (static_cast<unsigned char>(c) < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
          continue;
        }
        out += c;
      }
      return out + "\"";
    }
    case Json::Type::Array: {
      std::string out = "[";
      for (std::size_t k = 0; k < j.array.size(); ++k) out += (k ? ", " : "") + ToJson(j.array[k]);
      return out + "]";
    }
    case Json::Type::Object: {
      std::string out = "{";
      bool first = true;
      for (const auto& [k, v] : j.object) {
        out += (first ? "" : ", ") + ToJson(Json::Str(k)) + ": " + ToJson(v);
        first = false;
      }
      return out + "}";
    }
  }
  return "";
}

bool JsonEqual(const Json& a, const Json& b, double tolerance) {
  if (a.type != b.type) return false;
  switch (a.type) {
    case Json::Type::Null: return true;
    case Json::Type::Bool: return a.boolean == b.boolean;
    case Json::Type::Number:
      return std::fabs(a.number - b.number) <= tolerance * std::fmax(1.0, std::fabs(a.number));
    case Json::Type::String: return a.string == b.string;
    case Json::Type::Array:
      if (a.array.size() != b.array.size()) return false;
      for (std::size_t k = 0; k < a.array.size(); ++k)
        if (!JsonEqual(a.array[k], b.array[k], tolerance)) return false;
      return true;
    case Json::Type::Object:
      if (a.object.size() != b.object.size()) return false;
      for (const auto& [k, v] : a.object) {
        const auto it = b.object.find(k);
        if (it == b.object.end() || !JsonEqual(v, it->second, tolerance)) return false;
      }
      return true;
  }
  return false;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

}  // namespace ps::test

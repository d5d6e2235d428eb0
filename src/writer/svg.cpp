#include "writer/svg.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "model/tree.h"

namespace ps {

namespace {

// The SVG 1.1 elements FOP's renderer draws or needs for drawing, by their
// name as HTML reads it (lower case) and as SVG spells it. FOP stops the
// whole document on an element it does not know in the SVG namespace, so any
// other element is dropped with its content: scripts, style sheets, foreign
// objects, animation (nothing moves on paper) and HTML written inside.
struct SvgElement {
  const char* name;
  const char* spelled;
  bool holdsText;  // character data in it is printed
};

constexpr SvgElement kSvgElements[] = {
    {"svg", "svg", false},
    {"g", "g", false},
    {"defs", "defs", false},
    {"symbol", "symbol", false},
    {"use", "use", false},
    {"switch", "switch", false},
    {"a", "a", true},
    {"title", "title", true},
    {"desc", "desc", true},
    {"path", "path", false},
    {"rect", "rect", false},
    {"circle", "circle", false},
    {"ellipse", "ellipse", false},
    {"line", "line", false},
    {"polyline", "polyline", false},
    {"polygon", "polygon", false},
    {"text", "text", true},
    {"tspan", "tspan", true},
    {"textpath", "textPath", true},
    {"marker", "marker", false},
    {"lineargradient", "linearGradient", false},
    {"radialgradient", "radialGradient", false},
    {"stop", "stop", false},
    {"pattern", "pattern", false},
    {"clippath", "clipPath", false},
    {"mask", "mask", false},
    {"filter", "filter", false},
    {"feblend", "feBlend", false},
    {"fecolormatrix", "feColorMatrix", false},
    {"fecomponenttransfer", "feComponentTransfer", false},
    {"fecomposite", "feComposite", false},
    {"feflood", "feFlood", false},
    {"fefunca", "feFuncA", false},
    {"fefuncb", "feFuncB", false},
    {"fefuncg", "feFuncG", false},
    {"fefuncr", "feFuncR", false},
    {"fegaussianblur", "feGaussianBlur", false},
    {"femerge", "feMerge", false},
    {"femergenode", "feMergeNode", false},
    {"femorphology", "feMorphology", false},
    {"feoffset", "feOffset", false},
    {"fetile", "feTile", false},
    {"feturbulence", "feTurbulence", false},
};

// SVG attribute names that HTML reads in lower case, as SVG spells them.
constexpr std::array<const char*, 58> kCamelAttributes = {
    "attributeName",     "attributeType",    "baseFrequency",    "baseProfile",         "calcMode",
    "clipPathUnits",     "diffuseConstant",  "edgeMode",         "filterUnits",         "glyphRef",
    "gradientTransform", "gradientUnits",    "kernelMatrix",     "kernelUnitLength",    "keyPoints",
    "keySplines",        "keyTimes",         "lengthAdjust",     "limitingConeAngle",   "markerHeight",
    "markerUnits",       "markerWidth",      "maskContentUnits", "maskUnits",           "numOctaves",
    "pathLength",        "patternContentUnits", "patternTransform", "patternUnits",     "pointsAtX",
    "pointsAtY",         "pointsAtZ",        "preserveAlpha",    "preserveAspectRatio", "primitiveUnits",
    "refX",              "refY",             "repeatCount",      "repeatDur",           "requiredExtensions",
    "requiredFeatures",  "specularConstant", "specularExponent", "spreadMethod",        "startOffset",
    "stdDeviation",      "stitchTiles",      "surfaceScale",     "systemLanguage",      "tableValues",
    "targetX",           "targetY",          "textLength",       "viewBox",             "viewTarget",
    "xChannelSelector",  "yChannelSelector", "zoomAndPan"};

// Bounds that keep hostile markup linear: deeper elements and further
// attributes of one element are dropped.
constexpr std::size_t kMaxDepth = 64;
constexpr std::size_t kMaxAttributes = 64;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }
bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string LowerCase(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = Lower(c);
  return r;
}

const SvgElement* FindElement(std::string_view lowered) {
  for (const SvgElement& e : kSvgElements)
    if (lowered == e.name) return &e;
  return nullptr;
}

// The attribute's name as written into the drawing, or empty when it is
// dropped: event handlers (never run), namespace declarations (the drawing
// gets its own) and names XML or the renderer would not read.
std::string AttributeName(std::string_view lowered) {
  if (lowered.empty() || lowered.substr(0, 2) == "on" || lowered == "xmlns" || lowered.substr(0, 6) == "xmlns:")
    return {};
  if (lowered == "href" || lowered == "xlink:href") return "xlink:href";
  if (lowered == "xml:space" || lowered == "xml:lang") return std::string(lowered);
  if (!IsAsciiLetter(lowered[0])) return {};
  for (char c : lowered)
    if (!IsAsciiLetter(c) && !(c >= '0' && c <= '9') && c != '-' && c != '_' && c != '.') return {};
  for (const char* camel : kCamelAttributes)
    if (EqualsNoCase(camel, lowered)) return camel;
  return std::string(lowered);
}

// Reads a number as SVG writes it; advances `i` past it.
bool ReadNumber(std::string_view s, std::size_t& i, double* value) {
  const std::size_t start = i;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
    if (j < s.size() && s[j] >= '0' && s[j] <= '9') {
      while (j < s.size() && s[j] >= '0' && s[j] <= '9') ++j;
      i = j;
    }
  }
  if (value) *value = std::strtod(std::string(s.substr(start, i - start)).c_str(), nullptr);
  return true;
}

// A positive length the renderer reads as a drawing's size: a number with
// an absolute unit or none. FOP stops the whole document on any other size
// (a percentage or a unit of the font among them: it has no box to take
// them from).
bool IsDrawingSize(std::string_view v) {
  while (!v.empty() && IsSpace(v.front())) v.remove_prefix(1);
  while (!v.empty() && IsSpace(v.back())) v.remove_suffix(1);
  std::size_t i = 0;
  double n = 0;
  if (!ReadNumber(v, i, &n) || !(n > 0)) return false;
  const std::string_view unit = v.substr(i);
  return unit.empty() || unit == "px" || unit == "pt" || unit == "pc" || unit == "mm" || unit == "cm" ||
         unit == "in";
}

// A view box: four numbers, the last two positive.
bool ReadViewBox(std::string_view v, double* width, double* height) {
  double n[4] = {};
  std::size_t i = 0;
  for (int k = 0; k < 4; ++k) {
    while (i < v.size() && (IsSpace(v[i]) || (k > 0 && v[i] == ','))) ++i;
    if (!ReadNumber(v, i, &n[k])) return false;
  }
  while (i < v.size() && IsSpace(v[i])) ++i;
  if (i != v.size() || !(n[2] > 0) || !(n[3] > 0)) return false;
  *width = n[2];
  *height = n[3];
  return true;
}

struct Attribute {
  std::string name;  // as written, never empty
  std::string_view value;
  bool hasValue;
};

// Reads the attributes of a start tag from `i` (after the name), as HTML
// reads them, into `attrs`: the first of a name wins, names mapped by
// AttributeName.
void ReadAttributes(std::string_view tag, std::size_t i, std::vector<Attribute>& attrs) {
  attrs.clear();
  while (i < tag.size()) {
    while (i < tag.size() && (IsSpace(tag[i]) || tag[i] == '/')) ++i;
    if (i >= tag.size()) break;
    const std::size_t nameStart = i;
    ++i;  // a name may start with '='
    while (i < tag.size() && !IsSpace(tag[i]) && tag[i] != '/' && tag[i] != '=') ++i;
    const std::string_view rawName = tag.substr(nameStart, i - nameStart);
    while (i < tag.size() && IsSpace(tag[i])) ++i;
    std::string_view value;
    bool hasValue = false;
    if (i < tag.size() && tag[i] == '=') {
      ++i;
      while (i < tag.size() && IsSpace(tag[i])) ++i;
      hasValue = true;
      if (i < tag.size() && (tag[i] == '"' || tag[i] == '\'')) {
        const char quote = tag[i++];
        std::size_t end = tag.find(quote, i);
        if (end == std::string_view::npos) end = tag.size();
        value = tag.substr(i, end - i);
        i = end + 1;
      } else {
        const std::size_t start = i;
        while (i < tag.size() && !IsSpace(tag[i])) ++i;
        value = tag.substr(start, i - start);
      }
    }
    if (attrs.size() >= kMaxAttributes) continue;
    std::string name = AttributeName(LowerCase(rawName));
    if (name.empty()) continue;
    bool seen = false;
    for (const Attribute& a : attrs) seen = seen || a.name == name;
    if (!seen) attrs.push_back({std::move(name), value, hasValue});
  }
}

class SvgWriter {
 public:
  SvgWriter(std::string& out, OutputEncoding enc) : out_(out), enc_(enc) {}

  // The root: its size checked, or taken from its view box.
  void Root(std::string_view startTag) {
    std::size_t i = 0;
    while (i < startTag.size() && !IsSpace(startTag[i]) && startTag[i] != '/') ++i;
    ReadAttributes(startTag, i, attrs_);
    DropBadSizes();
    double boxWidth = 0, boxHeight = 0;
    bool hasBox = false;
    bool hasWidth = false, hasHeight = false;
    for (const Attribute& a : attrs_) {
      if (a.name == "viewBox") hasBox = ReadViewBox(a.value, &boxWidth, &boxHeight);
      hasWidth = hasWidth || a.name == "width";
      hasHeight = hasHeight || a.name == "height";
    }
    out_.append("<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\"");
    // A view box alone sizes the drawing in its own units; one given side
    // keeps the box's proportions. Without a box a missing side takes a
    // browser's default (300 by 150).
    if (!hasWidth || !hasHeight) {
      double width = hasBox ? boxWidth : 300, height = hasBox ? boxHeight : 150;
      for (const Attribute& a : attrs_) {
        std::size_t at = 0;
        double n = 0;
        if (!hasBox || !ReadNumber(a.value, at, &n) || !a.value.substr(at).empty()) continue;
        if (a.name == "width") height = boxHeight * n / boxWidth;
        if (a.name == "height") width = boxWidth * n / boxHeight;
      }
      char size[80];
      if (!hasWidth) {
        std::snprintf(size, sizeof size, " width=\"%.6g\"", width);
        out_.append(size);
      }
      if (!hasHeight) {
        std::snprintf(size, sizeof size, " height=\"%.6g\"", height);
        out_.append(size);
      }
    }
    WriteAttributes();
    out_.push_back('>');
  }

  void Body(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
      const std::size_t lt = s.find('<', i);
      const std::size_t textEnd = lt == std::string_view::npos ? s.size() : lt;
      if (textEnd > i) Characters(s.substr(i, textEnd - i), false);
      if (lt == std::string_view::npos) break;
      i = Markup(s, lt);
    }
    while (!stack_.empty()) Pop();
    out_.append("</svg>");
  }

 private:
  struct Open {
    std::string name;        // as HTML reads it, to match end tags
    const SvgElement* kept;  // nullptr: dropped with its content
  };

  // Whether what is read now is written: nothing inside a dropped element.
  bool Writing() const { return stack_.empty() || stack_.back().kept; }

  void Characters(std::string_view text, bool cdata) {
    if (!Writing()) return;
    bool white = true;
    for (char c : text) white = white && IsSpace(c);
    if (!white && !(stack_.empty() ? false : stack_.back().kept->holdsText)) return;
    if (!cdata) {
      ConvertSpecialChars(text, out_, ConvertMode::Text, enc_);
      return;
    }
    // Character data is taken as it stands: its '&' and '<' are text.
    std::string escaped;
    for (char c : text) {
      if (c == '&')
        escaped.append("&amp;");
      else if (c == '<')
        escaped.append("&lt;");
      else
        escaped.push_back(c);
    }
    ConvertSpecialChars(escaped, out_, ConvertMode::Text, enc_);
  }

  // Reads the markup at `lt` (a '<'); returns where reading goes on.
  std::size_t Markup(std::string_view s, std::size_t lt) {
    const std::string_view rest = s.substr(lt);
    if (rest.substr(0, 4) == "<!--") {
      const std::size_t end = s.find("-->", lt + 4);
      return end == std::string_view::npos ? s.size() : end + 3;
    }
    if (rest.substr(0, 9) == "<![CDATA[") {
      std::size_t end = s.find("]]>", lt + 9);
      if (end == std::string_view::npos) end = s.size();
      Characters(s.substr(lt + 9, end - lt - 9), true);
      return end == s.size() ? end : end + 3;
    }
    const bool endTag = rest.size() > 1 && rest[1] == '/';
    const std::size_t nameAt = lt + (endTag ? 2 : 1);
    if (nameAt >= s.size() || !IsAsciiLetter(s[nameAt])) {
      if (rest.size() > 1 && (rest[1] == '!' || rest[1] == '?' || endTag)) {
        // A declaration, a processing instruction or a bad end tag: dropped.
        const std::size_t end = s.find('>', lt);
        return end == std::string_view::npos ? s.size() : end + 1;
      }
      Characters("<", false);
      return lt + 1;
    }
    std::size_t end = s.find('>', lt);
    if (end == std::string_view::npos) end = s.size();
    std::string_view tag = s.substr(nameAt, end - nameAt);
    std::size_t n = 0;
    while (n < tag.size() && !IsSpace(tag[n]) && tag[n] != '/') ++n;
    const std::string name = LowerCase(tag.substr(0, n));
    if (endTag) {
      Close(name);
    } else {
      const bool selfClosed = !tag.empty() && tag.back() == '/';
      Start(name, tag, n, selfClosed);
    }
    return end == s.size() ? end : end + 1;
  }

  void Start(const std::string& name, std::string_view tag, std::size_t afterName, bool selfClosed) {
    if (!Writing()) {
      if (!selfClosed && stack_.size() < kMaxDepth) stack_.push_back({name, nullptr});
      return;
    }
    const SvgElement* e = stack_.size() < kMaxDepth ? FindElement(name) : nullptr;
    if (!e) {
      if (!selfClosed && stack_.size() < kMaxDepth) stack_.push_back({name, nullptr});
      return;
    }
    ReadAttributes(tag, afterName, attrs_);
    if (name == "svg") DropBadSizes();
    out_.push_back('<');
    out_.append(e->spelled);
    WriteAttributes();
    if (selfClosed) {
      out_.append("/>");
      return;
    }
    out_.push_back('>');
    stack_.push_back({name, e});
  }

  // An end tag closes the innermost open element of its name and all inside
  // it; one that matches none is ignored.
  void Close(const std::string& name) {
    for (std::size_t k = stack_.size(); k-- > 0;) {
      if (stack_[k].name != name) continue;
      while (stack_.size() > k) Pop();
      return;
    }
  }

  void Pop() {
    if (const SvgElement* e = stack_.back().kept) {
      out_.append("</");
      out_.append(e->spelled);
      out_.push_back('>');
    }
    stack_.pop_back();
  }

  // A drawing's size that FOP cannot read is dropped.
  void DropBadSizes() {
    std::erase_if(attrs_, [](const Attribute& a) {
      return (a.name == "width" || a.name == "height") && !IsDrawingSize(a.value);
    });
  }

  void WriteAttributes() {
    for (const Attribute& a : attrs_) {
      out_.push_back(' ');
      out_.append(a.name);
      out_.append("=\"");
      if (a.hasValue) ConvertSpecialChars(a.value, out_, ConvertMode::QuotedValue, enc_);
      out_.push_back('"');
    }
  }

  std::string& out_;
  OutputEncoding enc_;
  std::vector<Open> stack_;
  std::vector<Attribute> attrs_;
};

}  // namespace

void AppendSvg(std::string_view startTag, std::string_view body, std::string& out, OutputEncoding enc) {
  SvgWriter writer(out, enc);
  writer.Root(startTag);
  writer.Body(body);
}

}  // namespace ps

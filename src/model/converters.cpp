// Property converters: turn an HTML attribute value into what XSL-FO expects,
// or spread it into the internal properties that stand for it.
#include <climits>
#include <cstdint>
#include <string>
#include <string_view>

#include "model/converters.h"
#include "model/handlers.h"

namespace ps {

namespace {

struct AlignPair {
  const char* html;
  const char* fo;
};

constexpr AlignPair kAlignMap[] = {
    {"LEFT", "start"},
    {"CENTER", "center"},
    {"MIDDLE", "center"},
    {"RIGHT", "end"},
};

// A CSS page break as the XSL-FO break or keep that means it, by property
// and value; a row without a property serves all three. A keep has strength
// 1 rather than "always": FOP keeps what fits on a page either way, but draws
// what does not fit past the page's bottom edge under "always", where the
// text is lost. What asks for nothing on paper is dropped.
struct PageBreakMapping {
  const char* property;
  const char* css;
  const char* target;  // nullptr: dropped
  const char* fo;
};

constexpr PageBreakMapping kPageBreakMap[] = {
    {"STYLE-page-break-before", "ALWAYS", "XML-BREAK-BEFORE", "page"},
    {"STYLE-page-break-before", "LEFT", "XML-BREAK-BEFORE", "page"},
    {"STYLE-page-break-before", "RIGHT", "XML-BREAK-BEFORE", "page"},
    {"STYLE-page-break-before", "AVOID", "XML-KEEP-WITH-PREVIOUS", "1"},
    {"STYLE-page-break-after", "ALWAYS", "XML-BREAK-AFTER", "page"},
    {"STYLE-page-break-after", "LEFT", "XML-BREAK-AFTER", "page"},
    {"STYLE-page-break-after", "RIGHT", "XML-BREAK-AFTER", "page"},
    {"STYLE-page-break-after", "AVOID", "XML-KEEP-WITH-NEXT", "1"},
    {"STYLE-page-break-inside", "AVOID", "XML-KEEP-TOGETHER", "1"},
    {nullptr, "AUTO", nullptr, nullptr},
    {nullptr, "INHERIT", nullptr, nullptr},
    {nullptr, "INITIAL", nullptr, nullptr},
    {nullptr, "UNSET", nullptr, nullptr},
};

// Point sizes of the HTML font sizes 0 to 5; larger sizes are computed.
constexpr int kFontSizeTable[] = {7, 8, 10, 13, 16, 20};

bool EndsWithNoCase(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() && EqualsNoCase(s.substr(s.size() - suffix.size()), suffix);
}

// The white space that scanf skips in the C locale.
bool IsScanfSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return 99;
}

}  // namespace

// Unlike sscanf, a number outside the int range is clamped, never undefined.
bool ScanBareInt(const char* s, int* out) {
  std::size_t i = 0;
  while (IsScanfSpace(s[i])) ++i;
  bool negative = false;
  if (s[i] == '+' || s[i] == '-') negative = s[i++] == '-';
  int base = 10;
  bool anyDigit = false;
  if (s[i] == '0') {
    // glibc takes "0" as a digit and then swallows an 'x' even when no hex
    // digit follows ("0x" reads as 0).
    anyDigit = true;
    ++i;
    if (s[i] == 'x' || s[i] == 'X') {
      base = 16;
      ++i;
    } else {
      base = 8;
    }
  }
  const std::uint64_t limit = static_cast<std::uint64_t>(INT_MAX) + 1;
  std::uint64_t magnitude = 0;
  for (int d; (d = DigitValue(s[i])) < base; ++i) {
    anyDigit = true;
    if (magnitude <= limit) magnitude = magnitude * base + static_cast<std::uint64_t>(d);
  }
  if (!anyDigit || s[i] != '\0') return false;
  std::int64_t v = negative ? -static_cast<std::int64_t>(magnitude > limit ? limit : magnitude)
                            : static_cast<std::int64_t>(magnitude > INT_MAX ? INT_MAX : magnitude);
  if (v < INT_MIN) v = INT_MIN;
  *out = static_cast<int>(v);
  return true;
}

bool NormalizePointUnit(Context&, TagNode*, TagProperty* prop) {
  Text& v = prop->value;
  if (v.null()) {
    v.assign("1pt");
  } else if (!v.empty() && v.view().back() == '%') {
    // A share of the space the element stands in is a length of its own.
  } else if (EndsWithNoCase(v.view(), "pt") || EndsWithNoCase(v.view(), "px")) {
    v.replace(v.size() - 2, 2, "pt");
  } else {
    v.append("pt");
  }
  return true;
}

bool ClearValue(Context&, TagNode*, TagProperty* prop) {
  prop->value.reset();
  return true;
}

bool HtmlFontSizePoints(const char* value, long long* points) {
  int read = 0;
  const char first = value ? value[0] : '\0';
  const bool relative = first == '+' || first == '-';
  if (!value || !ScanBareInt(value + (relative ? 1 : 0), &read)) return false;
  // 64-bit throughout: clamped int inputs cannot overflow here.
  std::int64_t n = read;
  if (first == '-') n = 2 - n;
  if (first == '+') n = n + 2;
  *points = n >= 6 ? 5 * n - 5 : kFontSizeTable[n < 0 ? 0 : n];
  return true;
}

bool ConvertFontSize(Context& ctx, TagNode* node, TagProperty* prop) {
  const char* value = prop->value.c_str();
  long long size = 0;
  if (!HtmlFontSizePoints(value, &size)) {
    ctx.dbg().write("No FontSize!\n");
    return false;
  }
  ctx.dbg().printf("Old FontSize %s\n", value);
  static const PropertyName kStyleSize("STYLE-font-size"), kLineHeight("XML-LINE-HEIGHT");
  TagProperty* fs = SetProperty(ctx, node, kStyleSize, std::to_string(size) + "pt");
  ctx.dbg().printf("New FontSize %s\n", fs ? fs->value.or_empty() : "");
  TagProperty* lh = SetProperty(ctx, node, kLineHeight, std::to_string(size + 3) + "pt");
  ctx.dbg().printf("LineHeight %s\n", lh ? lh->value.or_empty() : "");
  return true;
}

bool SpreadCellPadding(Context& ctx, TagNode* node, TagProperty* prop) {
  const bool report = ctx.reportPropertyFailures;
  ctx.reportPropertyFailures = false;
  NormalizePointUnit(ctx, node, prop);
  if (prop->value.view() != "0pt") {
    static const PropertyName kMargins[] = {PropertyName("XML-MARGIN-TOP"), PropertyName("XML-MARGIN-BOTTOM"),
                                            PropertyName("XML-MARGIN-LEFT"), PropertyName("XML-MARGIN-RIGHT")};
    for (const PropertyName& margin : kMargins)
      SpreadProperty(ctx, node->firstChild, margin, prop->value, 0, true);
  }
  ctx.reportPropertyFailures = report;
  return true;
}

bool ConvertImageBorder(Context& ctx, TagNode* node, TagProperty* prop) {
  NormalizePointUnit(ctx, node, prop);
  if (prop->value.view() == "0pt") return true;
  static const PropertyName kWidth("XML-BORDER-WIDTH"), kColor("XML-BORDER-COLOR"), kStyle("XML-BORDER-STYLE");
  SetProperty(ctx, node, kWidth, Text::Copy(prop->value));
  SetProperty(ctx, node, kColor, "black");
  SetProperty(ctx, node, kStyle, "solid");
  return true;
}

bool ConvertTableBorder(Context& ctx, TagNode* node, TagProperty* prop) {
  if (prop->value.null()) {
    static const PropertyName kSpacing("CELLSPACING");
    TagProperty* spacing = FindProperty(node, kSpacing);
    if (spacing && spacing->value.has())
      prop->value = Text::Copy(spacing->value);
    else
      prop->value.assign("1pt");
  }
  return NormalizePointUnit(ctx, node, prop);
}

bool MapAlign(Context& ctx, TagNode*, TagProperty* prop) {
  if (prop->value.null()) return false;
  for (const AlignPair& pair : kAlignMap) {
    if (!EqualsNoCase(prop->value.view(), pair.html)) continue;
    prop->value.assign(pair.fo);
    ctx.dbg().printf("map %s -> %s\n", pair.html, pair.fo);
    return true;
  }
  return false;
}

bool MapPageBreak(Context& ctx, TagNode* node, TagProperty* prop) {
  if (prop->value.null()) return false;
  std::string_view value = prop->value.view();
  while (!value.empty() && IsScanfSpace(value.front())) value.remove_prefix(1);
  while (!value.empty() && IsScanfSpace(value.back())) value.remove_suffix(1);
  for (const PageBreakMapping& row : kPageBreakMap) {
    if ((row.property && !EqualsNoCase(prop->def->name, row.property)) || !EqualsNoCase(value, row.css)) continue;
    if (!row.target) {
      prop->value.reset();
      return true;
    }
    const PropertyDef* target = FindPropertyDefForTag(row.target, node->def);
    if (!target) return false;
    ctx.dbg().printf("map %s -> %s\n", row.css, row.fo);
    prop->def = target;
    prop->value.assign(row.fo);
    return true;
  }
  return false;
}

bool RetypeNamedAnchor(Context&, TagNode* node, TagProperty* prop) {
  // The flow's closing block owns that id: an author's anchor of the name marks nothing.
  if (prop->value.has() && prop->value.view() == kLastPageId) prop->value.reset();
  // A named link stays a link: only an anchor without HREF is a mere target.
  if (FindProperty(node, "HREF") || FindProperty(node, "XML-INTERNAL-DESTINATION")) return true;
  if (const TagDef* def = FindTagDef(nullptr, "XML-LINK-REFERENCE")) node->def = def;
  return true;
}

bool PlaceIdTarget(Context& ctx, TagNode* node, TagProperty* prop) {
  if (prop->value.null()) return true;
  if (prop->value.view() == kLastPageId) {
    prop->value.reset();
    return true;
  }
  const TagDef* def = node->def;
  // Written on the element's own FO element, unless that is a bare start tag
  // ("fo:block/" of BR), which takes no attribute of the author's.
  if (def->outputName && (def->writeForm != 2 || def->rawTag)) return true;
  // Otherwise an empty inline at the element's place carries the id: at the
  // start of an element that writes none (B, FONT), ahead of its text; right
  // after a line break, ahead of the text that follows it. Where no such
  // inline may stand (the head's elements, whose content never prints) the id
  // marks nothing.
  static const TagDef* const anchorTag = FindTagDef(nullptr, "XML-ID-ANCHOR");
  TagNode* anchor = def->outputName ? InsertAfter(node, anchorTag) : PrependChild(node, anchorTag);
  if (anchor) {
    SetProperty(ctx, anchor, "ID", std::move(prop->value));
    anchor->tail.take(def->outputName ? node->tail : node->text);
  }
  prop->value.reset();
  return true;
}

// The file a relative SRC names, resolved against the page's folder; "" for
// a URL with a scheme (http:, data:, ...) or a network path, which are left
// to the renderer, and for an empty one.
std::string LocalImagePath(std::string_view page, std::string_view src) {
  auto isAlpha = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  std::size_t i = 0;
  while (i < src.size() && (isAlpha(src[i]) || (i > 0 && ((src[i] >= '0' && src[i] <= '9') || src[i] == '+' ||
                                                         src[i] == '-' || src[i] == '.'))))
    ++i;
  if (i > 0 && i < src.size() && src[i] == ':') return "";
  if (src.substr(0, 2) == "//") return "";
  src = src.substr(0, src.find_first_of("?#"));
  if (src.empty()) return "";
  // As the renderer reads the URI: %XX stands for its byte.
  std::string path;
  auto hex = [](char c) {
    return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
  };
  for (std::size_t k = 0; k < src.size(); ++k) {
    if (src[k] == '%' && k + 2 < src.size() && hex(src[k + 1]) >= 0 && hex(src[k + 2]) >= 0) {
      path.push_back(static_cast<char>(hex(src[k + 1]) * 16 + hex(src[k + 2])));
      k += 2;
    } else {
      path.push_back(src[k]);
    }
  }
  if (path[0] == '/') return path;
  const std::size_t slash = page.rfind('/');
  return slash == std::string_view::npos ? path : std::string(page.substr(0, slash + 1)) + path;
}

bool ConvertLinkTarget(Context& ctx, TagNode* node, TagProperty* prop) {
  if (prop->value.null()) return true;
  const std::string link(prop->value.view());
  const std::size_t hash = link.find('#');  // a fragment starts at the first: "&#..;" may follow
  const bool hasFragment = hash != std::string::npos;
  const std::string rest = hasFragment ? link.substr(0, hash) : link;
  const std::string fragment = hasFragment ? link.substr(hash + 1) : std::string();
  if (rest.find('/') != std::string::npos) return true;  // a directory part: left as it is
  if (rest.empty()) {
    // A link into this document. Without any fragment (an empty value) there
    // is nothing to point at; a bare "#" gives an empty destination, which
    // the writer turns into plain text.
    if (!hasFragment) return true;
    const PropertyDef* internal = FindPropertyDefForTag("XML-INTERNAL-DESTINATION", node->def);
    if (!internal) return true;
    prop->value.assign(fragment);
    prop->def = internal;
    return true;
  }
  const std::size_t dot = rest.rfind('.');
  if (dot == std::string::npos) return true;
  // A sibling HTML document: it is converted too, so link to its PDF. A link
  // to this very document, or one with a fragment, stays as it is.
  const std::string_view extension = std::string_view(rest).substr(dot + 1);
  if (hasFragment || rest == ctx.inputName) return true;
  if (!EqualsNoCase(extension, "htm") && !EqualsNoCase(extension, "html")) return true;
  prop->value.assign(rest.substr(0, dot) + ".pdf");
  return true;
}

// A background image whose file is missing beside the page is no
// background: FOP would report it on every cell that names it.
bool IsBlank(std::string_view text) {
  for (char c : text)
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != '\f') return false;
  return true;
}

bool ConvertBackgroundImage(Context& ctx, TagNode* node, TagProperty* prop) {
  if (prop->value.has() && ctx.fileExists) {
    const std::string path = LocalImagePath(ctx.inputName, prop->value.view());
    const bool blank = IsBlank(prop->value.view());
    if (blank || (!path.empty() && !ctx.fileExists(path))) {
      if (!blank) ctx.msg().printf("Background image \"%s\" not found: left out\n", path.c_str());
      prop->value.reset();
      return true;
    }
  }
  return ConvertLinkTarget(ctx, node, prop);
}

}  // namespace ps

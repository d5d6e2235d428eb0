#include "style/hints.h"

#include <charconv>

namespace ps::css {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A non-negative integer as HTML reads it: leading blanks, digits, anything
// after them ignored. False when no digit comes first.
bool ParseInteger(std::string_view v, long long& out) {
  std::size_t i = 0;
  while (i < v.size() && (v[i] == ' ' || v[i] == '\t' || v[i] == '\n' || v[i] == '\r' || v[i] == '\f')) ++i;
  if (i < v.size() && v[i] == '+') ++i;
  if (i == v.size() || !IsDigit(v[i])) return false;
  out = 0;
  for (; i < v.size() && IsDigit(v[i]); ++i) out = std::min<long long>(out * 10 + (v[i] - '0'), 100000);
  return true;
}

// A dimension: "N" or "N%" (pixels or a percentage); "" when not one.
std::string Dimension(std::string_view v) {
  std::size_t i = 0;
  while (i < v.size() && (v[i] == ' ' || v[i] == '\t' || v[i] == '\n' || v[i] == '\r' || v[i] == '\f')) ++i;
  std::size_t j = i;
  while (j < v.size() && (IsDigit(v[j]) || v[j] == '.')) ++j;
  if (j == i || !IsDigit(v[i])) return "";
  double n = 0;
  if (std::from_chars(v.data() + i, v.data() + j, n).ec != std::errc() || n <= 0) return "";
  const std::string number(v.substr(i, j - i));
  return j < v.size() && v[j] == '%' ? number + "%" : number + "px";
}

// A legacy colour: what CSS reads as a colour, or six or three hex digits
// without their '#'. Anything else gives no hint.
std::string Color(std::string_view v) {
  while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
  while (!v.empty() && (v.back() == ' ' || v.back() == '\t')) v.remove_suffix(1);
  if (v.empty() || v.size() > 32) return "";
  for (char c : v)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || IsDigit(c) || c == '#')) return "";
  if (v.front() == '#') return std::string(v);
  bool hex = v.size() == 6 || v.size() == 3;
  for (char c : v) hex = hex && (IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'));
  return hex ? "#" + std::string(v) : std::string(v);
}

const std::string* Attr(const ComponentElementView& view, const TagNode* n, std::string_view name) {
  return view.Attribute(n, name);
}

void Add(std::string& out, const char* property, const std::string& value) {
  if (value.empty()) return;
  out += property;
  out += ':';
  out += value;
  out += ';';
}

// The table a cell belongs to.
const TagNode* TableOf(const TagNode* cell, const ComponentElementView& view) {
  const TagNode* n = cell->parent;
  for (int i = 0; n && i < kCellToTable; ++i, n = n->parent) {
    if (!n->def) return nullptr;
    const std::string& name = view.Info(n).name;
    if (name == "table") return n;
    if (name == "td" || name == "th") return nullptr;
  }
  return nullptr;
}

}  // namespace

void PresentationalHints(const TagNode* node, const ComponentElementView& view, std::string& out) {
  out.clear();
  if (!node->def) return;
  const std::string& name = view.Info(node).name;
  const bool table = name == "table";
  const bool cell = name == "td" || name == "th";
  const bool row = name == "tr" || name == "thead" || name == "tbody" || name == "tfoot";
  if (!table && !cell && !row) return;
  if (const std::string* c = Attr(view, node, "bgcolor")) Add(out, "background-color", Color(*c));
  if (table || cell)
    if (const std::string* w = Attr(view, node, "width")) Add(out, "width", Dimension(*w));
  if (cell || row)
    if (const std::string* v = Attr(view, node, "valign")) {
      for (const char* k : {"top", "middle", "bottom", "baseline"})
        if (EqualsNoCase(*v, k)) Add(out, "vertical-align", k);
    }
  if (table) {
    if (const std::string* b = Attr(view, node, "border")) {
      long long px = 1;
      if (!ParseInteger(*b, px)) px = 1;
      if (px > 0) {
        Add(out, "border-width", std::to_string(px) + "px");
        Add(out, "border-style", "outset");
      }
    }
    long long px = 0;
    if (const std::string* s = Attr(view, node, "cellspacing"); s && ParseInteger(*s, px))
      Add(out, "border-spacing", std::to_string(px) + "px");
  }
  if (cell) {
    if (Attr(view, node, "nowrap")) Add(out, "white-space", "nowrap");
    if (const TagNode* t = TableOf(node, view)) {
      long long px = 0;
      if (const std::string* p = Attr(view, t, "cellpadding"); p && ParseInteger(*p, px))
        Add(out, "padding", std::to_string(px) + "px");
      if (const std::string* b = Attr(view, t, "border")) {
        long long width = 1;
        if (!ParseInteger(*b, width)) width = 1;
        if (width > 0) {
          Add(out, "border-width", "1px");
          Add(out, "border-style", "inset");
        }
      }
    }
  }
}

}  // namespace ps::css

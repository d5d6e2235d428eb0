#include "transform/lists.h"

#include <algorithm>
#include <cmath>

#include "model/handlers.h"
#include "model/tree.h"

namespace ps {

namespace {

// Roman numerals have no standard form past 3999 (it would need a bar).
constexpr std::int64_t kLargestRoman = 3999;

std::string Decimal(std::int64_t n) { return std::to_string(n); }

// a, b, ... z, aa, ab, ...: bijective base 26, as browsers count letters.
std::string Letters(std::int64_t n, char a) {
  std::string s;
  for (; n > 0; n = (n - 1) / 26) s.push_back(static_cast<char>(a + (n - 1) % 26));
  std::reverse(s.begin(), s.end());
  return s;
}

std::string Roman(std::int64_t n, bool upper) {
  struct Digit {
    int value;
    const char* lower;
    const char* upper;
  };
  static constexpr Digit kDigits[] = {{1000, "m", "M"}, {900, "cm", "CM"}, {500, "d", "D"}, {400, "cd", "CD"},
                                      {100, "c", "C"},  {90, "xc", "XC"},  {50, "l", "L"},  {40, "xl", "XL"},
                                      {10, "x", "X"},   {9, "ix", "IX"},   {5, "v", "V"},   {4, "iv", "IV"},
                                      {1, "i", "I"}};
  std::string s;
  for (const Digit& d : kDigits)
    for (; n >= d.value; n -= d.value) s.append(upper ? d.upper : d.lower);
  return s;
}

bool IsHtmlSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

// About how wide a label prints at the body's 10pt: the wide capitals and
// m, w take about 9pt, other capitals 7pt, digits, small letters and the
// full stop at most 6pt.
double LabelWidth(std::string_view label) {
  double points = 0;
  for (char c : label) {
    if (c == 'M' || c == 'W' || c == 'm' || c == 'w')
      points += 9;
    else if (c >= 'A' && c <= 'Z')
      points += 7;
    else
      points += 6;
  }
  return points;
}

// The label block that BuildListItem put in front of the item's body.
TagNode* LabelBlock(TagNode* item) {
  static const TagDef* const labelDef = FindTagDef(nullptr, "XML-LIST-ITEM-LABEL");
  TagNode* label = item->firstChild;
  return label && label->def == labelDef ? label->firstChild : nullptr;
}

}  // namespace

std::optional<std::int64_t> ParseListNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsHtmlSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size() || text[i] < '0' || text[i] > '9') return std::nullopt;
  std::int64_t n = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    n = std::min(kListNumberLimit, n * 10 + (text[i] - '0'));
  return negative ? -n : n;
}

std::string ListLabel(std::int64_t n, std::string_view type) {
  std::string label;
  if ((type == "a" || type == "A") && n >= 1)
    label = Letters(n, type[0]);
  else if ((type == "i" || type == "I") && n >= 1 && n <= kLargestRoman)
    label = Roman(n, type == "I");
  else
    label = Decimal(n);
  label.push_back('.');
  return label;
}

// Numbers the items in order: from START (1 without it), an item's VALUE
// sets its own number and the count goes on from there. Runs after the
// items were built, so each already has its label block.
bool NumberListItems(Context& ctx, TagNode* list) {
  static const PropertyName kType("TYPE"), kStart("START"), kValue("VALUE");
  static const PropertyName kLabelDistance("XML-provisional-distance-between-starts");
  static const TagDef* const itemDef = FindTagDef(nullptr, "LI");
  const TagProperty* listType = FindProperty(list, kType);
  const std::string_view type = listType ? listType->value.view() : std::string_view("1");
  std::int64_t n = 1;
  if (const TagProperty* start = FindProperty(list, kStart))
    n = ParseListNumber(start->value.view()).value_or(n);
  double widest = 0;
  for (TagNode* item = list->firstChild; item; item = item->next) {
    if (item->def != itemDef) continue;
    if (const TagProperty* value = FindProperty(item, kValue)) n = ParseListNumber(value->value.view()).value_or(n);
    const TagProperty* itemType = FindProperty(item, kType);
    const std::string label = ListLabel(n, itemType ? itemType->value.view() : type);
    if (TagNode* block = LabelBlock(item)) block->text.assign(label);
    widest = std::max(widest, LabelWidth(label));
    n = std::min(n + 1, kListNumberLimit);
  }
  // The label area (the distance less the 3pt separation) must hold the
  // widest label; the default 14pt holds one of two narrow characters.
  constexpr double kDefaultDistance = 14;
  const double distance = std::ceil(widest) + 2;
  if (distance > kDefaultDistance) SetProperty(ctx, list, kLabelDistance, std::to_string(static_cast<int>(distance)) + "pt");
  return true;
}

}  // namespace ps

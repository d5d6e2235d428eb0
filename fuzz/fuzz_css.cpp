// libFuzzer entry for the CSS engine alone: the bytes as a style sheet,
// decoded, parsed, every rule's prelude read as selectors and matched
// against a small tree, @media and @supports answered, declarations read
// and serialised back.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "style/color.h"
#include "style/media.h"
#include "style/selectors.h"
#include "style/syntax.h"

namespace {

// html > body > (p.a#x, p[lang=en] > span): enough for every combinator.
struct Node {
  const char* name;
  int parent, prev, next, first;
  const char* id;
  const char* cls;
};
constexpr Node kNodes[] = {
    {"html", -1, -1, -1, 1, nullptr, nullptr},
    {"body", 0, -1, -1, 2, nullptr, "b"},
    {"p", 1, -1, 3, -1, "x", "a c"},
    {"p", 1, 2, -1, 4, nullptr, nullptr},
    {"span", 3, -1, -1, -1, nullptr, "a"},
};

class View : public ps::css::ElementView {
 public:
  View() {
    for (int i = 0; i < 5; ++i) {
      if (kNodes[i].id) ids_[i] = kNodes[i].id;
      if (kNodes[i].cls) classes_[i] = kNodes[i].cls;
    }
  }
  static int I(Handle e) { return static_cast<int>(static_cast<const Node*>(e) - kNodes); }
  static Handle H(int i) { return i < 0 ? nullptr : &kNodes[i]; }
  Handle Parent(Handle e) const override { return H(kNodes[I(e)].parent); }
  Handle PreviousElement(Handle e) const override { return H(kNodes[I(e)].prev); }
  Handle NextElement(Handle e) const override { return H(kNodes[I(e)].next); }
  Handle FirstChildElement(Handle e) const override { return H(kNodes[I(e)].first); }
  std::string_view LocalName(Handle e) const override { return kNodes[I(e)].name; }
  const std::string* Attribute(Handle e, std::string_view name) const override {
    const int i = I(e);
    if (name == "id" && kNodes[i].id) return &ids_[i];
    if (name == "class" && kNodes[i].cls) return &classes_[i];
    if (name == "lang" && i == 3) return &lang_;
    return nullptr;
  }
  bool HasTextChildren(Handle e) const override { return I(e) == 2; }
  std::string_view Language(Handle e) const override { return I(e) >= 3 ? "en" : ""; }
  bool IsLink(Handle) const override { return false; }

 private:
  std::string ids_[5], classes_[5], lang_ = "en";
};

bool Supported(std::string_view property, const ps::css::ComponentValues& value) {
  return property == "color" && !value.empty();
}

void Walk(const std::vector<ps::css::Rule>& rules, const View& view, int depth) {
  using namespace ps::css;
  for (const Rule& r : rules) {
    if (!r.at) {
      if (auto list = ParseSelectorList(r.prelude)) {
        for (const Selector& s : *list)
          for (int i = 0; i < 5; ++i) (void)Matches(s, view, View::H(i));
      }
      for (const Declaration& d : ParseDeclarationList(r.block)) {
        (void)ParseComponentValues(Serialize(d.value));
        Rgba c;
        if (!d.value.empty()) (void)ParseColor(d.value[0], c);
      }
      continue;
    }
    (void)MediaMatches(r.prelude, Medium{});
    (void)SupportsMatches(r.prelude, Supported);
    long a, b;
    (void)ParseAnPlusB(r.prelude, a, b);
    if (r.hasBlock && depth < 4) Walk(ParseRuleList(r.block), view, depth + 1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::string text = ps::css::DecodeSheet(bytes, "windows-1252");
  static const View view;
  Walk(ps::css::ParseStylesheet(text).rules, view, 0);
  return 0;
}

// Selectors Level 3 and :is()/:where(): parsing from component values,
// specificity, and matching against any element tree through ElementView.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "style/syntax.h"

namespace ps::css {

// What matching needs to know of an element; the cascade adapts the
// document tree to it. Names compare ASCII case-insensitively for HTML.
class ElementView {
 public:
  virtual ~ElementView() = default;
  using Handle = const void*;   // an element; nullptr for none
  virtual Handle Parent(Handle e) const = 0;          // nullptr at the root
  virtual Handle PreviousElement(Handle e) const = 0; // previous element sibling
  virtual Handle NextElement(Handle e) const = 0;
  virtual Handle FirstChildElement(Handle e) const = 0;
  virtual std::string_view LocalName(Handle e) const = 0;  // lower case
  // The attribute's value; nullptr when absent. Name in lower case.
  virtual const std::string* Attribute(Handle e, std::string_view name) const = 0;
  virtual bool HasTextChildren(Handle e) const = 0;   // for :empty
  virtual std::string_view Language(Handle e) const = 0;  // inherited lang, for :lang()
  virtual bool IsLink(Handle e) const = 0;            // for :link / :any-link
  // The element's position among its element siblings, from 1: counted from
  // the last one when `fromEnd`, among those of its own name when `ofType`.
  // This default walks the siblings; an adapter may answer from a cache so
  // that :nth-child() on a parent of many children stays linear.
  virtual long SiblingIndex(Handle e, bool fromEnd, bool ofType) const;
};

struct Specificity {
  std::uint32_t a = 0, b = 0, c = 0;
  auto operator<=>(const Specificity&) const = default;
};

struct ComplexSelector;  // opaque; defined in selectors.cpp

struct Selector {
  std::shared_ptr<const ComplexSelector> complex;
  Specificity specificity;
  // For bucketing: the rightmost compound's id, first class, or tag (lower
  // case); empty where it has none.
  std::string keyId, keyClass, keyTag;
  // Without any of those: the tags one of which the subject must have, when
  // an :is() or :where() in the rightmost compound names them all.
  std::vector<std::string> keyTags;
};

// A comma-separated list; nullopt when any part is invalid (the rule drops).
std::optional<std::vector<Selector>> ParseSelectorList(const ComponentValues& prelude);
bool Matches(const Selector& s, const ElementView& view, ElementView::Handle e);

// :is() and :not() nest no deeper than this within one selector; a deeper
// selector is invalid.
inline constexpr int kMaxSelectorNesting = 32;
// The selector has a pseudo-element (::before, ::first-line...): it is valid
// but matches no element, since pagesmith generates no such boxes.
bool HasPseudoElement(const Selector& s);

}  // namespace ps::css

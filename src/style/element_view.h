// The document tree as selectors see it: elements named by their tag as
// written, with the attributes of their start tag. The reader keeps each
// element's start tag, so nothing is added to the tree for this; what one
// element's matching reads is parsed once and kept until the next element.
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "model/tree.h"
#include "style/selectors.h"

namespace ps {

struct ElementInfo {
  std::string name;  // lower case
  std::vector<std::pair<std::string, std::string>> attributes;  // names in lower case, the first of each name
  std::vector<std::string> classes;
  std::string language;
  bool languageKnown = false;
};

// The attributes of a start tag's text (the tag's name first), as HTML reads them.
void ParseStartTag(std::string_view raw, ElementInfo& out);

class ComponentElementView : public css::ElementView {
 public:
  const ElementInfo& Info(const TagNode* n) const;
  // Drops what was parsed when it has grown large; only between elements.
  void Forget() const {
    if (used_ > 4096) {
      used_ = 0;
      std::fill(slots_.begin(), slots_.end(), Slot{});
      last_ = nullptr;
    }
  }

  Handle Parent(Handle e) const override;
  Handle PreviousElement(Handle e) const override;
  Handle NextElement(Handle e) const override;
  Handle FirstChildElement(Handle e) const override;
  std::string_view LocalName(Handle e) const override { return Info(Node(e)).name; }
  const std::string* Attribute(Handle e, std::string_view name) const override;
  bool HasTextChildren(Handle e) const override;
  std::string_view Language(Handle e) const override;
  bool IsLink(Handle e) const override;
  long SiblingIndex(Handle e, bool fromEnd, bool ofType) const override;

 private:
  static const TagNode* Node(Handle e) { return static_cast<const TagNode*>(e); }
  // The element's entry, made (empty) when it has none yet.
  ElementInfo& Entry(const TagNode* n, bool& made) const;
  // What was parsed, by element: the entries in `infos_` (their room used
  // again once forgotten, since every element of a page passes here), found
  // through `slots_` (open addressing, at most half full).
  struct Slot {
    const TagNode* node = nullptr;
    std::uint32_t info = 0;
  };
  mutable std::deque<ElementInfo> infos_;
  mutable std::size_t used_ = 0;
  mutable std::vector<Slot> slots_;
  // The element asked for last: matching asks for one element many times.
  mutable const TagNode* last_ = nullptr;
  mutable const ElementInfo* lastInfo_ = nullptr;
  // Each parent's elements in order, and each element's place among them
  // and among those of its name: sibling selectors over long lists stay linear.
  struct Siblings {
    std::vector<const TagNode*> elements;
    std::unordered_map<const TagNode*, std::uint32_t> place;
    std::vector<std::uint32_t> ofType, ofTypeFromEnd;  // from 1
  };
  const Siblings* SiblingsOf(const TagNode* child) const;
  mutable std::unordered_map<const TagNode*, Siblings> siblings_;
  mutable std::size_t siblingCount_ = 0;
};

}  // namespace ps

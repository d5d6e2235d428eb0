#include "style/element_view.h"

namespace ps {

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }
char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool IsElement(const TagNode* n) { return n && std::string_view(n->def->name) != "!--"; }

// The few character references an attribute value used in a selector holds.
std::string Unescape(std::string_view v) {
  if (v.find('&') == std::string_view::npos) return std::string(v);
  static constexpr struct {
    const char* name;
    const char* text;
  } kNamed[] = {{"amp;", "&"}, {"lt;", "<"}, {"gt;", ">"}, {"quot;", "\""}, {"apos;", "'"}};
  std::string out;
  for (std::size_t i = 0; i < v.size(); ++i) {
    if (v[i] != '&') {
      out += v[i];
      continue;
    }
    bool done = false;
    for (const auto& k : kNamed) {
      const std::string_view n(k.name);
      if (v.substr(i + 1, n.size()) == n) {
        out += k.text;
        i += n.size();
        done = true;
        break;
      }
    }
    if (!done) out += '&';
  }
  return out;
}

}  // namespace

void ParseStartTag(std::string_view raw, ElementInfo& out) {
  std::size_t i = 0;
  while (i < raw.size() && !IsSpace(raw[i]) && raw[i] != '/') out.name += Lower(raw[i++]);
  while (i < raw.size()) {
    while (i < raw.size() && (IsSpace(raw[i]) || raw[i] == '/')) ++i;
    if (i == raw.size()) break;
    std::string name;
    // The first character may be '=' (HTML reads it as part of the name).
    do name += Lower(raw[i++]);
    while (i < raw.size() && !IsSpace(raw[i]) && raw[i] != '/' && raw[i] != '=');
    while (i < raw.size() && IsSpace(raw[i])) ++i;
    std::string value;
    if (i < raw.size() && raw[i] == '=') {
      ++i;
      while (i < raw.size() && IsSpace(raw[i])) ++i;
      if (i < raw.size() && (raw[i] == '"' || raw[i] == '\'')) {
        const char q = raw[i++];
        const std::size_t end = raw.find(q, i);
        const std::size_t stop = end == std::string_view::npos ? raw.size() : end;
        value = Unescape(raw.substr(i, stop - i));
        i = stop == raw.size() ? stop : stop + 1;
      } else {
        const std::size_t start = i;
        while (i < raw.size() && !IsSpace(raw[i])) ++i;
        value = Unescape(raw.substr(start, i - start));
      }
    }
    bool known = false;
    for (const auto& a : out.attributes)
      if (a.first == name) known = true;
    if (!known) out.attributes.emplace_back(std::move(name), std::move(value));
  }
  for (const auto& a : out.attributes) {
    if (a.first != "class") continue;
    std::size_t p = 0;
    const std::string& v = a.second;
    while (p < v.size()) {
      while (p < v.size() && IsSpace(v[p])) ++p;
      std::size_t q = p;
      while (q < v.size() && !IsSpace(v[q])) ++q;
      if (q > p) {
        std::string c = v.substr(p, q - p);
        bool seen = false;
        for (const std::string& x : out.classes) seen = seen || x == c;
        if (!seen) out.classes.push_back(std::move(c));
      }
      p = q;
    }
  }
}

ElementInfo& ComponentElementView::Entry(const TagNode* n, bool& made) const {
  auto home = [this](const TagNode* key) {
    return static_cast<std::size_t>((reinterpret_cast<std::uintptr_t>(key) >> 3) * 0x9E3779B97F4A7C15ull >> 20) &
           (slots_.size() - 1);
  };
  if (!slots_.empty())
    for (std::size_t i = home(n);; i = (i + 1) & (slots_.size() - 1)) {
      if (slots_[i].node == n) {
        made = false;
        return infos_[slots_[i].info];
      }
      if (!slots_[i].node) break;
    }
  if ((used_ + 1) * 2 > slots_.size()) {
    std::vector<Slot> old(std::max<std::size_t>(slots_.size() * 2, 1024));
    old.swap(slots_);
    for (const Slot& e : old)
      if (e.node) {
        std::size_t i = home(e.node);
        while (slots_[i].node) i = (i + 1) & (slots_.size() - 1);
        slots_[i] = e;
      }
  }
  std::size_t i = home(n);
  while (slots_[i].node) i = (i + 1) & (slots_.size() - 1);
  slots_[i] = {n, static_cast<std::uint32_t>(used_)};
  made = true;
  if (used_ == infos_.size()) infos_.emplace_back();
  // An entry used before keeps its room for the element's start tag.
  ElementInfo& info = infos_[used_++];
  info.name.clear();
  info.attributes.clear();
  info.classes.clear();
  info.language.clear();
  info.languageKnown = false;
  return info;
}

const ElementInfo& ComponentElementView::Info(const TagNode* n) const {
  if (n == last_) return *lastInfo_;
  bool made;
  ElementInfo& info = Entry(n, made);
  if (made) ParseStartTag(n->raw.view(), info);
  last_ = n;
  lastInfo_ = &info;
  return info;
}

css::ElementView::Handle ComponentElementView::Parent(Handle e) const { return Node(e)->parent; }

const ComponentElementView::Siblings* ComponentElementView::SiblingsOf(const TagNode* child) const {
  const TagNode* p = child->parent;
  if (!p) return nullptr;
  auto it = siblings_.find(p);
  if (it != siblings_.end()) return &it->second;
  if (siblingCount_ > (std::size_t{1} << 20)) {
    siblings_.clear();
    siblingCount_ = 0;
  }
  Siblings& s = siblings_[p];
  for (const TagNode* c = p->firstChild; c; c = c->next) {
    if (!IsElement(c)) continue;
    s.place.emplace(c, static_cast<std::uint32_t>(s.elements.size()));
    s.elements.push_back(c);
  }
  siblingCount_ += s.elements.size();
  const std::size_t n = s.elements.size();
  s.ofType.resize(n);
  s.ofTypeFromEnd.resize(n);
  std::unordered_map<std::string, std::uint32_t> count;
  for (std::size_t i = 0; i < n; ++i) s.ofType[i] = ++count[Info(s.elements[i]).name];
  count.clear();
  for (std::size_t i = n; i-- > 0;) s.ofTypeFromEnd[i] = ++count[Info(s.elements[i]).name];
  return &s;
}

css::ElementView::Handle ComponentElementView::PreviousElement(Handle e) const {
  const Siblings* s = SiblingsOf(Node(e));
  if (!s) return nullptr;
  auto it = s->place.find(Node(e));
  if (it == s->place.end() || it->second == 0) return nullptr;
  return s->elements[it->second - 1];
}

long ComponentElementView::SiblingIndex(Handle e, bool fromEnd, bool ofType) const {
  const Siblings* s = SiblingsOf(Node(e));
  if (!s) return 1;
  auto it = s->place.find(Node(e));
  if (it == s->place.end()) return 1;
  const std::uint32_t i = it->second;
  if (ofType) return fromEnd ? s->ofTypeFromEnd[i] : s->ofType[i];
  return fromEnd ? static_cast<long>(s->elements.size() - i) : static_cast<long>(i) + 1;
}

css::ElementView::Handle ComponentElementView::NextElement(Handle e) const {
  for (const TagNode* c = Node(e)->next; c; c = c->next)
    if (IsElement(c)) return c;
  return nullptr;
}

css::ElementView::Handle ComponentElementView::FirstChildElement(Handle e) const {
  for (const TagNode* c = Node(e)->firstChild; c; c = c->next)
    if (IsElement(c)) return c;
  return nullptr;
}

const std::string* ComponentElementView::Attribute(Handle e, std::string_view name) const {
  const ElementInfo& info = Info(Node(e));
  for (const auto& a : info.attributes)
    if (a.first == name) return &a.second;
  return nullptr;
}

bool ComponentElementView::HasTextChildren(Handle e) const {
  const TagNode* n = Node(e);
  if (!n->text.empty()) return true;
  for (const TagNode* c = n->firstChild; c; c = c->next)
    if (!c->tail.empty()) return true;
  return false;
}

std::string_view ComponentElementView::Language(Handle e) const {
  const ElementInfo& info = Info(Node(e));
  if (info.languageKnown) return info.language;
  std::string lang;
  for (const TagNode* n = Node(e); n; n = n->parent) {
    if (const std::string* l = Attribute(n, "lang")) {
      lang = *l;
      break;
    }
    if (const std::string* l = Attribute(n, "xml:lang")) {
      lang = *l;
      break;
    }
  }
  bool made;
  ElementInfo& mine = Entry(Node(e), made);  // Info made it above
  mine.language = std::move(lang);
  mine.languageKnown = true;
  return mine.language;
}

bool ComponentElementView::IsLink(Handle e) const {
  const std::string_view name = Info(Node(e)).name;
  return (name == "a" || name == "area" || name == "link") && Attribute(e, "href");
}

}  // namespace ps

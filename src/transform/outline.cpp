#include "transform/outline.h"

#include <atomic>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "model/tables.h"
#include "transform/share_children.h"
#include "writer/writer.h"

namespace ps {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The number in "H1" to "H6".
int HeadingLevel(const TagNode* heading) {
  const char* name = heading->def->name;
  return std::strlen(name) == 2 ? name[1] - '0' : 6;
}

struct Heading {
  TagNode* node;
  int level;
};

// The headings in document order, and every id the writer will write with the
// first element that carries it.
struct DocumentIds {
  std::vector<Heading> headings;
  std::unordered_map<std::string, const TagNode*> firstWithId;
};

// What one part of the document adds, in document order.
struct PartIds {
  std::vector<Heading> headings;
  std::vector<std::pair<std::string, const TagNode*>> ids;
};

// A walk of a subtree in the writer's order, along the parent links, so
// that neither depth nor long sibling chains use the stack. At `split` the
// walk hands the element's children to `atSplit` and goes on after them.
// It ends early once `done` says so.
template <class Visit, class AtSplit, class Done>
void WalkInOrder(const TagNode* top, const TagNode* split, Visit visit, AtSplit atSplit, Done done) {
  const TagNode* n = top;
  while (n && !done()) {
    visit(n);
    if (n == split && n->firstChild) {
      atSplit(n);
    } else if (n->firstChild) {
      n = n->firstChild;
      continue;
    }
    while (n != top && !n->next) n = n->parent;
    n = n == top ? nullptr : n->next;
  }
}

template <class Visit, class AtSplit>
void WalkInOrder(const TagNode* top, const TagNode* split, Visit visit, AtSplit atSplit) {
  WalkInOrder(top, split, visit, atSplit, [] { return false; });
}

// A large tree's walk shares the children of `split` with a helper.
DocumentIds CollectIds(Context& ctx, const TagNode* first, OutputEncoding enc, const TagNode* split) {
  DocumentIds ids;
  const TagSet headingTags(kHeadingTags);
  auto noteInto = [&headingTags, enc](PartIds& part) {
    return [&part, &headingTags, enc](const TagNode* n) {
      if (const TagProperty* id = WrittenIdProperty(n)) part.ids.emplace_back(IdKey(id->value.view(), enc), n);
      if (headingTags.Has(n)) part.headings.push_back({const_cast<TagNode*>(n), HeadingLevel(n)});
    };
  };
  auto join = [&ids](PartIds& part) {
    for (auto& [key, n] : part.ids) ids.firstWithId.try_emplace(std::move(key), n);
    ids.headings.insert(ids.headings.end(), part.headings.begin(), part.headings.end());
    part = PartIds();
  };
  PartIds here;  // this walk's since the last join
  auto share = [&](const TagNode* parent) {
    join(here);
    std::vector<const TagNode*> kids;
    for (const TagNode* c = parent->firstChild; c; c = c->next) kids.push_back(c);
    std::vector<PartIds> parts(kids.size());
    ShareChildren(ctx, kids.size(), [&](Context&, std::size_t k, bool) {
      WalkInOrder(kids[k], nullptr, noteInto(parts[k]), [](const TagNode*) {});
    });
    for (PartIds& part : parts) join(part);
  };
  for (const TagNode* top = first; top; top = top->next) WalkInOrder(top, split, noteInto(here), share);
  join(here);
  return ids;
}

// Whether the document has a heading at all: without one there are no
// bookmarks, and the ids need not be collected. A large tree's walk shares
// the children of `split` with a helper, as CollectIds does; either walk
// ends once a heading has turned up.
bool HasHeading(Context& ctx, const TagNode* first, const TagNode* split) {
  const TagSet headingTags(kHeadingTags);
  std::atomic<bool> found{false};
  auto note = [&](const TagNode* n) {
    if (headingTags.Has(n)) found.store(true, std::memory_order_relaxed);
  };
  auto done = [&found] { return found.load(std::memory_order_relaxed); };
  auto share = [&](const TagNode* parent) {
    std::vector<const TagNode*> kids;
    for (const TagNode* c = parent->firstChild; c; c = c->next) kids.push_back(c);
    ShareChildren(ctx, kids.size(), [&](Context&, std::size_t k, bool) {
      WalkInOrder(kids[k], nullptr, note, [](const TagNode*) {}, done);
    });
  };
  for (const TagNode* top = first; top && !done(); top = top->next) WalkInOrder(top, split, note, share, done);
  return done();
}

// The id a heading's bookmark leads to: its own when it keeps it, otherwise
// a new one. New ids are "ps-heading-" and a number, skipping every number
// whose id any element of the document (or an earlier new id) has, so none
// can clash with an author's id whatever it is.
std::string TargetOf(Context& ctx, TagNode* heading, DocumentIds& ids, unsigned& counter, OutputEncoding enc) {
  TagProperty* own = const_cast<TagProperty*>(WrittenIdProperty(heading));
  if (own) {
    const auto it = ids.firstWithId.find(IdKey(own->value.view(), enc));
    if (it != ids.firstWithId.end() && it->second == heading) return std::string(own->value.view());
  }
  std::string id;
  do id = "ps-heading-" + std::to_string(++counter);
  while (!ids.firstWithId.try_emplace(id, heading).second);
  // An id lost to an earlier element is replaced: the writer writes only the
  // first id attribute of an element.
  if (own)
    own->value.assign(id);
  else
    SetProperty(ctx, heading, "XML-ID", std::string_view(id));
  return id;
}

TagNode* AddTextChild(TagNode* parent, const char* tag, std::string_view text) {
  TagNode* n = AppendChild(parent, tag);
  if (n) n->text.assign(text);
  return n;
}

void BuildBookmarks(Context& ctx, TagNode* masterSet, DocumentIds& ids,
                    const std::vector<std::string>& titles, OutputEncoding enc) {
  TagNode* tree = InsertAfter(masterSet, "XML-BOOKMARK-TREE");
  if (!tree) {
    ctx.msg().write("Internal Structure Error !!!\n");
    return;
  }
  tree->text.assign("\r\n\t\t");
  tree->tail.assign("\r\n\t");
  // The open bookmarks by level: a heading goes under the nearest earlier
  // one of a higher level (a lower number), or at the top.
  std::vector<std::pair<int, TagNode*>> open;
  unsigned counter = 0;
  TagNode* lastTop = nullptr;
  for (std::size_t i = 0; i < ids.headings.size(); ++i) {
    const Heading& h = ids.headings[i];
    while (!open.empty() && open.back().first >= h.level) open.pop_back();
    TagNode* parent = open.empty() ? tree : open.back().second;
    TagNode* mark = AppendChild(parent, "XML-BOOKMARK");
    if (!mark) continue;
    SetProperty(ctx, mark, "XML-BOOKMARK-DESTINATION", std::string_view(TargetOf(ctx, h.node, ids, counter, enc)));
    if (TagNode* title = AddTextChild(mark, "XML-BOOKMARK-TITLE", titles[i]))
      if (i + 1 < ids.headings.size() && ids.headings[i + 1].level > h.level) title->tail.assign("\r\n\t\t");
    mark->tail.assign("\r\n\t\t");
    if (parent == tree) lastTop = mark;
    open.emplace_back(h.level, mark);
  }
  if (lastTop) lastTop->tail.assign("\r\n\t");
}

// XMP metadata, where FOP takes the PDF's title from.
void BuildDeclarations(Context& ctx, TagNode* masterSet, std::string_view title, std::string_view language) {
  TagNode* declarations = InsertAfter(masterSet, "XML-DECLARATIONS");
  TagNode* meta = declarations ? AppendChild(declarations, "XML-XMPMETA") : nullptr;
  TagNode* rdf = meta ? AppendChild(meta, "XML-RDF") : nullptr;
  TagNode* description = rdf ? AppendChild(rdf, "XML-RDF-DESCRIPTION") : nullptr;
  if (!description) {
    ctx.msg().write("Internal Structure Error !!!\n");
    return;
  }
  declarations->tail.assign("\r\n\t");
  SetProperty(ctx, meta, "XML-NAMESPACE-x", "adobe:ns:meta/");
  SetProperty(ctx, rdf, "XML-NAMESPACE-rdf", "http://www.w3.org/1999/02/22-rdf-syntax-ns#");
  SetProperty(ctx, description, "XML-NAMESPACE-dc", "http://purl.org/dc/elements/1.1/");
  SetProperty(ctx, description, "XML-RDF-ABOUT", "");
  AddTextChild(description, "XML-DC-TITLE", title);
  AddTextChild(description, "XML-DC-LANGUAGE", language);
}

}  // namespace

std::string CollapseWhiteSpace(std::string_view text) {
  std::string out;
  bool blank = false;
  for (char c : text) {
    if (IsBlank(c)) {
      blank = true;
      continue;
    }
    if (blank && !out.empty()) out.push_back(' ');
    blank = false;
    out.push_back(c);
  }
  return out;
}

std::string PrintedText(const TagNode* node) {
  std::string raw(node->text.view());
  // An element written as a block (a line break among them) parts the words
  // around it; markup of raw text (comments) prints nothing.
  auto parts = [](const TagNode* n) { return n->def->outputName && std::strncmp(n->def->outputName, "fo:block", 8) == 0; };
  const TagNode* n = node->firstChild;
  while (n) {
    if (parts(n)) raw.push_back(' ');
    if (!n->def->rawTag) raw.append(n->text.view());
    if (n->firstChild) {
      n = n->firstChild;
      continue;
    }
    while (n) {
      if (parts(n)) raw.push_back(' ');
      raw.append(n->tail.view());
      if (n->next) {
        n = n->next;
        break;
      }
      n = n->parent == node ? nullptr : n->parent;
    }
  }
  return CollapseWhiteSpace(raw);
}

// A page with neither TITLE nor heading is titled by its file's name, as a
// browser does; only a plain ASCII name, which reads right in any encoding.
std::string FileNameTitle(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  for (char c : name)
    if (c < 0x20 || c > 0x7E) return std::string();
  return std::string(name);
}

void BuildOutline(Context& ctx, TagNode* html, TagNode* masterSet, const TagNode* split) {
  if (!html || !masterSet) return;
  const OutputEncoding enc = ctx.utf8Output ? OutputEncoding::Utf8 : OutputEncoding::Latin1;
  const TagNode* first = ctx.documentRoot ? ctx.documentRoot : html;
  DocumentIds ids = HasHeading(ctx, first, split) ? CollectIds(ctx, first, enc, split) : DocumentIds{};
  std::vector<std::string> titles;
  titles.reserve(ids.headings.size());
  for (const Heading& h : ids.headings) titles.push_back(PrintedText(h.node));

  // Inserted right after the master set, so the declarations go in last.
  if (!ids.headings.empty()) BuildBookmarks(ctx, masterSet, ids, titles, enc);
  std::string title = CollapseWhiteSpace(ctx.capturedTitle.view());
  for (std::size_t i = 0; title.empty() && i < titles.size(); ++i) title = titles[i];
  if (title.empty()) title = FileNameTitle(ctx.inputName);
  const TagProperty* language = FindProperty(html, "XML-ROOT-LANGUAGE");
  if (!title.empty()) BuildDeclarations(ctx, masterSet, title, language ? language->value.view() : "");
}

}  // namespace ps

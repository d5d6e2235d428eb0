#include "transform/page_frame.h"

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <vector>

#include "model/handlers.h"
#include "style/page.h"
#include "transform/outline.h"

namespace ps {

namespace {

using css::ContentPiece;
using css::MarginBox;
using css::PageBox;
using css::PageSetup;
using css::Slot;

std::string Pt(double pt) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%.2f", pt);
  std::string s(buf);
  while (s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  return s + "pt";
}

// The distinct pages of the setup: the first, left and right page, each
// naming the master that prints it.
struct Masters {
  std::vector<const PageBox*> boxes;  // distinct
  std::vector<std::string> names;
  int of[3] = {0, 0, 0};  // first, left, right: index into boxes
  bool single() const { return boxes.size() == 1; }
};

Masters DistinctMasters(const PageSetup& s) {
  static constexpr const char* kNames[] = {"first-page", "left-page", "right-page"};
  const PageBox* pages[] = {&s.first, &s.left, &s.right};
  Masters m;
  for (int v = 0; v < 3; ++v) {
    int found = -1;
    for (std::size_t i = 0; i < m.boxes.size() && found < 0; ++i)
      if (*m.boxes[i] == *pages[v]) found = static_cast<int>(i);
    if (found < 0) {
      found = static_cast<int>(m.boxes.size());
      m.boxes.push_back(pages[v]);
      m.names.push_back(kNames[v]);
    }
    m.of[v] = found;
  }
  // One master keeps the name the converter's own frame gives its master.
  if (m.single()) m.names[0] = "first";
  return m;
}

constexpr const char* kSequenceMaster = "pages";

std::string RegionName(const Masters& m, std::size_t i, bool top) {
  if (m.single()) return top ? "xsl-region-before" : "xsl-region-after";
  return m.names[i] + (top ? "-before" : "-after");
}

void Fail(Context& ctx) { ctx.msg().write("Internal Structure Error !!!\n"); }

// A node linked as the parent's last child, whatever the parent's row
// admits: the margin boxes hold what only this module puts there.
TagNode* Link(TagNode* parent, const char* tag) {
  const TagDef* def = FindTagDef(nullptr, tag);
  if (!def || !parent) return nullptr;
  TagNode* n = NewNode(def);
  LinkLastChild(parent, n);
  return n;
}

void AppendTextAfter(TagNode* box, TagNode* last, std::string_view text) {
  (last ? last->tail : box->text).append(text);
}

// Whether any element of the flow sets the running string (else only the
// document's TITLE can).
bool SetInFlow(const PageSetup& s, std::string_view name) {
  for (const css::StringSet& set : s.stringSets)
    if (set.name == name && set.element != "title") return true;
  return false;
}

const css::StringSet* SetByTitle(const PageSetup& s, std::string_view name) {
  const css::StringSet* found = nullptr;
  for (const css::StringSet& set : s.stringSets)
    if (set.name == name && set.element == "title") found = &set;
  return found;
}

// A string-set value for an element whose text is `elementText` (in the
// tree's form already).
std::string StringValue(const css::Content& value, std::string_view elementText) {
  std::string out;
  for (const ContentPiece& p : value)
    out += p.kind == ContentPiece::Kind::ElementText ? std::string(elementText) : SheetTextAsMarkup(p.text);
  return out;
}

// Marker class names are XML names: the string's name with anything else
// replaced.
std::string MarkerClass(std::string_view name) {
  std::string out = "string-";
  for (char c : name) {
    const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
    out.push_back(keep ? c : '_');
  }
  return out;
}

const char* RetrievePosition(ContentPiece::Position p) {
  // FO has no value that is empty where the string is set (first-except),
  // nor one for the value at the page's very top (start): both take the
  // first value on the page, else the one carried over.
  return p == ContentPiece::Position::Last ? "last-starting-within-page" : "first-including-carryover";
}

void FillBox(Context& ctx, TagNode* box, const MarginBox& m, const char* defaultAlign) {
  const char* align = defaultAlign;
  switch (m.align) {
    case css::BoxAlign::Left: align = "left"; break;
    case css::BoxAlign::Center: align = "center"; break;
    case css::BoxAlign::Right: align = "right"; break;
    case css::BoxAlign::Default: break;
  }
  SetProperty(ctx, box, "XML-BOX-TEXT-ALIGN", align);
  // As small as the converter's own running title, unless the sheet says.
  SetProperty(ctx, box, "XML-BOX-FONT-SIZE", m.fontSizePt > 0 ? Pt(m.fontSizePt) : std::string("10pt"));
  if (m.hasColor) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "#%06x", static_cast<unsigned>(m.color & 0xFFFFFF));
    SetProperty(ctx, box, "XML-BOX-COLOR", hex);
  }
  const PageSetup& setup = *ctx.page;
  TagNode* last = nullptr;
  for (const ContentPiece& p : m.content) {
    switch (p.kind) {
      case ContentPiece::Kind::Text:
      case ContentPiece::Kind::ElementText:
        AppendTextAfter(box, last, SheetTextAsMarkup(p.text));
        break;
      case ContentPiece::Kind::PageNumber:
        if (TagNode* n = Link(box, "XML-PAGE-NUMBER")) last = n;
        break;
      case ContentPiece::Kind::PageCount:
        if (TagNode* n = Link(box, "XML-PAGE-NUMBER-CITATION")) {
          SetProperty(ctx, n, "XML-REF-ID", kLastPageId);
          last = n;
        }
        break;
      case ContentPiece::Kind::String:
        if (SetInFlow(setup, p.text)) {
          if (TagNode* n = Link(box, "XML-RETRIEVE-MARKER")) {
            SetProperty(ctx, n, "XML-RETRIEVE-CLASS-NAME", MarkerClass(p.text));
            SetProperty(ctx, n, "XML-RETRIEVE-POSITION", RetrievePosition(p.position));
            last = n;
          }
        } else if (const css::StringSet* set = SetByTitle(setup, p.text)) {
          // The title is set before the first page and never changes.
          AppendTextAfter(box, last, StringValue(set->value, CollapseWhiteSpace(ctx.capturedTitle.view())));
        }
        break;
    }
  }
}

// One row of margin boxes: a block for one box; a table of equal columns
// for more, so that the middle box stays in the middle.
void FillRow(Context& ctx, TagNode* region, const PageBox& page, bool top) {
  const int base = top ? 0 : 3;
  const MarginBox* boxes[3] = {&page.boxes[base], &page.boxes[base + 1], &page.boxes[base + 2]};
  static constexpr const char* kAlign[] = {"left", "center", "right"};
  int given = 0, only = 0;
  for (int i = 0; i < 3; ++i)
    if (boxes[i]->given) {
      ++given;
      only = i;
    }
  if (given == 1) {
    if (TagNode* box = Link(region, "XML-BOX")) FillBox(ctx, box, *boxes[only], kAlign[only]);
    return;
  }
  TagNode* table = Link(region, "XML-BOX-TABLE");
  if (!table) return Fail(ctx);
  SetProperty(ctx, table, "XML-BOX-TABLE-LAYOUT", "fixed");
  SetProperty(ctx, table, "XML-BOX-TABLE-WIDTH", "100%");
  const bool middle = boxes[1]->given;
  for (int i = 0; i < 3; ++i)
    if (i != 1 || middle)
      if (TagNode* col = Link(table, "XML-TABLE-COLUMN"))
        SetProperty(ctx, col, "XML-TABLE-COLUMN-WIDTH", "proportional-column-width(1)");
  TagNode* row = Link(Link(table, "XML-BOX-TABLE-BODY"), "XML-BOX-ROW");
  if (!row) return Fail(ctx);
  for (int i = 0; i < 3; ++i) {
    if (i == 1 && !middle) continue;
    TagNode* box = Link(Link(row, "XML-BOX-CELL"), "XML-BOX");
    if (!box) return Fail(ctx);
    FillBox(ctx, box, *boxes[i], kAlign[i]);
  }
}

TagNode* NewRegion(Context& ctx, TagNode* body, const std::string& flowName) {
  TagNode* prev = PreviousSibling(body);
  TagNode* region = prev ? InsertAfter(prev, "XML-STATIC-CONTENT")
                         : (body->parent && body->parent->firstChild == body ? PrependChild(body->parent, "XML-STATIC-CONTENT")
                                                                            : nullptr);
  if (!region) {
    Fail(ctx);
    return nullptr;
  }
  SetProperty(ctx, region, "BODY-XML-FLOW-NAME", flowName);
  region->text.assign("\r\n");
  region->tail.assign("\r\n\r\n");
  return region;
}

// A running text of the document (TITLE, FOOTER) where the sheets give its
// row no box.
void FillWithText(Context& ctx, TagNode* region, const Text& captured) {
  if (TagNode* box = Link(region, "XML-BOX")) {
    SetProperty(ctx, box, "XML-BOX-FONT-SIZE", "10pt");
    box->text = Text::Copy(captured);
  }
}

}  // namespace

bool StyledPage(const Context& ctx) { return ctx.page && ctx.page->given; }

const char* StyledMasterReference(const Context& ctx) {
  return DistinctMasters(*ctx.page).single() ? "first" : kSequenceMaster;
}

void BuildStyledMasters(Context& ctx, TagNode* set) {
  const Masters m = DistinctMasters(*ctx.page);
  for (std::size_t i = 0; i < m.boxes.size(); ++i) {
    const PageBox& b = *m.boxes[i];
    TagNode* master = AppendChild(set, "XML-SIMPLE-PAGE-MASTER");
    if (!master) return Fail(ctx);
    master->text.assign("\r\n\t\t\t");
    master->tail.assign("\r\n\t\t");
    SetProperty(ctx, master, "XML-SIMPLE-PAGE-MASTER-NAME", m.names[i]);
    SetProperty(ctx, master, "XML-PAGE-HEIGHT", Pt(b.heightPt));
    SetProperty(ctx, master, "XML-PAGE-WIDTH", Pt(b.widthPt));
    // The top and bottom margins belong to the regions of the margin boxes.
    SetProperty(ctx, master, "XML-MARGIN-TOP", "0pt");
    SetProperty(ctx, master, "XML-MARGIN-BOTTOM", "0pt");
    SetProperty(ctx, master, "XML-MARGIN-LEFT", Pt(b.marginLeftPt));
    SetProperty(ctx, master, "XML-MARGIN-RIGHT", Pt(b.marginRightPt));
    TagNode* body = AppendChild(master, "XML-REGION-BODY");
    TagNode* before = AppendChild(master, "XML-REGION-BEFORE");
    TagNode* after = AppendChild(master, "XML-REGION-AFTER");
    if (!body || !before || !after) return Fail(ctx);
    SetProperty(ctx, body, "XML-MARGIN-TOP", Pt(b.marginTopPt));
    SetProperty(ctx, body, "XML-MARGIN-BOTTOM", Pt(b.marginBottomPt));
    body->tail.assign("\r\n\t\t\t");
    // Margin boxes stand in the middle of their margin, as on a browser's page.
    SetProperty(ctx, before, "XML-REGION-EXTENT", Pt(b.marginTopPt));
    SetProperty(ctx, before, "XML-DISPLAY-ALIGN", "center");
    before->tail.assign("\r\n\t\t\t");
    SetProperty(ctx, after, "XML-REGION-EXTENT", Pt(b.marginBottomPt));
    SetProperty(ctx, after, "XML-DISPLAY-ALIGN", "center");
    after->tail.assign("\r\n\t\t");
    if (!m.single()) {
      SetProperty(ctx, before, "XML-REGION-NAME", RegionName(m, i, true));
      SetProperty(ctx, after, "XML-REGION-NAME", RegionName(m, i, false));
    }
  }
  if (!m.single()) {
    // The first page is a right page; FOP takes the first alternative that fits.
    TagNode* seq = AppendChild(set, "XML-PAGE-SEQUENCE-MASTER");
    TagNode* alternatives = AppendChild(seq, "XML-PAGE-ALTERNATIVES");
    if (!seq || !alternatives) return Fail(ctx);
    SetProperty(ctx, seq, "XML-SEQUENCE-MASTER-NAME", kSequenceMaster);
    seq->tail.assign("\r\n\t\t");
    static constexpr const char* kCondition[][2] = {
        {"XML-PAGE-POSITION", "first"}, {"XML-ODD-OR-EVEN", "even"}, {"XML-ODD-OR-EVEN", "odd"}};
    for (int v = 0; v < 3; ++v) {
      TagNode* ref = AppendChild(alternatives, "XML-CONDITIONAL-REFERENCE");
      if (!ref) return Fail(ctx);
      SetProperty(ctx, ref, "XML-MASTER-REFERENCE", m.names[m.of[v]]);
      SetProperty(ctx, ref, kCondition[v][0], kCondition[v][1]);
    }
  }
  if (set->lastChild) set->lastChild->tail.assign("\r\n\t");
}

void BuildStyledRegions(Context& ctx, TagNode* body) {
  const Masters m = DistinctMasters(*ctx.page);
  // A row that has a box on some page is the sheet's on every page (a
  // box set to none on the first page leaves it empty there).
  bool sheetRow[2] = {false, false};
  for (const PageBox* b : m.boxes)
    for (const bool top : {true, false}) sheetRow[top] |= b->AnyBox(top);
  bool titleUsed = false, footerUsed = false;
  for (std::size_t i = 0; i < m.boxes.size(); ++i) {
    for (const bool top : {true, false}) {
      const PageBox& b = *m.boxes[i];
      const Text& captured = top ? ctx.capturedTitle : ctx.capturedFooter;
      if (sheetRow[top] ? !b.AnyBox(top) : !captured.has()) continue;
      TagNode* region = NewRegion(ctx, body, RegionName(m, i, top));
      if (!region) return;
      if (sheetRow[top]) {
        FillRow(ctx, region, b, top);
      } else {
        FillWithText(ctx, region, captured);
        (top ? titleUsed : footerUsed) = true;
      }
    }
  }
  if (titleUsed) ctx.msg().printf("Using Title \"%s\"\n", ctx.capturedTitle.c_str());
  if (footerUsed) ctx.msg().printf("Using Footer \"%s\"\n", ctx.capturedFooter.c_str());
}

void PlaceStringMarkers(Context& ctx, TagNode* root) {
  std::vector<const css::StringSet*> sets;
  for (const css::StringSet& s : ctx.page->stringSets)
    if (s.element != "title") sets.push_back(&s);
  if (sets.empty() || !root) return;
  const TagDef* markerDef = FindTagDef(nullptr, "XML-MARKER");
  if (!markerDef) return Fail(ctx);
  // Depth first without recursion; a node's markers go in front of its
  // children, and the walk goes on behind them.
  TagNode* n = root->firstChild;
  while (n) {
    const std::string_view name = n->def && n->def->name ? n->def->name : "";
    TagNode* down = n->firstChild;
    if (name == "XML-STATIC-CONTENT" || name == "HEAD") {
      down = nullptr;  // markers stand in the flow only
    } else if (n->def && n->def->outputName && std::string_view(n->def->outputName) == "fo:block" &&
               !name.starts_with("XML-")) {
      std::string element(name);
      for (char& c : element)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
      std::vector<TagNode*> markers;
      std::string printed;
      for (const css::StringSet* s : sets) {
        if (s->element != element) continue;
        if (markers.empty()) printed = PrintedText(n);
        TagNode* marker = NewNode(markerDef);
        marker->parent = n;
        SetProperty(ctx, marker, "XML-MARKER-CLASS-NAME", MarkerClass(s->name));
        marker->text.assign(StringValue(s->value, printed));
        markers.push_back(marker);
      }
      if (!markers.empty()) {
        // The node's leading text follows its markers.
        markers.back()->tail.take(n->text);
        for (std::size_t i = markers.size(); i-- > 0;) {
          markers[i]->next = n->firstChild;
          if (!n->lastChild) n->lastChild = markers[i];
          n->firstChild = markers[i];
        }
      }
    }
    if (down) {
      n = down;
      continue;
    }
    while (n && !n->next) n = n->parent == root ? nullptr : n->parent;
    if (n) n = n->next;
  }
}

double StyledContentWidthCm(const Context& ctx) {
  const PageSetup& s = *ctx.page;
  double pt = s.first.widthPt - s.first.marginLeftPt - s.first.marginRightPt;
  for (const PageBox* b : {&s.left, &s.right}) pt = std::min(pt, b->widthPt - b->marginLeftPt - b->marginRightPt);
  return pt * 2.54 / 72;
}

std::string SheetTextAsMarkup(std::string_view utf8) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size();) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      if (c == '&')
        out += "&amp;";
      else if (c == '<')
        out += "&lt;";
      else if (c == '>')
        out += "&gt;";
      else if (c >= 0x20 || c == '\t' || c == '\n')
        out.push_back(static_cast<char>(c));
      ++i;
      continue;
    }
    // The tokenizer leaves only well-formed UTF-8; anything else is dropped.
    const int len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
    if (len == 0 || i + len > utf8.size()) {
      ++i;
      continue;
    }
    char32_t cp = c & (0x3F >> (len - 1));
    for (int k = 1; k < len; ++k) cp = cp << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    char ref[16];
    std::snprintf(ref, sizeof ref, "&#%u;", static_cast<unsigned>(cp));
    out += ref;
    i += len;
  }
  return out;
}

}  // namespace ps

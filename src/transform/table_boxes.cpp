#include "transform/table_boxes.h"

#include <algorithm>
#include <cstdio>
#include <memory_resource>
#include <string>

#include "style/computed.h"
#include "transform/names.h"
#include "transform/stack_arena.h"
#include "transform/styled.h"
#include "transform/widths.h"

namespace ps {

using css::Computed;

namespace {

// How far up a table looks for the border model and spacing it inherits.
constexpr int kInheritDepth = 64;

struct BoxNames {
  PropertyName collapse{"XML-CSS-BORDER-COLLAPSE"};
  PropertyName separationIpd{"XML-CSS-BORDER-SEPARATION-IPD"};
  PropertyName separationBpd{"XML-CSS-BORDER-SEPARATION-BPD"};
  PropertyName border[4] = {PropertyName("XML-CSS-BORDER-TOP"), PropertyName("XML-CSS-BORDER-RIGHT"),
                            PropertyName("XML-CSS-BORDER-BOTTOM"), PropertyName("XML-CSS-BORDER-LEFT")};
  PropertyName padding[4] = {PropertyName("XML-CSS-PADDING-TOP"), PropertyName("XML-CSS-PADDING-RIGHT"),
                             PropertyName("XML-CSS-PADDING-BOTTOM"), PropertyName("XML-CSS-PADDING-LEFT")};
  PropertyName allBorders{"XML-CSS-BORDER"};
  PropertyName allPadding{"XML-CSS-PADDING"};
  PropertyName displayAlign{"XML-CSS-DISPLAY-ALIGN"};
  PropertyName width{"XML-CSS-TABLE-WIDTH"};
  PropertyName background{"XML-CSS-BACKGROUND-COLOR"};
  PropertyName bgcolor{"BGCOLOR"};
  PropertyName cellPadding{"CELLPADDING"};
};

const BoxNames& Box() {
  static const BoxNames names;
  return names;
}

const Computed* Entry(const Context& ctx, const TagNode* n) { return ctx.styles ? ctx.styles->Find(n) : nullptr; }

std::string Points(double pt) { return FormatPoints(pt); }


void WriteBorders(Context& ctx, TagNode* node, const Computed& c) {
  static constexpr const char* kStyles[] = {"none",   "hidden", "solid", "dotted", "dashed",
                                            "double", "groove", "ridge", "inset",  "outset"};
  auto alike = [&c](int a, int b) {
    const auto x = static_cast<css::Side>(a), y = static_cast<css::Side>(b);
    return c.UsedBorder(x) == c.UsedBorder(y) && c.borderStyle[a] == c.borderStyle[b] &&
           c.UsedBorderColor(x) == c.UsedBorderColor(y);
  };
  // "0.75pt inset #808080" is longer than a string keeps in place, and every
  // cell has one: it is made on the stack.
  StackArena<256> arena;
  auto border = [&](int s) {
    std::pmr::string text(&arena);
    const auto side = static_cast<css::Side>(s);
    text.append(Points(c.UsedBorder(side))).append(" ").append(kStyles[static_cast<int>(c.borderStyle[s])]);
    text.append(" ").append(FormatRgb(c.UsedBorderColor(side)));
    return text;  // moved: a copy would take the default allocator
  };
  if (c.UsedBorder(css::kTop) > 0 && alike(0, 1) && alike(0, 2) && alike(0, 3)) {
    SetProperty(ctx, node, Box().allBorders, std::string_view(border(0)));
    return;
  }
  // Each property set goes first: the sides are set from the last. Sides
  // mostly look alike: a side like the one before takes its text.
  std::pmr::string value(&arena);
  int made = -1;
  for (int s = 3; s >= 0; --s) {
    const auto side = static_cast<css::Side>(s);
    const double w = c.UsedBorder(side);
    if (w <= 0) continue;
    if (made < 0 || w != c.UsedBorder(static_cast<css::Side>(made)) || c.borderStyle[s] != c.borderStyle[made] ||
        c.UsedBorderColor(side) != c.UsedBorderColor(static_cast<css::Side>(made))) {
      value = border(s);
      made = s;
    }
    SetProperty(ctx, node, Box().border[s], std::string_view(value));
  }
}

void WriteBackground(Context& ctx, TagNode* node, const Computed& c) {
  if (c.background) SetProperty(ctx, node, Box().background, FormatRgb(c.backgroundColor));
}

void Drop(TagNode* n, const PropertyName& name) {
  if (TagProperty* p = FindProperty(n, name)) {
    UnlinkProperty(n, p);
    FreeProperty(p);
  }
}

bool IsRowGroup(const TagNode* n) {
  return EqualsNoCase(n->def->name, "THEAD") || EqualsNoCase(n->def->name, "TBODY") ||
         EqualsNoCase(n->def->name, "TFOOT") || EqualsNoCase(n->def->name, "XML-TABLE-BODY");
}
bool IsRow(const TagNode* n) { return EqualsNoCase(n->def->name, "TR"); }
bool IsCell(const TagNode* n) { return EqualsNoCase(n->def->name, "TD") || EqualsNoCase(n->def->name, "TH"); }

}  // namespace

bool TableBoxesFromCss(const Context& ctx) { return ctx.styles != nullptr; }

TableModel TableModelOf(const Context& ctx, const TagNode* table) {
  TableModel m;
  if (!ctx.styles) return m;
  m.css = true;
  const Computed* c = Entry(ctx, table);
  if (c) {
    for (int s = 0; s < 4; ++s) m.border[s] = c->UsedBorder(static_cast<css::Side>(s));
  } else {
    const TagNode* a = table->parent;
    for (int i = 0; a && i < kInheritDepth && !c; ++i, a = a->parent) c = Entry(ctx, a);
  }
  if (c) {
    m.collapse = c->borderCollapse;
    m.spacingH = c->borderSpacingH;
    m.spacingV = c->borderSpacingV;
  }
  return m;
}

bool TableLayoutIsAutomatic(const Context& ctx, const TagNode* table) {
  if (!ctx.styles) return false;
  const Computed* c = Entry(ctx, table);
  return !(c && c->tableLayoutFixed);
}

bool CssGivenWidth(const Context& ctx, const TagNode* node, double* pt, double* percent) {
  const Computed* c = Entry(ctx, node);
  if (!c) return false;
  if (c->widthPercent >= 0) {
    *percent = c->widthPercent;
  } else if (c->width >= 0) {
    *pt = c->width;
  } else {
    return false;
  }
  return true;
}

double CssCellFrame(const Context& ctx, const TableModel& t, const TagNode* cell) {
  if (!t.css) return -1.0;
  double frame = 0.0;
  if (const Computed* c = Entry(ctx, cell)) {
    frame += c->padding[css::kLeft] + c->padding[css::kRight];
    if (t.collapse) {
      // Half of each collapsed border, which at the table's edges may be
      // the table's: the wider is counted on every cell.
      frame += (std::max(c->UsedBorder(css::kLeft), t.border[css::kLeft]) +
                std::max(c->UsedBorder(css::kRight), t.border[css::kRight])) / 2;
    } else {
      frame += c->UsedBorder(css::kLeft) + c->UsedBorder(css::kRight);
    }
  }
  // FOP gives each column half the spacing on either side.
  if (!t.collapse) frame += t.spacingH;
  return frame;
}

double CssTableFrame(const Context& ctx, const TagNode* table) {
  if (!ctx.styles) return 0.0;
  const TableModel t = TableModelOf(ctx, table);
  const double borders = t.border[css::kLeft] + t.border[css::kRight];
  return t.collapse ? borders / 2 : borders;
}

void DropHintedAttributes(Context&, TagNode* table) {
  Drop(table, Box().bgcolor);
  Drop(table, Box().cellPadding);
  auto row = [](TagNode* r) {
    Drop(r, Box().bgcolor);
    for (TagNode* cell = r->firstChild; cell; cell = cell->next)
      if (cell->def && IsCell(cell)) Drop(cell, Box().bgcolor);
  };
  // Rows as the reader left them: in row groups or right in the table.
  for (TagNode* c = table->firstChild; c; c = c->next) {
    if (!c->def) continue;
    if (IsRow(c)) {
      row(c);
    } else if (IsRowGroup(c)) {
      for (TagNode* r = c->firstChild; r; r = r->next)
        if (r->def && IsRow(r)) row(r);
    }
  }
}

void WriteTableBox(Context& ctx, TagNode* table) {
  if (!ctx.styles) return;
  const TableModel m = TableModelOf(ctx, table);
  // Each property set goes first: they are set from the last.
  if (const Computed* c = Entry(ctx, table)) {
    WriteBackground(ctx, table, *c);
    WriteBorders(ctx, table, *c);
  }
  if (!m.collapse && (m.spacingH > 0 || m.spacingV > 0)) {
    SetProperty(ctx, table, Box().separationBpd, Points(m.spacingV));
    SetProperty(ctx, table, Box().separationIpd, Points(m.spacingH));
  }
  SetProperty(ctx, table, Box().collapse, m.collapse ? "collapse" : "separate");
}

void SetTableWidth(Context& ctx, TagNode* table, double cm) { SetProperty(ctx, table, Box().width, FormatCm(cm)); }

void WriteRowBox(Context& ctx, TagNode* row) {
  if (const Computed* c = Entry(ctx, row)) WriteBackground(ctx, row, *c);
}

void WriteCellBox(Context& ctx, TagNode* cell) {
  const Computed* c = Entry(ctx, cell);
  if (!c) return;
  // Each property set goes first: they are set from the last.
  WriteBackground(ctx, cell, *c);
  const float* p = c->padding;
  if (p[0] > 0 && p[1] > 0 && p[0] == p[2] && p[1] == p[3]) {
    // One value for four sides alike, else top and bottom, then the sides.
    SetProperty(ctx, cell, Box().allPadding, p[0] == p[1] ? Points(p[0]) : Points(p[0]) + " " + Points(p[1]));
  } else {
    for (int s = 3; s >= 0; --s)
      if (p[s] > 0) SetProperty(ctx, cell, Box().padding[s], Points(p[s]));
  }
  WriteBorders(ctx, cell, *c);
  if (c->cellAlign == css::CellAlign::Middle)
    SetProperty(ctx, cell, Box().displayAlign, "center");
  else if (c->cellAlign == css::CellAlign::Bottom)
    SetProperty(ctx, cell, Box().displayAlign, "after");
}

}  // namespace ps

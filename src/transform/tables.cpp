#include "transform/tables.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <memory_resource>
#include <string_view>
#include <vector>

#include "model/handlers.h"
#include "transform/auto_layout.h"
#include "transform/names.h"
#include "transform/paragraphs.h"
#include "transform/stack_arena.h"
#include "transform/table_boxes.h"
#include "transform/widths.h"

namespace ps {

namespace {

// The counters have room for this many grid positions; positions further
// right are never covered.
constexpr std::int64_t kGridPositions = 100;
// A span costs a walk step (and a trail character) per position, so a
// hostile one is held to this many.
constexpr std::int64_t kSpanLimit = 1000;

// What printf("%*s", width, text) writes, without formatting: the grids
// write it per spanning cell, and a page of many tables has millions.
void WriteAligned(OutStream& out, int width, std::string_view text) {
  static constexpr std::string_view kSpaces = "                                ";
  const bool left = width < 0;
  const auto wide = static_cast<std::size_t>(left ? -static_cast<long long>(width) : width);
  std::size_t pad = wide > text.size() ? wide - text.size() : 0;
  if (left) out.write(text);
  for (; pad > 0; pad -= std::min(pad, kSpaces.size())) out.write(kSpaces.substr(0, std::min(pad, kSpaces.size())));
  if (!left) out.write(text);
}

// A message with one or two numbers in it, as printf's %i writes them.
void WriteNumbered(OutStream& out, std::string_view a, int x, std::string_view b, int y = 0,
                   std::string_view c = {}) {
  char digits[16];
  out.write(a);
  out.write(std::string_view(digits, static_cast<std::size_t>(std::to_chars(digits, digits + sizeof digits, x).ptr - digits)));
  out.write(b);
  if (c.empty()) return;
  out.write(std::string_view(digits, static_cast<std::size_t>(std::to_chars(digits, digits + sizeof digits, y).ptr - digits)));
  out.write(c);
}

// Per grid position: how many more rows a cell of an earlier row covers it.
class RowSpanCounters {
 public:
  std::int32_t At(std::int64_t j) const { return InRange(j) ? c_[static_cast<std::size_t>(j)] : 0; }
  void Set(std::int64_t j, std::int64_t v) {
    if (InRange(j))
      c_[static_cast<std::size_t>(j)] =
          static_cast<std::int32_t>(std::clamp<std::int64_t>(v, INT32_MIN, INT32_MAX));
  }
  // A cell spanning n columns covers them all in the rows below.
  void Spread(std::int64_t j, std::int64_t n) {
    const std::int32_t v = At(j);
    for (std::int64_t k = j + 1; k < j + n && k < kGridPositions; ++k) c_[static_cast<std::size_t>(k)] = v;
  }
  void Decrease(std::int64_t columns) {
    for (std::int64_t k = 0; k < columns && k < kGridPositions; ++k)
      if (c_[static_cast<std::size_t>(k)] > 0) --c_[static_cast<std::size_t>(k)];
  }

 private:
  static bool InRange(std::int64_t j) { return j >= 0 && j < kGridPositions; }
  std::array<std::int32_t, kGridPositions> c_{};
};

// The number of grid positions a cell occupies.
std::int64_t Span(Context& ctx, const TagNode* cell) {
  const TagProperty* p = FindProperty(cell, Names().colSpan);
  if (!p || p->value.null()) return 1;
  return std::clamp<std::int64_t>(a2l(ctx, p->value, 1), -kSpanLimit, kSpanLimit);
}

// The column passes treat every COLSPAN that does not read as exactly 1 as
// spanning, including one without digits.
bool IsSpanning(Context& ctx, const TagNode* cell) {
  const TagProperty* p = FindProperty(cell, Names().colSpan);
  return p && a2l(ctx, p->value, 0) != 1;
}

const TagDef* ColumnDef(const TagNode* table) { return FindTagDef(table, "XML-TABLE-COLUMN"); }

const TagDef* RowOf(const char* tag) { return FindTagDef(nullptr, tag); }

// The nodes after the table's leading columns whose children are rows, in
// the order the rows are shown: the header, the bodies, the footer.
// A table's row groups, listed on the stack while they are few: every one
// of a large page's tens of thousands of tables lists them three times.
struct RowGroups {
  StackArena<256> arena;
  std::pmr::vector<TagNode*> list{&arena};
};

void RowGroupsOf(const TagNode* table, std::int64_t* columns, RowGroups& out) {
  static const TagDef* const headerDef = RowOf("THEAD");
  static const TagDef* const footerDef = RowOf("TFOOT");
  static const TagDef* const captionDef = RowOf("CAPTION");
  const TagDef* columnDef = ColumnDef(table);
  std::int64_t count = 0;
  TagNode* n = table->firstChild;
  for (; n && n->def == columnDef; n = n->next) ++count;
  if (columns) *columns = count;
  std::pmr::vector<TagNode*>& groups = out.list;
  TagNode* footer = nullptr;
  for (; n; n = n->next) {
    if (n->def == footerDef)
      footer = n;
    else if (n->def == headerDef)
      groups.insert(groups.begin(), n);
    else if (n->def != captionDef)
      groups.push_back(n);
  }
  if (footer) groups.push_back(footer);
}

// Text that loses its node keeps its place: after what stood before it.
void AppendText(Text& into, Text& text) {
  if (text.null()) return;
  if (into.null()) {
    into.take(text);
  } else {
    into.append(text.view());
    text.reset();
  }
}

// Takes a node out of its parent's chain (prev is its previous sibling);
// its tail text stays where it stood.
void Unlink(TagNode* node, TagNode* prev) {
  TagNode* parent = node->parent;
  if (prev)
    prev->next = node->next;
  else
    parent->firstChild = node->next;
  if (parent->lastChild == node) parent->lastChild = prev;
  node->next = nullptr;
  node->parent = nullptr;
  AppendText(prev ? prev->tail : parent->text, node->tail);
}

// Links a node that is in no chain after prev (first when none).
void LinkAfter(TagNode* parent, TagNode* prev, TagNode* node) {
  node->parent = parent;
  TagNode* next = prev ? static_cast<TagNode*>(prev->next) : static_cast<TagNode*>(parent->firstChild);
  node->next = next;
  if (prev)
    prev->next = node;
  else
    parent->firstChild = node;
  if (!next) parent->lastChild = node;
}

// Puts a header or footer's rows, with its texts, in its own place in the
// table and frees it; returns the node that now ends that place.
TagNode* Dissolve(TagNode* group, TagNode* prev) {
  TagNode* table = group->parent;
  AppendText(prev ? prev->tail : table->text, group->text);
  TagNode* first = group->firstChild;
  TagNode* last = group->lastChild;
  if (!first) {
    Unlink(group, prev);
    FreeSubtree(group);
    return prev;
  }
  for (TagNode* c = first; c; c = c->next) c->parent = table;
  if (prev)
    prev->next = first;
  else
    table->firstChild = first;
  last->next = group->next;
  if (table->lastChild == group) table->lastChild = last;
  AppendText(last->tail, group->tail);
  group->firstChild = group->lastChild = nullptr;
  group->next = nullptr;
  FreeSubtree(group);
  return last;
}

// What an HTML table holds besides its rows and columns.
struct TableParts {
  TagNode* header = nullptr;
  TagNode* footer = nullptr;
  std::vector<TagNode*> captions;
};

// Takes the captions, the first header and the first footer out of the
// table, so that the columns and body are built from the rest. XSL-FO allows
// one header and one footer, each with rows: a later or empty one gives its
// rows to the body in its place. A table with no other rows gets them all
// back as its body, which XSL-FO requires. A column after the first row
// would end up among the rows, where FOP rejects it: it is dropped.
TableParts TakeParts(TagNode* table) {
  static const TagDef* const headerDef = RowOf("THEAD");
  static const TagDef* const footerDef = RowOf("TFOOT");
  static const TagDef* const captionDef = RowOf("CAPTION");
  const TagDef* columnDef = ColumnDef(table);
  TableParts parts;
  TagNode* prev = nullptr;
  bool leading = true;  // no row seen yet
  for (TagNode* c = table->firstChild; c;) {
    TagNode* next = c->next;
    TagNode** kept = c->def == headerDef ? &parts.header : c->def == footerDef ? &parts.footer : nullptr;
    if (c->def != captionDef && c->def != columnDef) leading = false;
    if (c->def == captionDef) {
      Unlink(c, prev);
      parts.captions.push_back(c);
    } else if (c->def == columnDef && !leading) {
      Unlink(c, prev);
      FreeSubtree(c);
    } else if (kept && !*kept && c->firstChild) {
      Unlink(c, prev);
      *kept = c;
    } else if (kept) {
      prev = Dissolve(c, prev);
    } else {
      prev = c;
    }
    c = next;
  }
  bool rows = false;
  for (TagNode* c = table->firstChild; c && !rows; c = c->next) rows = c->def != columnDef;
  if (!rows) {
    for (TagNode** group : {&parts.header, &parts.footer}) {
      if (!*group) continue;
      TagNode* last = table->lastChild;
      LinkAfter(table, last, *group);
      Dissolve(*group, last);
      *group = nullptr;
    }
  }
  return parts;
}

// The header and footer go between the columns and the body, in the order
// XSL-FO requires.
void LinkHeaderAndFooter(TagNode* table, TagNode* body, TableParts& parts) {
  TagNode* prev = body ? PreviousSibling(body) : static_cast<TagNode*>(table->lastChild);
  for (TagNode* group : {parts.header, parts.footer}) {
    if (!group) continue;
    LinkAfter(table, prev, group);
    group->tail.assign("\n");
    prev = group;
  }
}

// The indentation at the end of the source text in front of a node.
Text IndentationIn(const Text& before) {
  if (before.null()) return Text();
  const std::string_view s = before.view();
  std::size_t start = 0;
  std::size_t i = 0;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    if (c == ' ' || c == '\t') continue;
    if (c == '\n' || c == '\r') {
      start = i + 1;
      continue;
    }
    break;
  }
  if (i == start) return Text();
  return Text(s.substr(start, i - start));
}

// prev is the node's previous sibling, or none for a first child; callers
// that walk a chain know it, which spares a walk of the chain per node.
Text IndentationBefore(const TagNode* node, const TagNode* prev) {
  if (prev) return IndentationIn(prev->tail);
  if (node->parent) return IndentationIn(node->parent->text);
  return Text();
}

TagProperty* SetListSeparator(Context& ctx, TagNode* node, const Text& indentation) {
  Text separator;
  if (indentation.has()) {
    separator.assign("\n");
    separator.append(indentation.view());
    separator.append("    ");
  }
  TagProperty* p = CreateProperty(ctx, node, Names().listSeparator);
  if (p) p->value = std::move(separator);
  return p;
}

void SpreadAlign(Context& ctx, TagNode* from, const TagProperty* align) {
  const bool report = ctx.reportPropertyFailures;
  ctx.reportPropertyFailures = false;
  SpreadProperty(ctx, from, Names().align, align->value, 1, true);
  ctx.reportPropertyFailures = report;
}

// One walk over the rows of a table body, keeping track of the grid
// positions that cells of earlier rows cover. The pass decides what happens
// at each cell, covered position and row end.
template <class Pass>
void WalkGrid(Context& ctx, TagNode* body, Pass& pass) {
  if (!body) return;
  RowSpanCounters counters;
  for (TagNode* row = body->firstChild; row; row = row->next) {
    pass.StartRow(row);
    if (Pass::kWrapsEmptyRows && !row->firstChild) WrapChildren(row, "TD");
    std::int64_t j = 0;
    TagNode* prev = nullptr;
    for (TagNode* cell = row->firstChild; cell; prev = cell, cell = cell->next) {
      pass.BeforeCell(cell, prev);
      for (; counters.At(j) > 0; ++j) pass.Covered();
      if (const TagProperty* rowSpan = FindProperty(cell, Names().rowSpan)) counters.Set(j, a2l(ctx, rowSpan->value, 0));
      const std::int64_t n = Span(ctx, cell);
      pass.Cell(cell, n);
      if (n >= 1) {
        counters.Spread(j, n);
        j += n;
      } else {
        // The span is not written (FOP reads none below 1), and FOP places
        // the cell on one position: so does the grid, or the table would
        // get fewer columns than FOP fills.
        ++j;
      }
    }
    pass.EndRow(row);
    if (Pass::kTrailingCovered)
      for (; counters.At(j) > 0; ++j) ctx.msg().put('!');
    counters.Decrease(pass.columns);
    pass.CheckCount(row, j);
  }
}

// A row of the column passes whose grid positions differ from the columns.
void ReportRowLength(Context& ctx, const TagNode* row, std::int64_t columns, std::int64_t positions) {
  ctx.msg().printf("wrong column count (first row: %lld - this row: %lld!!!\n ", static_cast<long long>(columns),
                   static_cast<long long>(positions));
  PrintHtmlPosition(ctx.msg(), row);
}

// Step 1 for a table without COL elements: the first row makes the columns,
// later rows fill in widths that are still missing.
struct DerivedColumnPass {
  static constexpr bool kWrapsEmptyRows = true;
  static constexpr bool kTrailingCovered = true;

  Context& ctx;
  TagNode* table;
  TableWidths widths;
  std::int64_t columns = 0;
  TagNode* cursor = nullptr;
  TagNode* lastColumn = nullptr;
  bool firstRow = true;
  std::int64_t widest = 0;  // grid positions of the longest row

  void StartRow(TagNode*) { cursor = firstRow ? nullptr : table->firstChild; }
  void BeforeCell(TagNode*, TagNode*) {}
  void Covered() {
    if (!cursor || !cursor->next)
      ctx.msg().write("internal error while table processing!!!\n ");
    else
      cursor = cursor->next;
    ctx.msg().put('!');
  }
  TagNode* NewColumn() {
    TagNode* col = lastColumn ? InsertAfter(lastColumn, "XML-TABLE-COLUMN") : PrependChild(table, "XML-TABLE-COLUMN");
    if (!col) return nullptr;
    col->tail.assign("\n");
    ++columns;
    cursor = lastColumn = col;
    return col;
  }
  void Cell(TagNode* cell, std::int64_t n) {
    OutStream& msg = ctx.msg();
    const bool spanning = IsSpanning(ctx, cell);
    if (firstRow && !spanning) {
      TagNode* col = NewColumn();
      TagProperty* width = col ? CreateProperty(ctx, col, Names().columnWidth) : nullptr;
      bool set = false;
      if (!width)
        msg.write("\n Error while processing table!!!\n");
      else
        set = ApplyCellWidthRule(ctx, widths, cell, width);
      msg.put(set ? 'x' : '+');
    } else if (firstRow) {
      WriteAligned(msg, static_cast<int>(n), "-+");
      // A span below 1 still takes one position, as in the grid.
      for (std::int64_t i = 0; i < std::max<std::int64_t>(n, 1); ++i)
        if (TagNode* col = NewColumn()) CreateProperty(ctx, col, Names().columnWidth);
    } else if (!spanning) {
      // A cursor on the body or past it refuses the width, with a report.
      TagProperty* width = CreateProperty(ctx, cursor, Names().columnWidth);
      bool set = false;
      if (!width || width->value.null()) set = ApplyCellWidthRule(ctx, widths, cell, width);
      msg.put(set ? 'x' : '+');
      if (cursor) cursor = cursor->next;
    } else {
      WriteAligned(msg, static_cast<int>(n - 1), "-");
      const bool set = n >= 1 && ApplySpanWidthRule(ctx, widths, cell, cursor, n);
      msg.put(set ? 'X' : '+');
    }
  }
  void EndRow(TagNode*) { ctx.msg().write("\n "); }
  void CheckCount(TagNode* row, std::int64_t j) {
    firstRow = false;
    widest = std::max(widest, j);
    if (j == columns) return;
    ReportRowLength(ctx, row, columns, j);
    for (std::int64_t k = j; k < columns; ++k)
      if (!AppendChild(row, "XML-EMPTY-CELL")) break;
  }
};

// Step 1 for a table that starts with COL elements: rows only add the
// columns they need beyond those.
struct ColumnListPass {
  static constexpr bool kWrapsEmptyRows = true;
  static constexpr bool kTrailingCovered = true;

  Context& ctx;
  TagNode* table;
  const TagDef* columnDef;
  std::int64_t columns;
  TagNode* lastColumn;
  TagNode* cursor = nullptr;
  std::int64_t widest = 0;  // grid positions of the longest row

  void StartRow(TagNode*) { cursor = table->firstChild; }
  void BeforeCell(TagNode*, TagNode*) {}
  void Covered() {
    if (cursor) cursor = cursor->next;
    ctx.msg().put('!');
  }
  void Cell(TagNode* cell, std::int64_t n) {
    const bool spanning = IsSpanning(ctx, cell);
    if (spanning) WriteAligned(ctx.msg(), static_cast<int>(n - 1), "-");
    for (std::int64_t i = 0; i < n; ++i) {
      if (cursor && cursor->next && cursor->next->def == columnDef) {
        cursor = cursor->next;
      } else if (cell->next) {
        // A cursor that covered positions pushed onto the body still adds
        // its column among the others: a column after the body is invalid.
        TagNode* after = !cursor ? nullptr : cursor->def == columnDef ? cursor : lastColumn;
        TagNode* col = after ? InsertAfter(after, "XML-TABLE-COLUMN") : nullptr;
        if (col) {
          ++columns;
          if (after == lastColumn) lastColumn = col;
          if (!spanning) col->tail = IndentationIn(after->tail);
          cursor = col;
        }
      } else if (cursor) {
        cursor = cursor->next;
      }
    }
    ctx.msg().put('+');
  }
  void EndRow(TagNode*) { ctx.msg().write("\n  "); }
  void CheckCount(TagNode* row, std::int64_t j) {
    widest = std::max(widest, j);
    if (j == columns) return;
    ReportRowLength(ctx, row, columns, j);
  }
};

// Step 1, last walk: the width each cell leaves to its content.
struct CellWidthPass {
  static constexpr bool kWrapsEmptyRows = false;
  static constexpr bool kTrailingCovered = false;

  Context& ctx;
  TagNode* table;
  const TagProperty* border;
  std::int64_t columns;
  TableModel model;
  TagNode* cursor = nullptr;

  void StartRow(TagNode*) { cursor = table->firstChild; }
  void BeforeCell(TagNode*, TagNode*) {}
  void Covered() {
    if (!cursor || !cursor->next)
      ctx.msg().write("internal error while table processing!!!\n ");
    else
      cursor = cursor->next;
  }
  void Cell(TagNode* cell, std::int64_t n) {
    SetCellContentWidth(ctx, cell, cursor, n, border, std::max(0.0, CssCellFrame(ctx, model, cell)));
  }
  void EndRow(TagNode*) {}
  void CheckCount(TagNode*, std::int64_t) {}
};

// Step 2: borders, paragraphs and alignment of the cells.
struct CellPass {
  static constexpr bool kWrapsEmptyRows = false;
  static constexpr bool kTrailingCovered = true;

  Context& ctx;
  const TagProperty* border;
  const TagDef* emptyCellDef;
  std::int64_t columns;
  bool boxes;  // the style sheets draw the cells

  void StartRow(TagNode* row) {
    if (boxes) WriteRowBox(ctx, row);
  }
  void BeforeCell(TagNode* cell, TagNode* prev) {
    ctx.msg().put('+');
    if (boxes) WriteCellBox(ctx, cell);
    if (border && cell->def != emptyCellDef && border->value.view() != "0pt") {
      const Text indentation = IndentationBefore(cell, prev);
      SetListSeparator(ctx, cell, indentation);
      SetProperty(ctx, cell, Names().borderWidth, Text::Copy(border->value));
      SetProperty(ctx, cell, Names().borderColor, "black");
      SetProperty(ctx, cell, Names().borderStyle, "solid");
      SetListSeparator(ctx, cell, indentation);
    }
    InsertParagraphs(ctx, 0, cell);
    if (const TagProperty* align = FindProperty(cell, Names().align)) SpreadAlign(ctx, cell->firstChild, align);
  }
  void Covered() { ctx.msg().put('!'); }
  void Cell(TagNode* cell, std::int64_t n) {
    if (n >= 1 && FindProperty(cell, Names().colSpan))
      for (std::int64_t i = 0; i < n; ++i) ctx.msg().put('-');
  }
  void EndRow(TagNode* row) {
    if (const TagProperty* align = FindProperty(row, Names().align)) SpreadAlign(ctx, row->firstChild, align);
    ctx.msg().write("+\n  ");
  }
  void CheckCount(TagNode*, std::int64_t j) {
    if (j != columns)
      ctx.msg().printf("wrong column count (first row: %lld - last row: %lld!!!\n", static_cast<long long>(columns),
                       static_cast<long long>(j));
  }
};

}  // namespace

Text NodeIndentation(const TagNode* node) {
  if (!node) return Text();
  return IndentationBefore(node, PreviousSibling(node));
}

TagProperty* AddListSeparator(Context& ctx, TagNode* node) { return SetListSeparator(ctx, node, NodeIndentation(node)); }

void PrintHtmlPosition(OutStream& out, const TagNode* node) {
  for (; node; node = node->parent) {
    if (node->hasPosition()) {
      out.printf("Pos in html: %llu\n", static_cast<unsigned long long>(node->position()));
      return;
    }
  }
}

namespace {

// A row with more grid positions than the table has columns makes FOP reject
// the table: the table gets as many columns as its widest row needs. They
// come after the last leading column, with no width of their own, and share
// out the rest in the normalisation like any other.
void AddMissingColumns(TagNode* table, const TagDef* columnDef, std::int64_t widest) {
  // Hostile spans must not cost memory: no more columns than a span may cover.
  widest = std::min<std::int64_t>(widest, kSpanLimit);
  TagNode* last = nullptr;
  std::int64_t columns = 0;
  for (TagNode* c = table->firstChild; c && c->def == columnDef; c = c->next) {
    last = c;
    ++columns;
  }
  for (; columns < widest; ++columns) {
    TagNode* col = last ? InsertAfter(last, "XML-TABLE-COLUMN") : PrependChild(table, "XML-TABLE-COLUMN");
    if (!col) break;
    last = col;
  }
}

// FOP lays out no table caption: a caption is printed as a block right in
// front of its table.
void MoveCaptionsOut(TagNode* table) {
  static const TagDef* const captionDef = RowOf("CAPTION");
  if (!table->parent) return;  // the reader puts every table in a body
  // The table's place is looked up only when it has a caption: finding it
  // walks the siblings before the table, of which a body may have millions.
  bool hasCaption = false;
  for (const TagNode* c = table->firstChild; c && !hasCaption; c = c->next) hasCaption = c->def == captionDef;
  if (!hasCaption) return;
  TagNode* before = PreviousSibling(table);
  TagNode* prev = nullptr;
  for (TagNode* c = table->firstChild; c;) {
    TagNode* next = c->next;
    if (c->def == captionDef) {
      Unlink(c, prev);
      LinkAfter(table->parent, before, c);
      before = c;
    } else {
      prev = c;
    }
    c = next;
  }
}

// A COL spanning several columns stands for as many: copies of it follow
// it, each with its width. The copies are bounded as spans are.
void ExpandColumnSpans(Context& ctx, TagNode* table) {
  static const PropertyName kSpan("SPAN");
  const TagDef* columnDef = ColumnDef(table);
  std::int64_t total = 0;
  for (TagNode* c = table->firstChild; c; c = c->next) {
    if (c->def != columnDef) continue;
    const TagProperty* span = FindProperty(c, kSpan);
    const std::int64_t n = span ? std::clamp<std::int64_t>(a2l(ctx, span->value, 1), 1, kSpanLimit) : 1;
    for (std::int64_t i = 1; i < n && total < kSpanLimit; ++i, ++total) {
      TagNode* copy = InsertAfter(c, columnDef);
      if (!copy) return;
      if (const TagProperty* w = FindProperty(c, Names().columnWidth))
        SetProperty(ctx, copy, Names().columnWidth, Text::Copy(w->value));
      copy->tail = Text::Copy(c->tail);
      c = copy;
    }
    if (++total >= kSpanLimit) return;
  }
}

}  // namespace

bool TableStep1(Context& ctx, TagNode* table) {
  OutStream& msg = ctx.msg();
  ++ctx.tableCount;
  ++ctx.tableDepth;
  constexpr std::string_view kStarting = "starting table processing step 1 of 2 for table ";
  if (TableNumbers* numbers = ctx.tableNumbers) {
    msg.write(kStarting);
    numbers->at.push_back(numbers->messages->size());
    WriteNumbered(msg, "", ctx.tableCount, " depth ", ctx.tableDepth, "\n");
  } else {
    WriteNumbered(msg, kStarting, ctx.tableCount, " depth ", ctx.tableDepth, "\n");
  }

  TableWidths widths;
  widths.cw = ContentWidth(ctx, table->parent);
  widths.pixels = TablePixelWidth(ctx, table, widths.cw);
  // The style sheets draw the boxes: the attributes they took as hints
  // are not written again.
  const bool boxes = TableBoxesFromCss(ctx);
  if (boxes) DropHintedAttributes(ctx, table);
  ExpandColumnSpans(ctx, table);
  // Read before the converters run: the value as written in the HTML.
  const TagProperty* border = boxes ? nullptr : FindProperty(table, Names().border);
  // Measured before the table is rebuilt: nested tables are measured with
  // it, as they stand.
  const bool automatic = IsAutoLayout(ctx, table);
  TableMeasure measure;
  if (automatic) measure = TakeTableMeasure(ctx, table);
  TableParts parts = TakeParts(table);

  if (!table->firstChild) {
    WrapChildren(table, "TR");
    msg.write("at least one row is needed for table processing\n");
  }

  const TagDef* columnDef = ColumnDef(table);
  if (table->firstChild && table->firstChild->def == columnDef) {
    msg.write(" Table with Columns - parsing...");
    TagNode* last = nullptr;
    std::int64_t columns = 0;
    for (TagNode* c = table->firstChild; c && c->def == columnDef; c = c->next) {
      ApplyColumnWidthRule(ctx, widths, c);
      last = c;
      ++columns;
    }
    // Made even when no row follows, so the table always has its body, and
    // given a row then (which the walk fills with a cell): FOP rejects a
    // table body without rows.
    TagNode* body = WrapFollowingSiblings(last, "XML-TABLE-BODY");
    if (body && !body->firstChild) AppendChild(body, "TR");
    LinkHeaderAndFooter(table, body, parts);
    msg.write(" done\n");
    msg.write(" Processing cells...\n  ");
    ColumnListPass pass{ctx, table, columnDef, columns, last};
    RowGroups groups;
    RowGroupsOf(table, nullptr, groups);
    for (TagNode* group : groups.list) WalkGrid(ctx, group, pass);
    msg.write("done\n");
    AddMissingColumns(table, columnDef, pass.widest);
  } else {
    TagNode* body = WrapChildren(table, "XML-TABLE-BODY");
    if (body) table->text.assign("\n");
    LinkHeaderAndFooter(table, body, parts);
    msg.write(" retrieving table columns from non-col-spanned cells...\n ");
    // The first row shown, the header's if there is one, makes the columns.
    DerivedColumnPass pass{ctx, table, widths};
    RowGroups groups;
    RowGroupsOf(table, nullptr, groups);
    for (TagNode* group : groups.list) WalkGrid(ctx, group, pass);
    msg.write("table columns retrieved\n");
    AddMissingColumns(table, columnDef, pass.widest);
  }

  if (automatic) {
    const double cm = SetAutomaticColumnWidths(ctx, table, measure, widths.cw - CssTableFrame(ctx, table) / kPointsPerCm);
    // A table narrower than its room says so: FOP would otherwise draw
    // its borders and background across the whole room.
    if (boxes) SetTableWidth(ctx, table, cm);
  } else
    NormalizeColumnWidths(ctx, table, widths.cw);

  msg.write(" processing table cells...\n");
  std::int64_t columns = 0;
  RowGroups groups;
  RowGroupsOf(table, &columns, groups);
  CellWidthPass cellWidths{ctx, table, border, columns, TableModelOf(ctx, table)};
  for (TagNode* group : groups.list) WalkGrid(ctx, group, cellWidths);
  // The captions stay in the table until step 2, so that the pass processes
  // them with it.
  for (TagNode* caption : parts.captions) LinkLastChild(table, caption);
  msg.write("done step 1 of table processing\n");
  return true;
}

bool TableStep2(Context& ctx, TagNode* table) {
  OutStream& msg = ctx.msg();
  WriteNumbered(msg, "starting table processing step 2 of 2 - depth ", ctx.tableDepth, "\n");
  --ctx.tableDepth;
  if (ctx.tableDepth == 0) ForgetNestedMeasures(ctx);
  // Converted by now: a length such as "1pt".
  const bool boxes = TableBoxesFromCss(ctx);
  const TagProperty* border = boxes ? nullptr : FindProperty(table, Names().border);
  if (boxes) WriteTableBox(ctx, table);
  MoveCaptionsOut(table);
  if (!table->firstChild || table->firstChild->def != ColumnDef(table)) return true;
  std::int64_t columns = 0;
  RowGroups groups;
  RowGroupsOf(table, &columns, groups);
  msg.write(" processing table cells...\n  ");
  CellPass pass{ctx, border, FindTagDef(nullptr, "XML-EMPTY-CELL"), columns, boxes};
  for (TagNode* group : groups.list) WalkGrid(ctx, group, pass);
  msg.write("done\n");
  msg.write("done all table processing\n");
  return true;
}

}  // namespace ps

#include "transform/tables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "model/handlers.h"
#include "support/test_util.h"

namespace ps {
namespace {

using test::Captured;
using test::Child;
using test::Node;
using test::Write;

// A table in a body that stores the usual content width, built row by row
// as the reader would leave it.
struct Table {
  Captured c;
  TagNode* body = Node("BODY");
  TagNode* table = Child(body, "TABLE");
  Table() { SetProperty(c.ctx, body, "XML-CONFIG-MAX-CONTENT-WIDTH", "16.30cm"); }
  Table(const Table&) = delete;
  ~Table() { FreeTree(body); }

  TagNode* Row() {
    TagNode* row = Child(table, "TR");
    row->text.assign("\n    ");
    return row;
  }
  TagNode* Col(const char* width = nullptr) {
    TagNode* col = Child(table, "XML-TABLE-COLUMN");
    col->tail.assign("\n  ");
    if (width) SetProperty(c.ctx, col, "XML-TABLE-COLUMN-WIDTH", width);
    return col;
  }
  TagNode* Cell(TagNode* row, const char* text, std::vector<std::pair<const char*, const char*>> props = {}) {
    TagNode* cell = Child(row, "TD");
    cell->text.assign(text);
    cell->tail.assign("\n    ");
    for (auto& [name, value] : props) SetProperty(c.ctx, cell, name, value);
    return cell;
  }
  std::string Step1() {
    c.messages.clear();
    TableStep1(c.ctx, table);
    return c.messages;
  }
  std::string Step2() {
    c.messages.clear();
    TableStep2(c.ctx, table);
    return c.messages;
  }
  std::vector<std::string> Children() const {
    std::vector<std::string> names;
    for (TagNode* n = table->firstChild; n; n = n->next) names.push_back(n->name());
    return names;
  }
  std::string ColumnWidths() const {
    std::string s;
    for (TagNode* n = table->firstChild; n && std::string(n->name()) == "XML-TABLE-COLUMN"; n = n->next) {
      const TagProperty* p = FindProperty(n, "XML-TABLE-COLUMN-WIDTH");
      s += p && p->value.has() ? std::string(p->value.view()) : "-";
      s += ' ';
    }
    return s;
  }
  TagNode* TableBody() const {
    TagNode* n = table->firstChild;
    while (n && std::string(n->name()) == "XML-TABLE-COLUMN") n = n->next;
    return n;
  }
};

std::string Value(const TagNode* n, const char* name) {
  const TagProperty* p = FindProperty(n, name);
  if (!p) return "(no property)";
  return p->value.has() ? std::string(p->value.view()) : "(none)";
}

const char* const kNoWidthsNormalisation =
    " recalculating table column width...\n  cutting columns:\n   none\n"
    "  adding values for columns:\n   1 (8.15cm)   2 (8.15cm) done\n";

TEST(TableSteps, TwoByTwoWithBorder) {
  Table t;
  SetProperty(t.c.ctx, t.table, "BORDER", "1");
  TagNode* r1 = t.Row();
  TagNode* a = t.Cell(r1, "a");
  t.Cell(r1, "b");
  TagNode* r2 = t.Row();
  t.Cell(r2, "c");
  t.Cell(r2, "d");
  t.table->text.assign("\n  ");

  EXPECT_EQ(t.Step1(), std::string("starting table processing step 1 of 2 for table 1 depth 1\n"
                                   " retrieving table columns from non-col-spanned cells...\n "
                                   "++\n ++\n table columns retrieved\n") +
                           kNoWidthsNormalisation + " processing table cells...\ndone step 1 of table processing\n");
  EXPECT_EQ(t.Children(), (std::vector<std::string>{"XML-TABLE-COLUMN", "XML-TABLE-COLUMN", "XML-TABLE-BODY"}));
  EXPECT_EQ(t.ColumnWidths(), "8.15cm 8.15cm ");
  EXPECT_EQ(t.table->text.view(), "\n");
  EXPECT_EQ(t.TableBody()->text.view(), "\n  ");
  EXPECT_EQ(t.TableBody()->firstChild, r1);
  EXPECT_EQ(Value(a, "XML-CONFIG-max-content-width"), "8.11cm");
  EXPECT_EQ(t.c.ctx.tableDepth, 1);

  FindProperty(t.table, "BORDER")->value.assign("1pt");  // as the converter leaves it
  EXPECT_EQ(t.Step2(),
            "starting table processing step 2 of 2 - depth 1\n processing table cells...\n  "
            "+++\n  +++\n  done\ndone all table processing\n");
  EXPECT_EQ(t.c.ctx.tableDepth, 0);
  EXPECT_EQ(Write(a),
            "<fo:table-cell border-style=\"solid\" border-color=\"black\" border-width=\"1pt\"\n    "
            "    ><fo:block>a</fo:block></fo:table-cell>\n    ");
  EXPECT_EQ(Write(t.table->firstChild), "<fo:table-column column-width=\"8.15cm\"/>\n");
}

TEST(TableSteps, NoBordersForZeroOrNoBorder) {
  for (const char* border : {"0pt", static_cast<const char*>(nullptr)}) {
    Table t;
    if (border) SetProperty(t.c.ctx, t.table, "BORDER", border);
    TagNode* cell = t.Cell(t.Row(), "a");
    t.Step1();
    t.Step2();
    EXPECT_EQ(Write(cell), "<fo:table-cell><fo:block>a</fo:block></fo:table-cell>\n    ");
  }
}

TEST(TableSteps, RowSpanCoversThePositionBelow) {
  Table t;
  TagNode* r1 = t.Row();
  TagNode* spanned = t.Cell(r1, "a", {{"ROWSPAN", "2"}});
  t.Cell(r1, "b");
  TagNode* r2 = t.Row();
  t.Cell(r2, "c");
  std::string m = t.Step1();
  EXPECT_NE(m.find("cells...\n ++\n !+\n table columns retrieved\n"), std::string::npos) << m;
  EXPECT_EQ(m.find("wrong"), std::string::npos);
  EXPECT_EQ(r2->firstChild->next, nullptr);  // no filler
  EXPECT_EQ(t.Step2(),
            "starting table processing step 2 of 2 - depth 1\n processing table cells...\n  "
            "+++\n  +!+\n  done\ndone all table processing\n");
  EXPECT_NE(Write(spanned).find("number-rows-spanned=\"2\""), std::string::npos);
}

TEST(TableSteps, ShortRowGetsFillerCells) {
  Table t;
  TagNode* r1 = t.Row();
  for (const char* s : {"a", "b", "c"}) t.Cell(r1, s);
  TagNode* r2 = t.Row();
  r2->setPosition(42);
  t.Cell(r2, "d");
  SetProperty(t.c.ctx, t.table, "BORDER", "1");
  std::string m = t.Step1();
  EXPECT_NE(m.find("+++\n +\n wrong column count (first row: 3 - this row: 1!!!\n Pos in html: 42\n"
                   "table columns retrieved\n"),
            std::string::npos)
      << m;
  std::vector<std::string> cells;
  for (TagNode* n = r2->firstChild; n; n = n->next) cells.push_back(n->name());
  EXPECT_EQ(cells, (std::vector<std::string>{"TD", "XML-EMPTY-CELL", "XML-EMPTY-CELL"}));

  FindProperty(t.table, "BORDER")->value.assign("1pt");
  t.Step2();
  // Fillers get no border, paragraph or content width.
  EXPECT_EQ(Write(r2->lastChild), "<fo:table-cell><fo:block/></fo:table-cell>");  // a cell needs a block
  EXPECT_EQ(t.c.messages.find("wrong"), std::string::npos);
}

TEST(TableSteps, LongRowFindsNoColumn) {
  Table t;
  t.Cell(t.Row(), "a");
  TagNode* r2 = t.Row();
  t.Cell(r2, "b");
  t.Cell(r2, "c");
  std::string m = t.Step1();
  EXPECT_NE(m.find("+\n +The property \"XML-TABLE-COLUMN-WIDTH\" can't be created under \"XML-TABLE-BODY\"!\n"
                   "+\n wrong column count (first row: 1 - this row: 2!!!\n table columns retrieved\n"),
            std::string::npos)
      << m;
  // The table is widened to the long row, so the first row is now the short one.
  EXPECT_EQ(t.Step2(),
            "starting table processing step 2 of 2 - depth 1\n processing table cells...\n  "
            "++\n  wrong column count (first row: 2 - last row: 1!!!\n+++\n  done\ndone all table processing\n");
}

TEST(TableSteps, WidthsFromLaterRowsAndSpans) {
  Table t;
  TagNode* r1 = t.Row();
  t.Cell(r1, "a", {{"WIDTH", "121"}});
  t.Cell(r1, "b");
  t.Cell(r1, "c", {{"COLSPAN", "3"}});
  t.Cell(r1, "d", {{"COLSPAN", "abc"}});
  TagNode* r2 = t.Row();
  t.Cell(r2, "e", {{"COLSPAN", "2"}, {"WIDTH", "242"}});
  t.Cell(r2, "f", {{"WIDTH", "25%"}});
  t.Cell(r2, "g", {{"WIDTH", "10%"}});
  t.Cell(r2, "h", {{"COLSPAN", "2"}});
  std::string m = t.Step1();
  EXPECT_NE(m.find("cells...\n x+ -+-+\n -Xxx-+\n table"), std::string::npos) << m;
  // Column 2 from the span, 3 and 4 from the later row; 6 was never given one.
  EXPECT_EQ(t.ColumnWidths().substr(0, 28), "3.26cm 3.26cm 4.08cm 1.63cm ");
}

// A header or footer holding one row of the given cells, cells of the
// header being TH.
TagNode* Group(Table& t, const char* tag, std::initializer_list<const char*> cells) {
  TagNode* group = Child(t.table, tag);
  TagNode* row = Child(group, "TR");
  for (const char* text : cells) Child(row, std::string(tag) == "THEAD" ? "TH" : "TD")->text.assign(text);
  return group;
}

// XSL-FO wants columns, header, footer, bodies in this order, whatever the
// HTML's; the header's row comes first in every walk and makes the columns,
// and a TH's WIDTH counts as a TD's. The caption rides along until step 2
// puts it in front of the table.
TEST(TableSteps, HeaderAndFooterStandBeforeTheBody) {
  Table t;
  TagNode* caption = Child(t.table, "CAPTION");
  caption->text.assign("cap");
  caption->tail.assign(" ");
  TagNode* footer = Group(t, "TFOOT", {"f1", "f2"});
  TagNode* r1 = t.Row();
  t.Cell(r1, "a");
  t.Cell(r1, "b");
  TagNode* header = Group(t, "THEAD", {"h1", "h2", "h3"});
  SetProperty(t.c.ctx, header->firstChild->firstChild, "WIDTH", "25%");
  std::string m = t.Step1();
  EXPECT_NE(m.find("cells...\n x++\n ++\n wrong column count (first row: 3 - this row: 2!!!\n ++\n wrong column"),
            std::string::npos)
      << m;
  EXPECT_EQ(t.Children(), (std::vector<std::string>{"XML-TABLE-COLUMN", "XML-TABLE-COLUMN", "XML-TABLE-COLUMN",
                                                    "THEAD", "TFOOT", "XML-TABLE-BODY", "CAPTION"}));
  EXPECT_EQ(t.ColumnWidths(), "4.08cm 6.11cm 6.11cm ");
  EXPECT_EQ(t.table->text.view(), "\n");
  EXPECT_EQ(t.TableBody()->next->next->firstChild, r1);
  // Short footer and body rows are filled up like any other.
  EXPECT_STREQ(footer->firstChild->lastChild->name(), "XML-EMPTY-CELL");

  m = t.Step2();
  EXPECT_NE(m.find("cells...\n  ++++\n  ++++\n  ++++\n  done\n"), std::string::npos) << m;
  EXPECT_EQ(t.body->firstChild, caption);
  EXPECT_EQ(caption->next, t.table);
  EXPECT_EQ(t.table->lastChild->def->name, std::string("XML-TABLE-BODY"));
}

// HTML ends a row span at the end of its header, body or footer.
TEST(TableSteps, RowSpansEndWithTheirGroup) {
  Table t;
  TagNode* header = Group(t, "THEAD", {"h1", "h2"});
  SetProperty(t.c.ctx, header->firstChild->firstChild, "ROWSPAN", "3");
  TagNode* r1 = t.Row();
  t.Cell(r1, "a");
  t.Cell(r1, "b");
  std::string m = t.Step1();
  EXPECT_NE(m.find("cells...\n ++\n ++\n table columns retrieved"), std::string::npos) << m;
  // FOP rejects a span past the header's rows.
  EXPECT_EQ(Write(header->firstChild->firstChild), "<fo:table-cell number-rows-spanned=\"1\"><fo:block>h1</fo:block></fo:table-cell>");
}

// XSL-FO requires a body: a table of header rows alone prints them as its
// body, and a second or empty header or footer gives its rows to the body
// in its place.
TEST(TableSteps, HeadersThatCannotStandGiveTheirRowsToTheBody) {
  {
    Table t;
    TagNode* header = Group(t, "THEAD", {"h"});
    TagNode* row = header->firstChild;
    t.Step1();
    EXPECT_EQ(t.Children(), (std::vector<std::string>{"XML-TABLE-COLUMN", "XML-TABLE-BODY"}));
    EXPECT_EQ(t.TableBody()->firstChild, row);
  }
  {
    Table t;
    Group(t, "THEAD", {"h"});
    TagNode* r1 = t.Row();
    t.Cell(r1, "a");
    TagNode* second = Group(t, "THEAD", {"s"})->firstChild;
    Child(t.table, "TFOOT")->text.assign("\n");
    t.Step1();
    EXPECT_EQ(t.Children(), (std::vector<std::string>{"XML-TABLE-COLUMN", "THEAD", "XML-TABLE-BODY"}));
    const TagNode* body = t.table->lastChild;
    EXPECT_EQ(body->firstChild, r1);
    EXPECT_EQ(r1->next, second);
    EXPECT_EQ(second->next, nullptr);
    EXPECT_EQ(second->parent, body);
  }
}

// FOP rejects a column among the rows of a body.
TEST(TableSteps, ColumnAfterARowIsDropped) {
  Table t;
  TagNode* r1 = t.Row();
  t.Cell(r1, "a");
  t.Col("5");
  t.Step1();
  EXPECT_EQ(t.Children(), (std::vector<std::string>{"XML-TABLE-COLUMN", "XML-TABLE-BODY"}));
  EXPECT_EQ(t.TableBody()->firstChild, r1);
  EXPECT_EQ(r1->next, nullptr);
}

TEST(TableSteps, ColumnListAddsColumnsBeforeTheBody) {
  Table t;
  t.table->text.assign("Caption");
  t.Col("121");
  TagNode* r1 = t.Row();
  for (const char* s : {"a", "b", "c"}) t.Cell(r1, s);
  std::string m = t.Step1();
  EXPECT_NE(m.find("depth 1\n Table with Columns - parsing... done\n Processing cells...\n  +++\n  done\n"
                   " recalculating table column width...\n  cutting columns:\n   none\n"
                   "  adding values for columns:\n   2 (6.52cm)   3 (6.52cm) done\n"),
            std::string::npos)
      << m;
  EXPECT_EQ(t.Children(), (std::vector<std::string>{"XML-TABLE-COLUMN", "XML-TABLE-COLUMN", "XML-TABLE-COLUMN",
                                                    "XML-TABLE-BODY"}));
  EXPECT_EQ(t.ColumnWidths(), "3.26cm 6.52cm 6.52cm ");
  EXPECT_EQ(t.table->text.view(), "Caption");  // stays in front of the columns
  EXPECT_EQ(t.table->firstChild->next->tail.view(), "  ");
}

TEST(TableSteps, ColumnListNeverAddsAColumnAfterTheBody) {
  Table t;
  t.Col();
  t.Cell(t.Row(), "a", {{"ROWSPAN", "2"}});
  TagNode* r2 = t.Row();
  r2->setPosition(7);
  t.Cell(r2, "b");
  t.Cell(r2, "c");
  std::string m = t.Step1();
  EXPECT_NE(m.find("  +\n  !++\n  wrong column count (first row: 2 - this row: 3!!!\n Pos in html: 7\ndone\n"),
            std::string::npos)
      << m;
  // The widest row still gets its columns, all of them before the body.
  EXPECT_EQ(t.Children(),
            (std::vector<std::string>{"XML-TABLE-COLUMN", "XML-TABLE-COLUMN", "XML-TABLE-COLUMN", "XML-TABLE-BODY"}));
}

// FOP rejects a table body without rows: one made for columns alone gets an
// empty row, which the walk fills with a cell and reports as short.
TEST(TableSteps, ColumnsWithoutRowsGetARow) {
  Table t;
  t.Col("50%");
  t.Col();
  const std::string step1 = t.Step1();
  const std::string start =
      "starting table processing step 1 of 2 for table 1 depth 1\n"
      " Table with Columns - parsing... done\n Processing cells...\n  ";
  EXPECT_EQ(step1.substr(0, start.size()), start);
  EXPECT_NE(step1.find("wrong column count (first row: 2 - this row: 1!!!"), std::string::npos) << step1;
  EXPECT_EQ(t.Children(), (std::vector<std::string>{"XML-TABLE-COLUMN", "XML-TABLE-COLUMN", "XML-TABLE-BODY"}));
  const TagNode* row = t.TableBody()->firstChild;
  ASSERT_NE(row, nullptr);
  EXPECT_STREQ(row->name(), "TR");
  ASSERT_NE(row->firstChild, nullptr);
  EXPECT_STREQ(row->firstChild->name(), "TD");
  EXPECT_EQ(row->next, nullptr);
}

TEST(TableSteps, TableWithoutRows) {
  Table t;
  t.table->text.assign("x");
  EXPECT_EQ(t.Step1(), std::string("starting table processing step 1 of 2 for table 1 depth 1\n"
                                   "at least one row is needed for table processing\n"
                                   " retrieving table columns from non-col-spanned cells...\n +\n "
                                   "table columns retrieved\n"
                                   " recalculating table column width...\n  cutting columns:\n   none\n"
                                   "  adding values for columns:\n   1 (16.30cm) done\n"
                                   " processing table cells...\ndone step 1 of table processing\n"));
  TagNode* cell = t.TableBody()->firstChild->firstChild;
  ASSERT_NE(cell, nullptr);
  EXPECT_STREQ(cell->name(), "TD");
  EXPECT_EQ(cell->text.view(), "x");
}

// A span below 1 is not written, so FOP places the cell on one position:
// the table gets a column for it.
TEST(TableSteps, SpanBelowOneTakesOneColumn) {
  Table t;
  t.Cell(t.Row(), "a", {{"COLSPAN", "0"}});
  std::string m = t.Step1();
  EXPECT_NE(m.find("cells...\n -+\n table columns retrieved\n"), std::string::npos) << m;
  EXPECT_EQ(t.Children().size(), 2u);  // the column and the body
  EXPECT_NE(t.Step2().find("processing table cells"), std::string::npos);
}

TEST(TableSteps, AlignmentSpreadsIntoTheCellContent) {
  Table t;
  TagNode* row = t.Row();
  TagNode* cell = t.Cell(row, "");
  TagNode* p1 = Child(cell, "P");
  TagNode* p2 = Child(cell, "P");
  SetProperty(t.c.ctx, cell, "ALIGN", "center");
  SetProperty(t.c.ctx, p2, "ALIGN", "end");
  TagNode* other = t.Cell(row, "");
  TagNode* p3 = Child(other, "P");
  SetProperty(t.c.ctx, row, "ALIGN", "start");
  t.Step1();
  t.Step2();
  EXPECT_EQ(Value(p1, "ALIGN"), "center");
  EXPECT_EQ(Value(p2, "ALIGN"), "end");
  EXPECT_EQ(Value(other, "ALIGN"), "start");
  EXPECT_EQ(Value(p3, "ALIGN"), "start");
  EXPECT_EQ(t.c.messages.find("can't"), std::string::npos);
  EXPECT_TRUE(t.c.ctx.reportPropertyFailures);
}

TEST(TableSteps, NestedTableIsSizedAgainstItsCell) {
  Table t;
  SetProperty(t.c.ctx, t.table, "BORDER", "1");
  TagNode* cell = t.Cell(t.Row(), "");
  t.Cell(t.table->lastChild, "b");
  TagNode* inner = Child(cell, "TABLE");
  TagNode* ir = Child(inner, "TR");
  Child(ir, "TD");
  Child(ir, "TD");
  std::string m = t.Step1();
  t.c.messages.clear();
  TableStep1(t.c.ctx, inner);
  EXPECT_NE(t.c.messages.find("for table 2 depth 2\n"), std::string::npos);
  // 8.11 cm for the content: two columns of 4.055 cm.
  EXPECT_NE(t.c.messages.find("   1 (4.05cm)   2 (4.05cm) done\n"), std::string::npos) << t.c.messages;
  t.c.messages.clear();
  TableStep2(t.c.ctx, inner);
  EXPECT_EQ(t.c.messages.substr(0, 48), "starting table processing step 2 of 2 - depth 2\n");
  EXPECT_EQ(t.Step2().substr(0, 48), "starting table processing step 2 of 2 - depth 1\n");
  EXPECT_EQ(t.c.ctx.tableDepth, 0);
  EXPECT_EQ(t.c.ctx.tableCount, 2);
}

TEST(TableSteps, HostileSpans) {
  Table t;
  TagNode* r1 = t.Row();
  t.Cell(r1, "a", {{"COLSPAN", "2147483647"}});
  TagNode* r2 = t.Row();
  t.Cell(r2, "b", {{"ROWSPAN", "99999999999999999999"}, {"COLSPAN", "-5"}});
  t.Cell(r2, "c", {{"ROWSPAN", "2147483648"}, {"COLSPAN", "99999999999999999999"}});
  t.Cell(r2, "d", {{"ROWSPAN", "-2147483649"}, {"COLSPAN", "0x7fffffff"}});
  TagNode* r3 = t.Row();
  t.Cell(r3, "e");
  std::string m = t.Step1();
  // The span counts as 1,000 positions; the cell keeps what it said.
  EXPECT_EQ(t.Children().size(), 1001u);
  EXPECT_NE(m.find(std::string(998, ' ') + "-+\n "), std::string::npos);
  EXPECT_EQ(Value(r1->firstChild, "COLSPAN"), "2147483647");
  // -5: a field of -6 is left-aligned; the huge COLSPAN reads as no number (span 1).
  EXPECT_NE(m.find("\n -     +-+" + std::string(998, ' ') + "-The property"), std::string::npos) << m;
  // b's span of -5 still takes a position, as FOP places it.
  EXPECT_NE(m.find("+\n wrong column count (first row: 1000 - this row: 1002!!!\n"), std::string::npos);
  t.Step2();
  EXPECT_EQ(t.c.ctx.tableDepth, 0);
}

TEST(TableSteps, PositionsBeyondTheCountersAreNeverCovered) {
  Table t;
  TagNode* r1 = t.Row();
  for (int i = 0; i < 120; ++i) t.Cell(r1, "a", {{"ROWSPAN", "2"}});
  TagNode* r2 = t.Row();
  for (int i = 0; i < 120; ++i) t.Cell(r2, "b");
  std::string m = t.Step1();
  EXPECT_NE(m.find("\n " + std::string(100, '!') + "+"), std::string::npos);
  EXPECT_EQ(m.find(std::string(101, '!')), std::string::npos);
  EXPECT_NE(m.find("wrong column count (first row: 120 - this row: 220!!!\n "), std::string::npos);
  m = t.Step2();
  EXPECT_EQ(std::count(m.begin(), m.end(), '!'), 100 + 3);  // three from the message
}

TEST(TableSteps, CoveredPositionWithoutColumn) {
  Table t;
  TagNode* r1 = t.Row();
  t.Cell(r1, "a", {{"ROWSPAN", "2"}, {"COLSPAN", "0"}});
  t.Cell(r1, "b");
  std::string m = t.Step1();
  // The cell takes one position (FOP reads no span below 1) with a column.
  EXPECT_NE(m.find("cells...\n -++\n table columns retrieved"), std::string::npos) << m;
}

TEST(Indentation, FromTheTextInFront) {
  Captured c;
  TagNode* row = Node("TR");
  row->text.assign("\n  ");
  TagNode* a = Child(row, "TD");
  TagNode* b = Child(row, "TD");
  TagNode* d = Child(row, "TD");
  auto indent = [](const TagNode* n) {
    Text t = NodeIndentation(n);
    return t.has() ? std::string(t.view()) : "(none)";
  };
  EXPECT_EQ(indent(a), "  ");
  a->tail.assign("\n\t\t");
  EXPECT_EQ(indent(b), "\t\t");
  b->tail.assign("x\n  ");
  EXPECT_EQ(indent(d), "(none)");
  b->tail.assign("\r\n");
  EXPECT_EQ(indent(d), "(none)");
  b->tail.assign("  \t");
  EXPECT_EQ(indent(d), "  \t");
  b->tail.assign(" \n \r\t ");
  EXPECT_EQ(indent(d), "\t ");
  EXPECT_EQ(indent(row), "(none)");

  TagProperty* sep = AddListSeparator(c.ctx, b);
  ASSERT_NE(sep, nullptr);
  EXPECT_EQ(sep->value.view(), "\n\t\t    ");
  TagProperty* again = AddListSeparator(c.ctx, d);
  EXPECT_EQ(again, FindProperty(d, "LIST-SEPARATOR"));
  EXPECT_EQ(again->value.view(), "\n\t     ");
  b->tail.assign("x");
  EXPECT_TRUE(AddListSeparator(c.ctx, d)->value.null());
  FreeTree(row);
}

TEST(Indentation, HtmlPosition) {
  Captured c;
  TagNode* table = Node("TABLE");
  TagNode* row = Child(table, "TR");
  TagNode* cell = Child(row, "TD");
  OutStream out = OutStream::ToString(&c.messages);
  PrintHtmlPosition(out, cell);
  EXPECT_EQ(c.messages, "");
  table->setPosition(3);
  PrintHtmlPosition(out, cell);
  EXPECT_EQ(c.messages, "Pos in html: 3\n");
  row->setPosition(2);  // the nearest position wins
  PrintHtmlPosition(out, cell);
  EXPECT_EQ(c.messages, "Pos in html: 3\nPos in html: 2\n");
  FreeTree(table);
}

}  // namespace
}  // namespace ps

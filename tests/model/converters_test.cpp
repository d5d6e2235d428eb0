#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>

#include "model/converters.h"
#include "model/handlers.h"
#include "support/test_util.h"
#include "transform/pass.h"

namespace ps {
namespace {

using test::Captured;
using test::Child;
using test::Node;

// A node owned by the captured context, so every test frees its tree.
TagNode* Own(Captured& c, TagNode* n) {
  c.ctx.documentRoot = n;
  return n;
}

std::string Value(const TagNode* n, const char* prop) {
  const TagProperty* p = FindProperty(n, prop);
  if (!p) return "<none>";
  return p->value.has() ? std::string(p->value.view()) : "<null>";
}

// Runs a converter on a fresh property of a fresh node.
struct Converted {
  Captured c;
  TagNode* node;
  TagProperty* prop;
  bool ok;
  Converted(const char* tag, const char* name, const char* value, PropertyConverter conv,
            const char* inputName = "input.html") {
    node = Own(c, Node(tag));
    c.ctx.inputName = inputName;
    prop = value ? SetProperty(c.ctx, node, name, value) : CreateProperty(c.ctx, node, name);
    ok = prop && conv(c.ctx, node, prop);
  }
  std::string value() const { return prop->value.has() ? std::string(prop->value.view()) : "<null>"; }
};

TEST(ConverterSlots, RowsNameTheirConverters) {
  EXPECT_EQ(FindPropertyDef("SIZE", "FONT")->converter, &ConvertFontSize);
  EXPECT_EQ(FindPropertyDef("BORDER", "IMG")->converter, &ConvertImageBorder);
  EXPECT_EQ(FindPropertyDef("BORDER", "TD")->converter, &ConvertTableBorder);
  EXPECT_EQ(FindPropertyDef("CELLPADDING", "TABLE")->converter, &SpreadCellPadding);
  EXPECT_EQ(FindPropertyDef("ALIGN", "TR")->converter, &MapAlign);
  EXPECT_EQ(FindPropertyDef("WIDTH", "IMG")->converter, &NormalizePointUnit);
  EXPECT_EQ(FindPropertyDef("STYLE-page-break-after", "P")->converter, &MapPageBreak);
  EXPECT_EQ(FindPropertyDef("NAME", "A")->converter, &RetypeNamedAnchor);
  EXPECT_EQ(FindPropertyDef("ID", "SPAN")->converter, &PlaceIdTarget);
  EXPECT_EQ(FindPropertyDef("BACKGROUND", "TD")->converter, &ConvertBackgroundImage);
  EXPECT_EQ(FindPropertyDef("--", "!--")->converter, &ClearValue);
  EXPECT_EQ(FindPropertyDef("TEXT", "BODY")->converter, &ClearValue);
}

TEST(ScanBareInt, AgreesWithSscanfInRange) {
  const char* inputs[] = {"3",   "0",  "-3", "+3",   "0x5", "0X1f", "010", "08", "0x",  "0xg", "  7",
                          "\v5", "7 ", "",   "   ", "3pt", "- 5", "+",   "-",  "0x 1", "00x1", "-0x10",
                          "2147483647", "-2147483648", "abc", "1e3"};
  for (const char* s : inputs) {
    int expected = 0, got = 0;
    char c;
    const bool want = std::sscanf(s, "%i%c", &expected, &c) == 1;
    EXPECT_EQ(ScanBareInt(s, &got), want) << '"' << s << '"';
    if (want) {
      EXPECT_EQ(got, expected) << '"' << s << '"';
    }
  }
}

TEST(ScanBareInt, ClampsOutOfRange) {
  int n = 0;
  ASSERT_TRUE(ScanBareInt("99999999999999999999999", &n));
  EXPECT_EQ(n, INT_MAX);
  ASSERT_TRUE(ScanBareInt("0xFFFFFFFF", &n));
  EXPECT_EQ(n, INT_MAX);
  ASSERT_TRUE(ScanBareInt("-2147483649", &n));
  EXPECT_EQ(n, INT_MIN);
  ASSERT_TRUE(ScanBareInt("2147483648", &n));
  EXPECT_EQ(n, INT_MAX);
}

TEST(ConvertFontSize, SizeTable) {
  struct Row {
    const char* in;
    const char* size;
    const char* line;
  } rows[] = {
      {"3", "13pt", "16pt"},  {"+1", "13pt", "16pt"}, {"-1", "8pt", "11pt"},  {"7", "30pt", "33pt"},
      {"-5", "7pt", "10pt"},  {"0x5", "20pt", "23pt"}, {"0", "7pt", "10pt"},  {"6", "25pt", "28pt"},
      {"+4", "25pt", "28pt"}, {" 2", "10pt", "13pt"}, {"--3", "20pt", "23pt"}, {"010", "35pt", "38pt"},
  };
  for (const Row& r : rows) {
    Converted t("FONT", "SIZE", r.in, ConvertFontSize);
    EXPECT_TRUE(t.ok) << r.in;
    EXPECT_EQ(Value(t.node, "STYLE-font-size"), r.size) << r.in;
    EXPECT_EQ(Value(t.node, "XML-LINE-HEIGHT"), r.line) << r.in;
    EXPECT_EQ(t.value(), r.in) << "SIZE keeps its value";
  }
}

TEST(ConvertFontSize, TraceLines) {
  Converted t("FONT", "SIZE", "-1", ConvertFontSize);
  EXPECT_EQ(t.c.trace, "Old FontSize -1\nNew FontSize 8pt\nLineHeight 11pt\n");
  EXPECT_EQ(t.c.messages, "");
}

TEST(ConvertFontSize, RefusesAnythingButABareNumber) {
  for (const char* in : {"3pt", "big", "3 ", "", "+", "0xg", "08"}) {
    Converted t("FONT", "SIZE", in, ConvertFontSize);
    EXPECT_FALSE(t.ok) << in;
    EXPECT_EQ(t.c.trace, "No FontSize!\n") << in;
    EXPECT_EQ(t.value(), in);
    EXPECT_EQ(FindProperty(t.node, "STYLE-font-size"), nullptr);
  }
  Converted absent("FONT", "SIZE", nullptr, ConvertFontSize);
  EXPECT_FALSE(absent.ok);
  EXPECT_EQ(absent.c.trace, "No FontSize!\n");
}

TEST(ConvertFontSize, ExtremeNumbersComputeWithoutOverflow) {
  Converted big("FONT", "SIZE", "+99999999999", ConvertFontSize);
  // Clamped to INT_MAX, plus 2, then 5n - 5 in 64 bits.
  EXPECT_EQ(Value(big.node, "STYLE-font-size"), "10737418240pt");
  EXPECT_EQ(Value(big.node, "XML-LINE-HEIGHT"), "10737418243pt");
  Converted small("FONT", "SIZE", "-2147483648", ConvertFontSize);
  EXPECT_EQ(Value(small.node, "STYLE-font-size"), "7pt");
  Converted neg("FONT", "SIZE", "--2147483648", ConvertFontSize);
  EXPECT_EQ(Value(neg.node, "STYLE-font-size"), "10737418245pt");
}

TEST(NormalizePointUnit, Values) {
  struct Row {
    const char* in;
    const char* out;
  } rows[] = {{"120", "120pt"}, {"120px", "120pt"}, {"120PT", "120pt"}, {"3Px", "3pt"}, {"50%", "50%"},
              {"2cm", "2cmpt"}, {"", "pt"},          {"pt", "pt"},       {"t", "tpt"}};
  for (const Row& r : rows) {
    Converted t("IMG", "WIDTH", r.in, NormalizePointUnit);
    EXPECT_TRUE(t.ok);
    EXPECT_EQ(t.value(), r.out) << r.in;
  }
  Converted absent("IMG", "HEIGHT", nullptr, NormalizePointUnit);
  EXPECT_EQ(absent.value(), "1pt");
}

TEST(ClearValue, DropsTheValueKeepsTheProperty) {
  Converted t("META", "HTTP-EQUIV", "refresh", ClearValue);
  EXPECT_TRUE(t.ok);
  EXPECT_EQ(Value(t.node, "HTTP-EQUIV"), "<null>");
}

TEST(ConvertImageBorder, ZeroAddsNothingOtherwiseSolidBlack) {
  Converted zero("IMG", "BORDER", "0", ConvertImageBorder);
  EXPECT_EQ(zero.value(), "0pt");
  EXPECT_EQ(test::PropNames(zero.node), "BORDER");
  Converted two("IMG", "BORDER", "2", ConvertImageBorder);
  EXPECT_TRUE(two.ok);
  EXPECT_EQ(test::PropNames(two.node), "XML-BORDER-STYLE XML-BORDER-COLOR XML-BORDER-WIDTH BORDER");
  EXPECT_EQ(Value(two.node, "XML-BORDER-WIDTH"), "2pt");
  EXPECT_EQ(Value(two.node, "XML-BORDER-COLOR"), "black");
  EXPECT_EQ(Value(two.node, "XML-BORDER-STYLE"), "solid");
}

TEST(ConvertTableBorder, BareBorderTakesCellSpacing) {
  Captured c;
  TagNode* table = Own(c, Node("TABLE"));
  SetProperty(c.ctx, table, "CELLSPACING", "4");
  TagProperty* border = CreateProperty(c.ctx, table, "BORDER");
  EXPECT_TRUE(ConvertTableBorder(c.ctx, table, border));
  EXPECT_EQ(border->value.view(), "4pt");
  EXPECT_EQ(Value(table, "CELLSPACING"), "4");

  Converted bare("TD", "BORDER", nullptr, ConvertTableBorder);
  EXPECT_EQ(bare.value(), "1pt");
  Converted given("TABLE", "BORDER", "3px", ConvertTableBorder);
  EXPECT_EQ(given.value(), "3pt");
}

TEST(SpreadCellPadding, MarginsLandOnTheTopmostCellsOnly) {
  Captured c;
  TagNode* table = Own(c, Node("TABLE"));
  TagNode* tr = Child(table, "TR");
  TagNode* td1 = Child(tr, "TD");
  TagNode* td2 = Child(tr, "TD");
  TagNode* inner = Child(td1, "TABLE");
  SetProperty(c.ctx, td2, "XML-MARGIN-LEFT", "9pt");
  TagProperty* pad = SetProperty(c.ctx, table, "CELLPADDING", "5");
  EXPECT_TRUE(SpreadCellPadding(c.ctx, table, pad));
  EXPECT_EQ(pad->value.view(), "5pt");
  EXPECT_EQ(test::PropNames(td1), "XML-MARGIN-RIGHT XML-MARGIN-LEFT XML-MARGIN-BOTTOM XML-MARGIN-TOP");
  EXPECT_EQ(Value(td1, "XML-MARGIN-TOP"), "5pt");
  EXPECT_EQ(Value(td2, "XML-MARGIN-LEFT"), "9pt");
  EXPECT_EQ(Value(td2, "XML-MARGIN-RIGHT"), "5pt");
  EXPECT_EQ(FindProperty(inner, "XML-MARGIN-TOP"), nullptr);
  EXPECT_EQ(FindProperty(table, "XML-MARGIN-TOP"), nullptr);
  EXPECT_EQ(FindProperty(tr, "XML-MARGIN-TOP"), nullptr);
  EXPECT_EQ(c.messages, "") << "refusals on the row stay silent";
  EXPECT_TRUE(c.ctx.reportPropertyFailures);
}

TEST(SpreadCellPadding, ZeroSetsNoMarginsAndSwitchIsRestored) {
  Captured c;
  TagNode* table = Own(c, Node("TABLE"));
  TagNode* td = Child(Child(table, "TR"), "TD");
  TagProperty* pad = SetProperty(c.ctx, table, "CELLPADDING", "0px");
  c.ctx.reportPropertyFailures = false;
  SpreadCellPadding(c.ctx, table, pad);
  EXPECT_EQ(pad->value.view(), "0pt");
  EXPECT_EQ(td->props, nullptr);
  EXPECT_FALSE(c.ctx.reportPropertyFailures);
}

TEST(MapAlign, KeywordsAndRefusals) {
  struct Row {
    const char* in;
    const char* out;
    const char* trace;
  } rows[] = {{"left", "start", "map LEFT -> start\n"},
              {"Middle", "center", "map MIDDLE -> center\n"},
              {"CENTER", "center", "map CENTER -> center\n"},
              {"right", "end", "map RIGHT -> end\n"}};
  for (const Row& r : rows) {
    Converted t("TD", "ALIGN", r.in, MapAlign);
    EXPECT_TRUE(t.ok);
    EXPECT_EQ(t.value(), r.out);
    EXPECT_EQ(t.c.trace, r.trace);
  }
  Converted justify("P", "ALIGN", "justify", MapAlign);
  EXPECT_FALSE(justify.ok);
  EXPECT_EQ(justify.value(), "justify");
  EXPECT_EQ(justify.c.trace, "");
  Converted absent("P", "ALIGN", nullptr, MapAlign);
  EXPECT_FALSE(absent.ok);
}

// Each CSS page break becomes the XSL-FO break or keep that means it, under
// that property's own row; FOP has no break-inside and rejects the document
// that names it.
TEST(MapPageBreak, BreaksAndKeepsFopKnows) {
  struct Row {
    const char* tag;
    const char* property;
    const char* in;
    const char* written;
  } rows[] = {{"P", "STYLE-page-break-before", "always", " break-before=\"page\""},
              {"DIV", "STYLE-page-break-before", " Left ", " break-before=\"page\""},
              {"TABLE", "STYLE-page-break-after", "right", " break-after=\"page\""},
              {"P", "STYLE-page-break-before", "avoid", " keep-with-previous.within-page=\"1\""},
              {"DIV", "STYLE-page-break-after", "AVOID", " keep-with-next.within-page=\"1\""},
              {"P", "STYLE-page-break-inside", "avoid", " keep-together.within-page=\"1\""},
              {"TABLE", "STYLE-page-break-inside", "avoid", " keep-together.within-page=\"1\""}};
  for (const Row& r : rows) {
    Converted t(r.tag, r.property, r.in, MapPageBreak);
    EXPECT_TRUE(t.ok) << r.in;
    const std::string fo = test::Write(t.node);
    EXPECT_NE(fo.find(r.written), std::string::npos) << fo;
    EXPECT_EQ(fo.find("break-inside"), std::string::npos) << fo;
  }
  Converted always("P", "STYLE-page-break-before", "always", MapPageBreak);
  EXPECT_EQ(always.c.trace, "map ALWAYS -> page\n");
}

// Values that ask for nothing are dropped quietly; values that mean nothing
// (a break inside a block) are reported and never written.
TEST(MapPageBreak, DropsWhatMeansNothingOnPaper) {
  for (const char* v : {"auto", "inherit", "initial", "unset"}) {
    Converted t("P", "STYLE-page-break-inside", v, MapPageBreak);
    EXPECT_TRUE(t.ok) << v;
    EXPECT_TRUE(t.prop->value.null()) << v;
    EXPECT_EQ(test::Write(t.node).find("break"), std::string::npos);
  }
  for (const char* v : {"always", "page", ""}) {
    Converted t("P", "STYLE-page-break-inside", v, MapPageBreak);
    EXPECT_FALSE(t.ok) << v;
    EXPECT_EQ(test::Write(t.node).find("break"), std::string::npos) << v;
  }
  Converted absent("DIV", "STYLE-page-break-after", nullptr, MapPageBreak);
  EXPECT_FALSE(absent.ok);
}

TEST(RetypeNamedAnchor, BecomesLinkReferenceKeepingName) {
  Converted t("A", "NAME", "x", RetypeNamedAnchor);
  EXPECT_TRUE(t.ok);
  EXPECT_STREQ(t.node->name(), "XML-LINK-REFERENCE");
  EXPECT_EQ(test::Write(t.node), "<fo:wrapper id=\"x\"></fo:wrapper>");
}

// A link that also has a name stays a link, whichever attribute comes first.
TEST(RetypeNamedAnchor, NamedLinkStaysALink) {
  for (const char* href : {"HREF", "XML-INTERNAL-DESTINATION"}) {
    Captured c;
    TagNode* a = Own(c, Node("A"));
    SetProperty(c.ctx, a, href, "x.html");
    TagProperty* name = SetProperty(c.ctx, a, "NAME", "n");
    EXPECT_TRUE(RetypeNamedAnchor(c.ctx, a, name));
    EXPECT_STREQ(a->name(), "A") << href;
  }
}

TEST(RetypeNamedAnchor, LeavesTheFlowsOwnIdAlone) {
  Converted t("A", "NAME", "LastPage", RetypeNamedAnchor);
  EXPECT_TRUE(t.ok);
  EXPECT_EQ(t.value(), "<null>");
  EXPECT_EQ(test::Write(t.node), "<fo:wrapper></fo:wrapper>");
}

TEST(PlaceIdTarget, ElementsWithAnFoElementKeepTheirId) {
  Converted t("H2", "ID", "intro", PlaceIdTarget);
  EXPECT_TRUE(t.ok);
  EXPECT_EQ(t.node->firstChild, nullptr);
  EXPECT_EQ(test::Write(t.node), "<fo:block id=\"intro\"></fo:block>");
  Converted last("H2", "ID", "LastPage", PlaceIdTarget);
  EXPECT_EQ(last.value(), "<null>");
  Converted valueless("H2", "ID", nullptr, PlaceIdTarget);
  EXPECT_TRUE(valueless.ok);
  EXPECT_EQ(valueless.node->firstChild, nullptr);
}

TEST(PlaceIdTarget, AnEmptyInlineMarksTheStartOfAnElementWithoutOne) {
  Captured c;
  TagNode* b = Own(c, Node("B"));
  b->text.assign("two");
  Child(b, "I")->tail.assign(" three");
  TagProperty* id = SetProperty(c.ctx, b, "ID", "b");
  ASSERT_TRUE(PlaceIdTarget(c.ctx, b, id));
  EXPECT_TRUE(id->value.null());
  ASSERT_NE(b->firstChild, nullptr);
  EXPECT_STREQ(b->firstChild->name(), "XML-ID-ANCHOR");
  EXPECT_TRUE(b->text.null());
  EXPECT_EQ(test::Write(b), "<fo:wrapper id=\"b\"/>two three");
}

TEST(PlaceIdTarget, AfterALineBreakAheadOfTheTextThatFollows) {
  Captured c;
  TagNode* p = Own(c, Node("P"));
  TagNode* br = Child(p, "BR");
  br->tail.assign("next");
  TagProperty* id = SetProperty(c.ctx, br, "ID", "nl");
  ASSERT_TRUE(PlaceIdTarget(c.ctx, br, id));
  EXPECT_EQ(test::Write(p), "<fo:block><fo:block/><fo:wrapper id=\"nl\"/>next</fo:block>");
}

TEST(PlaceIdTarget, TheHeadsElementsMarkNothing) {
  Converted t("TITLE", "ID", "t", PlaceIdTarget);
  t.node->text.assign("Title");
  ASSERT_TRUE(PlaceIdTarget(t.c.ctx, t.node, t.prop));
  EXPECT_EQ(t.node->firstChild, nullptr);
  EXPECT_EQ(t.value(), "<null>");
  EXPECT_EQ(t.node->text.view(), "Title");
}

TEST(ConvertLinkTarget, Targets) {
  struct Row {
    const char* tag;
    const char* prop;
    const char* in;
    const char* out;
    const char* propAfter;
  } rows[] = {
      {"A", "HREF", "#top", "top", "XML-INTERNAL-DESTINATION"},
      {"A", "HREF", "docs/index.html#top", "docs/index.html#top", "HREF"},
      {"A", "HREF", "readme", "readme", "HREF"},
      {"A", "HREF", "", "", "HREF"},
      {"A", "HREF", "#", "", "XML-INTERNAL-DESTINATION"},  // empty: written as plain text
      {"A", "HREF", "a#b#c", "a#b#c", "HREF"},
      {"A", "HREF", "other.html", "other.pdf", "HREF"},
      {"A", "HREF", "Other.HTM", "Other.pdf", "HREF"},
      {"A", "HREF", "archive.tar.html", "archive.tar.pdf", "HREF"},
      {"A", "HREF", "other.html#part", "other.html#part", "HREF"},
      {"A", "HREF", "other.txt", "other.txt", "HREF"},
      {"A", "HREF", "dir/other.html", "dir/other.html", "HREF"},
      {"A", "HREF", "input.html", "input.html", "HREF"},
      {"A", "XML-INTERNAL-DESTINATION", "top", "top", "XML-INTERNAL-DESTINATION"},
      {"TD", "BACKGROUND", "#x", "#x", "BACKGROUND"},
      {"TD", "BACKGROUND", "tile.htm", "tile.pdf", "BACKGROUND"},
      {"XML-LINK-REFERENCE", "HREF", "#y", "#y", "HREF"},
  };
  for (const Row& r : rows) {
    Captured c;
    TagNode* n = Own(c, Node(r.tag));
    c.ctx.inputName = "input.html";
    // HREF is not admitted on the link reference row: put it there the way a
    // retyped A node carries it.
    TagNode* a = Node("A");
    TagProperty* p = SetProperty(c.ctx, std::string_view(r.tag) == "XML-LINK-REFERENCE" ? a : n, r.prop, r.in);
    if (a->props) {
      n->props = a->props;
      a->props = nullptr;
    }
    FreeTree(a);
    ASSERT_NE(p, nullptr) << r.in;
    EXPECT_TRUE(ConvertLinkTarget(c.ctx, n, p));
    EXPECT_EQ(std::string(p->value.view()), r.out) << r.in;
    EXPECT_STREQ(p->def->name, r.propAfter) << r.in;
  }
  Converted absent("A", "HREF", nullptr, ConvertLinkTarget);
  EXPECT_TRUE(absent.ok);
  EXPECT_EQ(absent.value(), "<null>");
  // The input name is compared exactly as given on the command line.
  Converted self("A", "HREF", "page.html", ConvertLinkTarget, "./page.html");
  EXPECT_EQ(self.value(), "page.pdf");
  Converted same("A", "HREF", "page.html", ConvertLinkTarget, "page.html");
  EXPECT_EQ(same.value(), "page.html");
}

TEST(ConvertersInThePass, RefusalIsReportedAndValueKept) {
  Captured c;
  TagNode* font = Own(c, Node("FONT"));
  font->raw.assign("FONT SIZE=3pt");
  SetProperty(c.ctx, font, "SIZE", "3pt");
  ProcessChain(c.ctx, font);
  EXPECT_EQ(c.messages, "Property \"SIZE\" (Value \"3pt\") within tag \"FONT SIZE=3pt\" was not correct converted!\n");
  EXPECT_EQ(Value(font, "SIZE"), "3pt");
}

}  // namespace
}  // namespace ps

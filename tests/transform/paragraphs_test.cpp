#include "transform/paragraphs.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "model/handlers.h"
#include "support/test_util.h"

namespace ps {
namespace {

using test::Captured;
using test::Child;
using test::Node;
using test::Write;

TagNode* Own(Captured& c, TagNode* n) {
  c.ctx.documentRoot = n;
  return n;
}

TagNode* With(TagNode* n, const char* text, const char* tail = nullptr) {
  if (text) n->text.assign(text);
  if (tail) n->tail.assign(tail);
  return n;
}

void Fonts(Captured& c, TagNode* n) {
  c.ctx.reportPropertyFailures = false;
  PropagateFonts(c.ctx, 0, n, FontState{});
}

constexpr const char* kSpacing = "space-before.optimum=\"1.5pt\" space-after.optimum=\"1.5pt\" keep-together.within-page=\"1\"";

// The definition, recursion and all, to check the loop against.
bool SimpleByDefinition(int depth, const TagNode* n) {
  if (!n) return true;
  auto white = [](const Text& t) { return t.has() && t.view().find_first_not_of(" \t\r\n") == std::string_view::npos; };
  int count = white(n->text) + (n->firstChild != nullptr) + !SimpleByDefinition(depth + 1, n->firstChild) +
              (n->firstChild && n->firstChild->next) + (depth >= 2 && white(n->tail));
  return count < 2;
}

TEST(IsSimpleContent, AgreesWithTheDefinitionOnRandomTrees) {
  std::mt19937 rng(7);
  const char* texts[] = {nullptr, "", "\n", " x ", "x"};
  for (int round = 0; round < 400; ++round) {
    TagNode* root = Node("P");
    TagNode* cur = root;
    for (int i = 0, n = static_cast<int>(rng() % 7); i < n; ++i) {
      TagNode* c = With(Child(rng() % 3 ? cur : root, "B"), texts[rng() % 5], texts[rng() % 5]);
      if (rng() % 2) cur = c;
    }
    With(root, texts[rng() % 5]);
    for (int depth = 0; depth < 3; ++depth)
      EXPECT_EQ(IsSimpleContent(depth, root), SimpleByDefinition(depth, root)) << Write(root);
    FreeTree(root);
  }
  EXPECT_TRUE(IsSimpleContent(0, nullptr));
}

TEST(InsertParagraphs, WrapsOnlyContainersWithLooseContent) {
  Captured c;
  TagNode* body = Own(c, Node("BODY"));
  With(Child(body, "P"), "x", "\n");
  body->text.assign("\r\n");
  EXPECT_FALSE(InsertParagraphs(c.ctx, 0, body));
  EXPECT_STREQ(body->firstChild->name(), "P");
  EXPECT_EQ(body->firstChild->next, nullptr) << "only blocks and white text: left alone";

  With(Child(body, "DIV"), "d", " word ");
  InsertParagraphs(c.ctx, 0, body);
  ASSERT_EQ(body->firstChild, body->lastChild);
  EXPECT_STREQ(body->firstChild->name(), "P");
  EXPECT_EQ(body->firstChild->text.view(), "\r\n") << "the body's text moves into the new block";
  EXPECT_EQ(body->text.null(), true);
}

TEST(InsertParagraphs, FontTagsReportThemselvesAsInline) {
  Captured c;
  TagNode* body = Own(c, Node("BODY"));
  TagNode* font = Child(body, "FONT");
  With(Child(font, "B"), "bold");
  EXPECT_FALSE(InsertParagraphs(c.ctx, 0, body));
  EXPECT_STREQ(body->firstChild->name(), "P");
  EXPECT_EQ(body->firstChild->firstChild, font) << "the FONT is not wrapped on its own";
}

// Below a container that needs no paragraph, each block container holding
// loose text gets one of its own, also under font markup; paragraphs, tables
// and lists, and containers without loose text, are left alone.
TEST(InsertParagraphs, BlockContainersWithLooseTextGetTheirOwn) {
  Captured c;
  TagNode* body = Own(c, Node("BODY"));
  TagNode* div = With(Child(body, "DIV"), "loose ");
  With(Child(div, "B"), "bold");
  TagNode* font = Child(body, "FONT");
  TagNode* quote = With(Child(font, "BLOCKQUOTE"), "quoted");
  TagNode* empty = With(Child(body, "SECTION"), " \n");
  TagNode* p = With(Child(body, "P"), "x");
  TagNode* inP = With(Child(p, "DIV"), "in a paragraph");
  TagNode* table = Child(body, "TABLE");
  EXPECT_FALSE(InsertParagraphs(c.ctx, 0, body));
  EXPECT_EQ(body->firstChild, div);
  ASSERT_EQ(div->firstChild, div->lastChild);
  EXPECT_STREQ(div->firstChild->name(), "P");
  EXPECT_EQ(div->firstChild->text.view(), "loose ");
  EXPECT_STREQ(div->firstChild->firstChild->name(), "B");
  EXPECT_STREQ(quote->firstChild->name(), "P");
  EXPECT_EQ(font->firstChild, quote);
  EXPECT_EQ(empty->firstChild, nullptr);
  EXPECT_EQ(inP->firstChild, nullptr) << "a paragraph carries its own fonts";
  EXPECT_EQ(table->firstChild, nullptr);
}

TEST(PropagateFonts, PlainParagraphCarriesItsFonts) {
  Captured c;
  TagNode* p = Own(c, With(Node("P"), "x"));
  Fonts(c, p);
  EXPECT_EQ(Write(p), std::string("<fo:block line-height=\"12pt\" font-size=\"10pt\" ") + kSpacing + ">x</fo:block>");
  EXPECT_EQ(c.trace, "P\n/P\n");
}

TEST(PropagateFonts, SimpleChildMakesTheParagraphTheCarrier) {
  Captured c;
  TagNode* p = Own(c, Node("P"));
  TagNode* i = Child(p, "I");
  With(Child(i, "U"), "x");
  Fonts(c, p);
  EXPECT_EQ(test::PropNames(p),
            "XML-LINE-HEIGHT XML-FONT-STYLE XML-FONT-TEXT-DECORATION XML-FONT-SIZE XML-SPACE-BEFORE "
            "XML-SPACE-AFTER XML-KEEP-TOGETHER");
  EXPECT_EQ(c.trace, "P\n    I\n        U\n        /U\n    /I\n/P\n");
}

// A carrier that holds other text too does not take a font tag's style: the
// tag gets a carrier of its own, wherever the other text stands.
TEST(PropagateFonts, FontTagBesideOtherTextGetsItsOwnCarrier) {
  const char* const kBold = "<fo:inline font-weight=\"bold\" font-size=\"10pt\">x</fo:inline>";
  struct Case {
    const char* text;
    const char* tail;
    const char* outer;  // an element between the paragraph and the B
  } cases[] = {{"a ", nullptr, nullptr}, {nullptr, " b", nullptr}, {nullptr, nullptr, "SPAN"}};
  for (const Case& k : cases) {
    Captured c;
    TagNode* p = Own(c, With(Node("P"), k.text));
    TagNode* in = p;
    if (k.outer) in = With(Child(p, k.outer), "s ");
    With(Child(in, "B"), "x", k.tail);
    Fonts(c, p);
    const std::string fo = Write(p);
    EXPECT_NE(fo.find(kBold), std::string::npos) << fo;
    EXPECT_EQ(FindProperty(p, "XML-FONT-WEIGHT"), nullptr) << fo;
  }
}

// The phrase elements set their style through the groups of the tables.
TEST(PropagateFonts, PhraseGroupsSetTheStyles) {
  Captured c;
  TagNode* p = Own(c, With(Node("P"), "\n"));
  With(Child(p, "STRONG"), "a", " ");
  With(Child(p, "EM"), "b", " ");
  With(Child(With(Child(p, "INS"), nullptr, " "), "DEL"), "c");
  With(Child(p, "S"), "d");
  Fonts(c, p);
  EXPECT_EQ(Write(p), std::string("<fo:block line-height=\"12pt\" ") + kSpacing +
                          ">\n<fo:inline font-weight=\"bold\" font-size=\"10pt\">a</fo:inline> "
                          "<fo:inline font-style=\"italic\" font-size=\"10pt\">b</fo:inline> "
                          "<fo:inline text-decoration=\"underline line-through\" font-size=\"10pt\">c</fo:inline> "
                          "<fo:inline text-decoration=\"line-through\" font-size=\"10pt\">d</fo:inline></fo:block>");
}

TEST(PropagateFonts, LooseTextAndTailsGetInlines) {
  Captured c;
  TagNode* p = Own(c, With(Node("P"), "\n"));
  With(Child(p, "B"), "x", " y");
  Fonts(c, p);
  EXPECT_EQ(Write(p), std::string("<fo:block line-height=\"12pt\" ") + kSpacing +
                          ">\n<fo:inline font-weight=\"bold\" font-size=\"10pt\">x</fo:inline>"
                          "<fo:inline font-size=\"10pt\"> y</fo:inline></fo:block>");
  EXPECT_EQ(c.trace,
            "P\n    B\n        B\n        /B\n    /XML-INLINE\n    XML-INLINE\n    /XML-INLINE\n/P\n");
}

TEST(PropagateFonts, ComplexChildMovesItsTextIntoAnInline) {
  Captured c;
  TagNode* p = Own(c, Node("P"));
  TagNode* b = With(Child(p, "B"), "a", "\v");  // a vertical tab is blank: no inline for it
  With(Child(b, "BR"), nullptr, "b");
  With(Child(b, "I"), "c");
  Fonts(c, p);
  EXPECT_EQ(Write(p), std::string("<fo:block line-height=\"12pt\" ") + kSpacing +
                          "><fo:inline font-weight=\"bold\" font-size=\"10pt\">a</fo:inline>"
                          "<fo:block/>"
                          "<fo:inline font-weight=\"bold\" font-size=\"10pt\">b</fo:inline>"
                          "<fo:inline font-style=\"italic\" font-weight=\"bold\" font-size=\"10pt\">c</fo:inline>"
                          " </fo:block>") << "the writer blanks the vertical tab";
}

TEST(PropagateFonts, FontSizeReachesTheParagraph) {
  Captured c;
  TagNode* p = Own(c, Node("P"));
  TagNode* font = With(Child(p, "FONT"), "big");
  SetProperty(c.ctx, font, "XML-LINE-HEIGHT", "16pt");
  SetProperty(c.ctx, font, "STYLE-font-size", "13pt");
  SetProperty(c.ctx, font, "STYLE-color", "red");
  SetProperty(c.ctx, font, "XML-FONT-SIZE", "99pt");  // not read by the font step
  Fonts(c, p);
  EXPECT_EQ(Write(p), std::string("<fo:block line-height=\"16pt\" color=\"red\" font-size=\"13pt\" ") + kSpacing +
                          ">big</fo:block>");
}

// A font tag's own properties: the first of each name in its list counts.
// Each level spreads what it holds onto the carrier, innermost first, and a
// value there stays: the inner color wins, the face cleared inside comes
// from the outer tag's level.
TEST(PropagateFonts, InnerFontTagsOverride) {
  Captured c;
  TagNode* p = Own(c, Node("P"));
  TagNode* outer = Child(p, "FONT");
  SetProperty(c.ctx, outer, "XML-FONT-FACE", "Arial");
  SetProperty(c.ctx, outer, "STYLE-color", "red");
  TagNode* inner = With(Child(outer, "FONT"), "x");
  CreateProperty(c.ctx, inner, "XML-FONT-FACE");
  SetProperty(c.ctx, inner, "STYLE-color", "blue");
  TagProperty* first = new TagProperty;  // a second color, first in the list
  first->def = FindProperty(inner, "STYLE-color")->def;
  first->value.assign("green");
  first->next = inner->props;
  inner->props = first;
  Fonts(c, p);
  EXPECT_EQ(Write(p), std::string("<fo:block font-family=\"Arial\" line-height=\"12pt\" color=\"green\" "
                                  "font-size=\"10pt\" ") +
                          kSpacing + ">x</fo:block>");
}

TEST(PropagateFonts, HeadingKeepsItsSize) {
  Captured c;
  TagNode* h = Own(c, With(Node("H1"), "Title"));
  SizeHeading(c.ctx, h);
  Fonts(c, h);
  EXPECT_EQ(Write(h), std::string("<fo:block ") + kSpacing +
                          " font-weight=\"bold\" line-height=\"32pt\" font-size=\"16pt\">Title</fo:block>");
}

// Carriers inside a heading take its size, not the default one.
TEST(PropagateFonts, CarriersInAHeadingTakeItsSize) {
  Captured c;
  TagNode* h = Own(c, With(Node("H2"), "Two "));
  With(Child(h, "B"), "bold");
  SizeHeading(c.ctx, h);
  Fonts(c, h);
  EXPECT_EQ(Write(h), std::string("<fo:block ") + kSpacing +
                          " line-height=\"32pt\" font-size=\"16pt\">Two <fo:inline font-weight=\"bold\" "
                          "font-size=\"16pt\">bold</fo:inline></fo:block>");
}

TEST(PropagateFonts, BlockListsStartAFreshContext) {
  Captured c;
  TagNode* p = Own(c, With(Node("P"), "a"));
  TagNode* cell = Child(Child(Child(p, "TABLE"), "TR"), "TD");
  With(cell, "loose", "");
  TagNode* inner = With(Child(cell, "P"), "in");
  Child(p, "B");
  Fonts(c, p);
  EXPECT_EQ(cell->props, nullptr) << "no carrier and no paragraph inside the table";
  EXPECT_EQ(cell->text.view(), "loose");
  EXPECT_NE(FindProperty(inner, "XML-FONT-SIZE"), nullptr) << "a paragraph inside it starts over";
  EXPECT_EQ(FindProperty(p, "XML-FONT-SIZE"), nullptr);
  EXPECT_EQ(Write(p->firstChild), "<fo:inline font-size=\"10pt\">a</fo:inline>");
}

TEST(SizeHeading, SizesAndWeights) {
  const char* expected[] = {"16pt 32pt bold", "16pt 32pt -", "14pt 28pt bold",
                            "14pt 28pt -",    "12pt 24pt bold", "12pt 24pt -"};
  const char* tags[] = {"H1", "H2", "H3", "H4", "H5", "H6"};
  for (int n = 1; n <= 6; ++n) {
    Captured c;
    TagNode* h = Own(c, Node(tags[n - 1]));
    SetProperty(c.ctx, h, "XML-FONT-SIZE", "3pt");
    EXPECT_TRUE(SizeHeading(c.ctx, h));
    const TagProperty* w = FindProperty(h, "XML-FONT-WEIGHT");
    std::string got = std::string(FindProperty(h, "XML-FONT-SIZE")->value.view()) + " " +
                      std::string(FindProperty(h, "XML-LINE-HEIGHT")->value.view()) + " " +
                      (w ? std::string(w->value.view()) : "-");
    EXPECT_EQ(got, expected[n - 1]);
  }
  Captured c;
  SizeHeading(c.ctx, Own(c, Node("H3")));
  EXPECT_EQ(c.trace, "Heading 3 FontSize 14pt\n           LineHeight 28pt\n           Bold\n");
  // A row whose name carries no level (H7 and above are not headings).
  for (const char* tag : {"HR", "P", "TH"}) {
    TagNode* odd = Own(c, Node(tag));
    EXPECT_FALSE(SizeHeading(c.ctx, odd)) << tag;
    EXPECT_EQ(odd->props, nullptr) << tag;
    EXPECT_EQ(c.trace.substr(c.trace.size() - 25), "No FontSize for Heading!\n") << tag;
  }
}

// ----------------------------------------------------- on two threads

TEST(PropagateFonts, TwoThreadsGiveTheFoOneGives) {
  // Sections of paragraphs with fonts from tags, attributes and the sheets,
  // loose text, lists and tables (whose rows a side shares out again), some
  // in wrappers, so that the split falls at different levels; every block
  // the helper made must come back.
  const test::BlocksInUse before;
  test::Seeded next(5);
  for (int page = 0; page < 6; ++page) {
    std::string html = "<html><head><style>p.k { color: #aa0000; text-decoration: underline }"
                       " td { font-family: monospace } b { font-weight: normal }</style></head><body>";
    if (page % 2) html += "<div class=wrap>";
    for (int i = 0; i < 150 + 60 * page; ++i) {
      switch (next(8)) {
        case 0: html += "<h2>Heading " + std::to_string(i) + "</h2>"; break;
        case 1: html += "<p class=k>red <b>bold</b> and <i>it</i> words</p>"; break;
        case 2: html += "<p><font face=Courier size=2 color=green>font</font> tail <u>under</u></p>"; break;
        case 3: html += "<div>loose <em>text</em> in a div <span class=note>note</span></div>"; break;
        case 4: html += "<ul><li>one <b>b</b><li class=note>two</ul>"; break;
        case 5:
          html += "<table border=1><tr><td>a <b>x</b><td class=note>b<tr><td><table><tr><td><i>in</i> n<tr><td>c</table>"
                  "<td>d<tr><td><u>e</u> f<td class=note>g</table>";
          break;
        case 6: html += "<p style='font-size: " + std::to_string(8 + next(8)) + "pt'>sized <s>gone</s></p>"; break;
        default: html += "<blockquote><p>quoted</p>loose</blockquote>"; break;
      }
    }
    const std::string sheet = "h2 { color: #336699 } .note { font-size: 9pt; font-style: italic }";
    const std::string one = test::ConvertOnThreads(html, std::size_t(-1), sheet);
    const std::string two = test::ConvertOnThreads(html, 1, sheet);
    EXPECT_EQ(one, two) << "page " << page;
    // Rows shared from a body's second row on.
    EXPECT_EQ(one, test::ConvertOnThreads(html, 1, sheet, /*dropMessages=*/false, /*rowsLate=*/true)) << "page " << page;
    EXPECT_NE(one.find("fo:inline"), std::string::npos);
  }
  test::ExpectSameBlocks(before);
}

}  // namespace
}  // namespace ps

// Serialising the tree: the three write forms, attributes, raw comments, the
// top-level chain, and trees too large for recursion.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <random>
#include <string>

#include "model/tables.h"
#include "model/tree.h"
#include "reader/reader.h"
#include "run/run.h"
#include "support/test_util.h"
#include "transform/pass.h"
#include "writer/fo_values.h"
#include "writer/writer.h"
#include "writer/write_behind.h"

namespace ps {
namespace {

using test::Captured;
using test::Child;
using test::Node;
using test::Write;

// An empty block ends the line (a line feed in an inline would be read as a space).
const char* kBrElement = "<fo:block/>";

// Pushes a property of the given row directly, as a parser that never merges
// would (two attributes of one name, a STYLE key given twice).
void Push(TagNode* n, int row, const char* value) {
  TagProperty* p = new TagProperty;
  p->def = &kPropertyDatabase[static_cast<std::size_t>(row - 1)];
  if (value) p->value.assign(value);
  p->next = n->props;
  n->props = p;
}

// ------------------------------------------------------------------ forms

TEST(WriteNode, FullElementWritesTextChildrenEndTagAndTail) {
  Captured c;
  TagNode* p = Node("P");
  p->text.assign("one ");
  TagNode* b = Child(p, "B");  // no element of its own
  b->text.assign("two");
  b->tail.assign(" three");
  TagNode* a = Child(b, "A");
  a->text.assign("link");
  a->tail.assign("!");
  p->tail.assign("\n");
  // A link without a target is written as an inline.
  EXPECT_EQ(Write(p), "<fo:block>one two<fo:inline>link</fo:inline>! three</fo:block>\n");
  FreeTree(p);
}

TEST(WriteNode, EmptyElementTagDropsTextAndChildrenKeepsTail) {
  Captured c;
  TagNode* region = Node("XML-REGION-BEFORE");
  SetProperty(c.ctx, region, "XML-REGION-EXTENT", "1.5cm");
  region->text.assign("lost");
  Child(region, "P")->text.assign("lost too");
  region->tail.assign("\n\t");
  EXPECT_EQ(Write(region), "<fo:region-before extent=\"1.5cm\"/>\n\t");
  FreeTree(region);
}

TEST(WriteNode, StartTagOnlyForm) {
  TagNode* br = Node("BR");
  br->text.assign("lost");
  Child(br, "P");
  br->tail.assign("after");
  EXPECT_EQ(Write(br), std::string(kBrElement) + "after");

  // A row without an element and form 2 writes nothing but its tail.
  TagNode* doctype = Node("!DOCTYPE");
  doctype->raw.assign("!DOCTYPE html");
  doctype->tail.assign("\n");
  EXPECT_EQ(Write(doctype), "\n");
  FreeTree(br);
  FreeTree(doctype);
}

TEST(WriteNode, DeclarationNode) {
  Captured c;
  TagNode* root = CreateDocumentRoot(c.ctx);
  EXPECT_EQ(Write(root), "<?xml version=\"1.0\" encoding=\"ISO-8859-1\" ?>\r\n");
  EXPECT_EQ(c.messages, "");
  FreeTree(root);
}

TEST(WriteNode, CreatorComment) {
  Captured c;
  TagNode* comment = Node("!--");
  CreateProperty(c.ctx, comment, "--");
  SetProperty(c.ctx, comment, "--Version", "0.4.2");
  SetProperty(c.ctx, comment, "--Creator", "pagesmith");
  EXPECT_EQ(Write(comment), "<!-- Creator=\"pagesmith\" Version=\"0.4.2\" -->");
  FreeTree(comment);
}

// ------------------------------------------------------------- attributes

TEST(WriteNode, PropertiesInReverseCreationOrder) {
  Captured c;
  TagNode* master = Node("XML-SIMPLE-PAGE-MASTER");
  SetProperty(c.ctx, master, "XML-SIMPLE-PAGE-MASTER-NAME", "main");
  SetProperty(c.ctx, master, "XML-PAGE-HEIGHT", "29.7cm");
  SetProperty(c.ctx, master, "XML-PAGE-WIDTH", "21cm");
  SetProperty(c.ctx, master, "XML-MARGIN-TOP", "1cm");
  SetProperty(c.ctx, master, "XML-MARGIN-BOTTOM", "2cm");
  SetProperty(c.ctx, master, "XML-MARGIN-LEFT", "3cm");
  SetProperty(c.ctx, master, "XML-MARGIN-RIGHT", "4cm");
  EXPECT_EQ(Write(master),
            "<fo:simple-page-master margin-right=\"4cm\" margin-left=\"3cm\" margin-bottom=\"2cm\" margin-top=\"1cm\" "
            "page-width=\"21cm\" page-height=\"29.7cm\" master-name=\"main\"></fo:simple-page-master>");
  EXPECT_EQ(c.messages, "");
  FreeTree(master);
}

TEST(WriteNode, PropertiesWithoutOutputNameAreNeverWritten) {
  Captured c;
  TagNode* html = Node("HTML");
  SetProperty(c.ctx, html, "LANG", "de");
  SetProperty(c.ctx, html, "html-filepos", "1");
  SetProperty(c.ctx, html, "XML-CONFIG-convert-links", "yes");
  SetProperty(c.ctx, html, "XML-NAMESPACE-fo", "http://www.w3.org/1999/XSL/Format");
  SetProperty(c.ctx, html, "CLASS", "x");
  EXPECT_EQ(Write(html), "<fo:root xmlns:fo=\"http://www.w3.org/1999/XSL/Format\"></fo:root>");
  FreeTree(html);
}

TEST(WriteNode, ValuesAreConvertedForTheirQuotes) {
  Captured c;
  TagNode* a = Node("A");
  SetProperty(c.ctx, a, "HREF", "x.html?a=1&b=\"2\"<&nbsp;&sect;&amp;\x01");
  a->text.assign("a&nbsp;b");
  EXPECT_EQ(Write(a),
            "<fo:basic-link external-destination=\"x.html?a=1&#38;b=%222%22%3C%C2%A0%C2%A7&amp;%20\">"
            "a&#160;b</fo:basic-link>");
  FreeTree(a);
}

// Short values are converted once per row and value and then reused within
// one serialisation: a reused text must never carry another row's name,
// another value, or another output encoding.
TEST(WriteNode, ShortValuesReusedOnlyForTheirRowAndValue) {
  Captured c;
  TagNode* p = Node("P");
  std::string expected = "<fo:block>";
  const char* suffixes[] = {"", "\"", "<", "&"};
  const char* converted[] = {"", "&quot;", "&lt;", "&#38;"};
  // More distinct values than the reuse keeps, in an order that revisits them.
  for (int i = 0; i < 6000; ++i) {
    const int k = (i * 7919) % 3000;
    const std::string value = std::to_string(k) + suffixes[k % 4];
    TagNode* s = Child(p, "XML-INLINE");
    s->text.assign("t");
    SetProperty(c.ctx, s, "XML-FONT-SIZE", value);
    SetProperty(c.ctx, s, "XML-FONT-WEIGHT", value);
    const std::string v = std::to_string(k) + converted[k % 4];
    expected += "<fo:inline font-weight=\"" + v + "\" font-size=\"" + v + "\">t</fo:inline>";
  }
  expected += "</fo:block>";
  EXPECT_EQ(Write(p), expected);
  FreeTree(p);

  TagNode* a = Node("XML-INLINE");
  a->text.assign("t");
  SetProperty(c.ctx, a, "XML-FONT-SIZE", "&auml;");
  std::string latin1, utf8;
  WriteNode(latin1, a, false, OutputEncoding::Latin1);
  WriteNode(utf8, a, false, OutputEncoding::Utf8);
  EXPECT_EQ(latin1, "<fo:inline font-size=\"\xE4\">t</fo:inline>");
  EXPECT_EQ(utf8, "<fo:inline font-size=\"\xC3\xA4\">t</fo:inline>");
  FreeTree(a);
}

TEST(WriteNode, BareNamesOnlyOnDeclarationAndComments) {
  Captured c;
  TagNode* a = Node("A");
  a->text.assign("t");
  CreateProperty(c.ctx, a, "HREF");  // <a href>: no value, no attribute (and no target)
  EXPECT_EQ(Write(a), "<fo:inline>t</fo:inline>");
  SetProperty(c.ctx, a, "HREF", "");
  EXPECT_EQ(Write(a), "<fo:inline external-destination=\"\">t</fo:inline>");

  TagNode* decl = Node("XML-?");
  CreateProperty(c.ctx, decl, "XML-?-?");
  EXPECT_EQ(Write(decl), "<?xml ?>");
  TagNode* comment = Node("!--");
  CreateProperty(c.ctx, comment, "--");
  EXPECT_EQ(Write(comment), "<!-- -->");
  FreeTree(a);
  FreeTree(decl);
  FreeTree(comment);
}

// FOP 2.8 fails on an empty inline ("prevLM is null"): an inline or link
// without content is written as an empty wrapper, with its id; one with
// white space only, and empty elements of other kinds, stay as they are.
TEST(WriteNode, EmptyInlinesBecomeWrappers) {
  Captured c;
  TagNode* p = Node("P");
  TagNode* anchor = Child(p, "XML-LINK-REFERENCE");
  SetProperty(c.ctx, anchor, "XML-ID", "x");
  anchor->tail.assign(" a");
  TagNode* link = Child(p, "A");
  SetProperty(c.ctx, link, "HREF", "http://e.org/");
  TagNode* spaced = Child(p, "XML-INLINE");
  spaced->text.assign(" ");
  Child(p, "IMG");
  Child(Child(Child(p, "XML-INLINE"), "B"), "B");  // phrase markup alone writes nothing
  TagNode* worded = Child(Child(p, "XML-INLINE"), "B");
  worded->tail.assign("w");
  EXPECT_EQ(Write(p),
            "<fo:block><fo:wrapper id=\"x\"></fo:wrapper> a<fo:wrapper external-destination=\"http://e.org/\">"
            "</fo:wrapper><fo:inline> </fo:inline><fo:external-graphic/><fo:wrapper></fo:wrapper>"
            "<fo:inline>w</fo:inline></fo:block>");
  FreeTree(p);
}

TEST(WriteNode, EmptyOutputNameWritesOnlyWhiteValuesBare) {
  Captured c;
  TagNode* table = Node("TABLE");
  SetProperty(c.ctx, table, "XML-TABLE-LAYOUT", "fixed");
  TagProperty* sep = CreateProperty(c.ctx, table, "LIST-SEPARATOR");
  SetProperty(c.ctx, table, "BGCOLOR", "red");
  EXPECT_EQ(Write(table), "<fo:table background-color=\"red\" table-layout=\"fixed\"></fo:table>");
  sep->value.assign("\n\t    ");
  EXPECT_EQ(Write(table), "<fo:table background-color=\"red\"\n\t     table-layout=\"fixed\"></fo:table>");
  sep->value.assign("\" onload=\"x");
  EXPECT_EQ(Write(table), "<fo:table background-color=\"red\" table-layout=\"fixed\"></fo:table>");
  sep->value.assign("  \x01");
  EXPECT_EQ(Write(table), "<fo:table background-color=\"red\" table-layout=\"fixed\"></fo:table>");
  FreeTree(table);
}

TEST(WriteNode, EachAttributeNameAtMostOnce) {
  Captured c;
  // <img src=a src=b>: the later attribute stands first in the list and wins.
  TagNode* img = Node("IMG");
  Push(img, 94, "a");
  Push(img, 94, "b");
  EXPECT_EQ(Write(img), "<fo:external-graphic src=\"b\"/>");

  // Two rows with one output name: the first in list order wins; a second
  // id still leads there, on an empty wrapper inside (<a name=n id=x>).
  TagNode* a = Node("A");
  SetProperty(c.ctx, a, "NAME", "n");
  SetProperty(c.ctx, a, "XML-ID", "x");
  EXPECT_EQ(Write(a), "<fo:wrapper id=\"x\"><fo:wrapper id=\"n\"/></fo:wrapper>");
  a->text.assign("t");
  SetProperty(c.ctx, a, "XML-FONT-SIZE", "9pt");
  EXPECT_EQ(Write(a), "<fo:inline font-size=\"9pt\" id=\"x\"><fo:wrapper id=\"n\"/>t</fo:inline>");

  // A STYLE key given twice beside the font row of the same name.
  TagNode* p = Node("P");
  SetProperty(c.ctx, p, "XML-FONT-TEXT-DECORATION", "underline");
  Push(p, 136, "overline");
  Push(p, 136, "none");
  SetProperty(c.ctx, p, "XML-FONT-SIZE", "12pt");
  EXPECT_EQ(Write(p), "<fo:block font-size=\"12pt\" text-decoration=\"none\"></fo:block>");

  // Every named row on one element (owners do not matter to the writer):
  // each distinct name once, the first row of each in list order.
  TagNode* all = Node("TD");
  std::map<std::string, std::string> expected;  // name -> value of its first row in list order
  for (int row = 1; row <= 142; ++row) {
    const char* name = kPropertyDatabase[static_cast<std::size_t>(row - 1)].outputName;
    // Names whose values are checked take no bare row number.
    if (!name || !*name || ValueCheckOf(name) != ValueCheck::None) continue;
    const std::string value = std::to_string(row);
    Push(all, row, value.c_str());
    expected[name] = value;  // pushed later stands earlier in the list
  }
  const std::string out = Write(all);
  ASSERT_GT(expected.size(), 40u);
  for (const auto& [name, value] : expected) {
    const std::string attr = " " + name + "=\"";
    const std::size_t at = out.find(attr);
    ASSERT_NE(at, std::string::npos) << name;
    EXPECT_EQ(out.find(attr, at + 1), std::string::npos) << name << " twice";
    EXPECT_EQ(out.compare(at + attr.size(), value.size() + 1, value + "\""), 0) << name;
  }
  FreeTree(img);
  FreeTree(a);
  FreeTree(p);
  FreeTree(all);
}

// ----------------------------------------------------------- raw comments

std::string RawComment(const std::string& raw, OutputEncoding enc = OutputEncoding::Latin1) {
  TagNode* n = Node("!--");
  n->raw.assign(raw);
  std::string out;
  WriteNode(out, n, false, enc);
  FreeTree(n);
  return out;
}

// What XML demands of a comment: no "--" inside, no '-' at its end.
bool WellFormedComment(const std::string& s) {
  if (s.size() < 7 || s.compare(0, 4, "<!--") != 0 || s.compare(s.size() - 3, 3, "-->") != 0) return false;
  std::string body = s.substr(4, s.size() - 7);
  return body.find("--") == std::string::npos && (body.empty() || body.back() != '-');
}

TEST(WriteNode, RawCommentsBecomeWellFormed) {
  EXPECT_EQ(RawComment("!-- plain --"), "<!-- plain -->");
  EXPECT_EQ(RawComment("!-- a -- b --"), "<!-- a - - b -->");
  EXPECT_EQ(RawComment("!--x-"), "<!--x- -->");
  EXPECT_EQ(RawComment("!--x---"), "<!--x- -->");  // one trailing "--" goes, the '-' left gets a blank
  EXPECT_EQ(RawComment("!--[if IE]"), "<!--[if IE]-->");
  EXPECT_EQ(RawComment("!--"), "<!---->");
  EXPECT_EQ(RawComment("!----"), "<!---->");
  EXPECT_EQ(RawComment("!-----"), "<!--- -->");
  EXPECT_EQ(RawComment("!-- <b>&amp; & \xE4 --"), "<!-- <b>&amp; & \xE4 -->");  // no entity conversion
  EXPECT_EQ(RawComment("!--a\x01\x1F" "b--"), "<!--a  b-->");
  // Characters XML forbids, in UTF-8 output.
  EXPECT_EQ(RawComment("!--a\xEF\xBF\xBF" "b--", OutputEncoding::Utf8), "<!--a\xEF\xBF\xBD" "b-->");
}

TEST(WriteNode, RawCommentsAreWellFormedWhateverTheyHold) {
  std::mt19937 rng(7);
  const char alphabet[] = {'-', '-', '-', 'a', ' ', '>', '\x01', '!'};
  for (int i = 0; i < 2000; ++i) {
    std::string raw = "!--";
    const int len = static_cast<int>(rng() % 12);
    for (int j = 0; j < len; ++j) raw.push_back(alphabet[rng() % sizeof alphabet]);
    const std::string out = RawComment(raw);
    EXPECT_TRUE(WellFormedComment(out)) << "raw \"" << raw << "\" written as \"" << out << "\"";
  }
}

TEST(WriteNode, RawCommentIgnoresItsProperties) {
  Captured c;
  TagNode* n = Node("!--");
  n->raw.assign("!-- x --");
  SetProperty(c.ctx, n, "--Creator", "someone");
  n->tail.assign("\n");
  EXPECT_EQ(Write(n), "<!-- x -->\n");
  FreeTree(n);
}

// ------------------------------------------------------------- documents

TEST(WriteDocument, MessagesDeclarationAndFinalLineBreak) {
  Captured c;
  c.ctx.documentRoot = CreateDocumentRoot(c.ctx);
  std::string fo;
  OutStream out = OutStream::ToString(&fo);
  EXPECT_TRUE(WriteDocument(c.ctx, out));
  EXPECT_EQ(fo, "<?xml version=\"1.0\" encoding=\"ISO-8859-1\" ?>\r\n\r\n");
  EXPECT_EQ(c.messages, "converting special chars and writing out... done\n");
}

TEST(WriteDocument, TopLevelTailsOnlyWhenWhite) {
  Captured c;
  c.ctx.documentRoot = CreateDocumentRoot(c.ctx);
  TagNode* html = NewNode(FindTagDef(nullptr, "HTML"));
  c.ctx.documentRoot->next = html;
  Child(html, "BODY")->tail.assign("inner & kept");
  html->tail.assign("trailing words");
  std::string fo;
  OutStream out = OutStream::ToString(&fo);
  WriteDocument(c.ctx, out);
  EXPECT_EQ(fo,
            "<?xml version=\"1.0\" encoding=\"ISO-8859-1\" ?>\r\n"
            "<fo:root><fo:flow><fo:block/></fo:flow>inner &#38; kept</fo:root>\r\n");

  html->tail.assign(" \t\r\n");
  fo.clear();
  WriteDocument(c.ctx, out);
  EXPECT_EQ(fo,
            "<?xml version=\"1.0\" encoding=\"ISO-8859-1\" ?>\r\n"
            "<fo:root><fo:flow><fo:block/></fo:flow>inner &#38; kept</fo:root> \t\r\n\r\n");
}

TEST(WriteDocument, ReportsAFailingStream) {
  std::FILE* full = std::fopen("/dev/full", "w");
  if (!full) GTEST_SKIP() << "no /dev/full here";
  Captured c;
  c.ctx.documentRoot = CreateDocumentRoot(c.ctx);
  OutStream out = OutStream::ToFile(full);
  EXPECT_FALSE(WriteDocument(c.ctx, out));
  EXPECT_EQ(c.messages, "converting special chars and writing out... done\n");
  OutStream behind = OutStream::ToFile(full);  // written by a helper of its own
  EXPECT_FALSE(WriteDocument(c.ctx, behind, 1));
  std::fclose(full);
}

// A page read and converted, then written by one thread and by two: both
// outputs, and whether the second took segments from its helper (which
// `waitForHelper` makes sure of whenever there are any).
struct WrittenTwice {
  std::string one, two;
  bool helped = false;
};
WrittenTwice WriteTwice(const std::string& html, bool waitForHelper) {
  Captured c;
  c.ctx.documentRoot = CreateDocumentRoot(c.ctx);
  c.ctx.inputName = "page.html";
  LoadHtmlText(c.ctx, html);
  ProcessChain(c.ctx, c.ctx.documentRoot);
  WrittenTwice w;
  OutStream toOne = OutStream::ToString(&w.one);
  OutStream toTwo = OutStream::ToString(&w.two);
  EXPECT_TRUE(WriteDocument(c.ctx, toOne, std::size_t(-1)));
  EXPECT_TRUE(WriteDocument(c.ctx, toTwo, 1, &w.helped, waitForHelper));
  return w;
}

TEST(WriteDocument, BytesWrittenBehindAreTheBytesWrittenHere) {
  // A few large preformatted blocks, text alone: too few places to cut
  // segments at, so from one node on the bytes go out through a helper,
  // chunk after chunk.
  std::string html = "<html><body>";
  for (int k = 0; k < 5; ++k) {
    html += "<pre id=p" + std::to_string(k) + ">";
    for (int line = 0; line < 9000; ++line)
      html += "words &amp; \xe9 &lt;more&gt; words and words " + std::string(line % 40, 'x') + "\n";
    html += "</pre>";
  }
  html += "</body></html>";
  const WrittenTwice w = WriteTwice(html, false);
  EXPECT_FALSE(w.helped) << "segments were cut: the page does not test writing behind";
  EXPECT_GT(w.one.size(), 2 * WriteBehind::kChunk);
  EXPECT_TRUE(w.one == w.two);
}

TEST(WriteDocument, TwoThreadsWriteTheBytesOneWrites) {
  // Converted pages of blocks, inline text, lists, tables with spans and
  // links, with ids repeated all over: each page is written by one thread
  // and by two, byte for byte alike.
  test::Seeded next(11);
  int helpedPages = 0;
  for (int page = 0; page < 12; ++page) {
    std::string html = "<html><head><title>t</title></head><body>";
    int open = 0;
    // The later pages are long enough to be cut into many segments.
    for (int i = 0; i < 300 + 400 * page; ++i) {
      const std::string id = std::to_string(next(40 + 40 * page));
      switch (next(10)) {
        case 0: html += "<div>"; ++open; break;
        case 1: if (open) { html += "</div>"; --open; } break;
        case 2: html += "<p id=i" + id + ">para <b>bold</b> <a href=#i" + id + ">go</a></p>"; break;
        case 3: html += "loose text <i>it</i> "; break;
        case 4: html += "<ul><li>one<li id=i" + id + ">two</ul>"; break;
        case 5: html += "<table border=1><tr><td colspan=3>a<td>b<tr><td rowspan=2>c<td>d</table>"; break;
        case 6: html += "<h2><a name=i" + id + " id=j" + id + ">head</a></h2>"; break;
        case 7: html += "<pre>pre  text\n  more</pre>"; break;
        case 8: html += "<p>x &amp; y &#233; <span id=i" + id + "></span></p>"; break;
        default: html += "<br><hr>"; break;
      }
    }
    html += "</body></html>";
    const WrittenTwice w = WriteTwice(html, true);
    helpedPages += w.helped;
    EXPECT_EQ(w.one, w.two) << "page " << page;
  }
  EXPECT_GE(helpedPages, 8) << "the helper's segments should mostly be taken";
}

TEST(WriteDocument, AFewLargeNestedTablesAreSharedInside) {
  // No element has many children: the segments lie in the rows and cells of
  // tables at several depths, under parents of each kind.
  test::Seeded next(5);
  const std::function<std::string(int)> table = [&](int depth) {
    std::string t = "<table border=1>";
    for (int r = 0; r < 3; ++r) {
      t += "<tr>";
      for (int c = 0; c < 3; ++c)
        t += "<td id=c" + std::to_string(next(50)) + ">" +
             (depth < 5 && next(2) ? table(depth + 1) : "cell &amp; <b>text</b> " + std::to_string(r)) + "</td>";
      t += "</tr>";
    }
    return t + "</table>";
  };
  std::string html = "<html><body>";
  for (int k = 0; k < 3; ++k) html += "<p>before <i>" + std::to_string(k) + "</i></p>" + table(0) + "\n";
  html += "</body></html>";
  const WrittenTwice w = WriteTwice(html, true);
  EXPECT_TRUE(w.helped);
  EXPECT_EQ(w.one, w.two);
}

// --------------------------------------------------------- large trees

TEST(WriteNode, MillionsOfSiblingsWithoutRecursion) {
  TagNode* body = Node("BODY");
  const TagDef* b = FindTagDef(nullptr, "B");  // no element: only the tail shows
  TagNode* last = nullptr;
  const int count = test::kManySiblings;
  for (int i = 0; i < count; ++i) {
    TagNode* n = NewNode(b);
    n->parent = body;
    if (last)
      last->next = n;
    else
      body->firstChild = n;
    last = n;
    if (i % 1000 == 0 || i == count - 1) n->tail.assign("x");  // marks that the walk got there
  }
  body->lastChild = last;
  const std::string out = Write(body);
  // The flow admits only blocks: the run of text is enclosed in one.
  EXPECT_EQ(out.size(),
            static_cast<std::size_t>(count / 1000 + 1) + std::string("<fo:flow><fo:block></fo:block></fo:flow>").size());
  EXPECT_EQ(out.substr(0, 20), "<fo:flow><fo:block>x");
  EXPECT_EQ(out.substr(out.size() - 22), "x</fo:block></fo:flow>");
  FreeTree(body);
}

TEST(WriteNode, DeepNestingWithoutRecursion) {
  TagNode* top = Node("DIV");
  TagNode* n = top;
  const int depth = 1'000'000;
  for (int i = 1; i < depth; ++i) {
    TagNode* child = NewNode(n->def);
    child->parent = n;
    n->firstChild = n->lastChild = child;
    child->tail.assign("t");
    n = child;
  }
  n->text.assign("core");
  const std::string out = Write(top);
  EXPECT_EQ(out.size(), depth * std::string("<fo:block></fo:block>").size() + 4 + (depth - 1));
  EXPECT_EQ(out.substr(out.size() - 23), "</fo:block>t</fo:block>");
  FreeTree(top);
}

}  // namespace
}  // namespace ps

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "reader/reader.h"
#include "run/run.h"
#include "support/test_util.h"

namespace ps {
namespace {

using test::Captured;

// Parses into a fresh tree; returns the top-level node after the declaration.
// Fragments are read bare, so that the nesting repairs are seen on their own.
TagNode* Parse(Captured& c, std::string_view html) {
  c.ctx.documentRoot = CreateDocumentRoot(c.ctx);
  ParseHtml(c.ctx, html, false);
  return c.ctx.documentRoot->next;
}

TagNode* ImpliedParse(Captured& c, std::string_view html) {
  c.ctx.documentRoot = CreateDocumentRoot(c.ctx);
  ParseHtml(c.ctx, html);
  return c.ctx.documentRoot->next;
}

std::string Val(const TagNode* n, const char* prop) {
  TagProperty* p = FindProperty(n, prop);
  if (!p) return "<none>";
  return p->value.has() ? std::string(p->value.view()) : "<null>";
}

// The tree as a compact string: name(text)[children]{tail}, siblings after ';'.
std::string Shape(const TagNode* n) {
  std::string s;
  for (; n; n = n->next) {
    if (!s.empty()) s += ';';
    s += n->def->name;
    if (n->text.has()) s.append("(").append(n->text.view()).append(")");
    if (n->firstChild) s.append("[").append(Shape(n->firstChild)).append("]");
    if (n->tail.has()) s.append("{").append(n->tail.view()).append("}");
  }
  return s;
}

TEST(ParseHtml, TextOutsideAnyElementIsDropped) {
  Captured c;
  EXPECT_EQ(Parse(c, "no tags at all"), nullptr);
  EXPECT_EQ(c.messages, "");
}

// A page fragment is read inside an implied HTML and BODY, which have no raw
// text and no position; an HTML start tag anywhere turns that off.
TEST(ParseHtml, FragmentsGetImpliedHtmlAndBody) {
  Captured a;
  TagNode* html = ImpliedParse(a, "no tags at all");
  EXPECT_EQ(Shape(html), "HTML[BODY(no tags at all)]");
  EXPECT_TRUE(html->raw.null());
  EXPECT_EQ(html->props, nullptr);
  EXPECT_EQ(html->firstChild->props, nullptr);

  Captured b;
  EXPECT_EQ(Shape(ImpliedParse(b, "<h1>a</h1><p>b<p>c")), "HTML[BODY[H1(a);P(b);P(c)]]");

  Captured c;
  EXPECT_EQ(Shape(ImpliedParse(c, "x<body>y</body>")), "HTML(x)[BODY(y)]");

  Captured d;
  EXPECT_EQ(Shape(ImpliedParse(d, "")), "HTML[BODY]");

  Captured e;  // "<html/>" is an HTML start tag too; "<htmlx>" and "</html>" are not
  EXPECT_EQ(Shape(ImpliedParse(e, "<p>a</p><html/>")), "HTML[BODY]");  // the body is added after reading
  Captured f;
  EXPECT_EQ(Shape(ImpliedParse(f, "<htmlx></html>")), "HTML[BODY]");
}

TEST(ParseHtml, TextAndTailAreStoredByteForByte) {
  Captured c;
  TagNode* div = Parse(c, "lead<DIV>  a &amp;\xE4<b>x</B>\r\n tail </div> after");
  ASSERT_NE(div, nullptr);
  EXPECT_EQ(Shape(div), "DIV(  a &amp;\xE4)[B(x){\r\n tail }]{ after}");
  EXPECT_EQ(std::string(div->raw.view()), "DIV");
  EXPECT_EQ(div->position(), 5u);
  EXPECT_EQ(div->firstChild->position(), 20u);
  EXPECT_EQ(c.messages, "");
}

// A NUL byte is no character: it is dropped wherever it stands, and what
// follows it is read (it used to end the input there); positions stay the file's.
TEST(ParseHtml, NulBytesAreDropped) {
  Captured c;
  std::string html("<div>a\0<p>b\0c</p><s\0pan>d</span>\0</x>", 37);
  TagNode* div = Parse(c, html);
  EXPECT_EQ(Shape(div), "DIV(a)[P(bc);SPAN(d)]");
  EXPECT_NE(c.messages.find("Pos 34"), std::string::npos) << c.messages;
}

TEST(ParseHtml, TopLevelKeepsOnlyTheLastNode) {
  Captured c;
  TagNode* top = Parse(c, "<!DOCTYPE html><p>one</p><p>two</p>");
  EXPECT_EQ(Shape(top), "P(two)");
  EXPECT_EQ(top->next, nullptr);
}

// A TD start ends the TH left open before it, as HTML's optional end tags
// say; the table's end tag closes the cell and the row left open, so the
// text after the document stays out of the table.
TEST(ParseHtml, DocumentStructureWithCellInCell) {
  Captured c;
  TagNode* html = Parse(c,
                        "<html><head><title>T</title></head>"
                        "<body><h1>H</h1><ul><li>a<li>b</ul><table><tr><th>x<td>y</table></body></html>\nrest<p>");
  EXPECT_EQ(Shape(html), "HTML[HEAD[TITLE(T)];BODY[H1(H);UL[LI(a);LI(b)];TABLE[TR[TH(x);TD(y)]]]]{\nrest}");
  EXPECT_EQ(c.messages,
            "Tag \"li\" not closed!!!\nPos 61\n"
            "Tag \"li\" not closed!!!\nPos 66\n"
            "Tag \"th\" not closed!!!\nPos 87\n"
            "Tag \"td\" not closed!!!\nPos 92\n"
            "Tag \"tr\" not closed!!!\nPos 92\n");
  TagNode* td = html->lastChild->lastChild->firstChild->firstChild;
  EXPECT_EQ(std::string(td->raw.view()), "th");
}


// Rows are remembered by the bytes of the name: every case and length must
// still find its own row, and names that share a slot must not take each
// other's (300 unknown names cannot all have slots of their own).
TEST(ParseHtml, EveryNameFindsItsOwnRow) {
  Captured c;
  TagNode* html = Parse(c, "<html><body><DIV><dIv>a</DIV><blockquote>b</BLOCKQUOTE><Foo>c</foo></div></body></html>");
  EXPECT_EQ(Shape(html), "HTML[BODY[DIV[DIV(a);BLOCKQUOTE(b){c}]]]");

  Captured many;
  std::string page = "<html><body>";
  for (int i = 0; i < 300; ++i)
    page += "<x" + std::to_string(i) + ">" + (i % 2 ? "<b>t</b>" : "<B>t</B>") + "<strong-" + std::to_string(i) + ">";
  page += "</body></html>";
  const TagNode* body = Parse(many, page)->firstChild;
  int bold = 0, other = 0;
  for (const TagNode* n = body->firstChild; n; n = n->next) (std::string_view(n->def->name) == "B" ? bold : other)++;
  EXPECT_EQ(bold, 300);
  EXPECT_EQ(other, 0);
}

const char* kNoNodeLine = "The property \"html-FilePos\" can't be created under \"\"!\n";

// A '<' that no name, '/', '!', '?' or '>' follows starts no tag: it is
// text, wherever the text it stands in goes.
TEST(ParseHtml, LessThanThatStartsNoTagIsText) {
  Captured c;
  TagNode* div = Parse(c, "<div>if a < b && x<10;<br>y <= 2 <3<b>z</b> <<i>w</i></div>");
  EXPECT_EQ(Shape(div), "DIV(if a < b && x<10;)[BR{y <= 2 <3};B(z){ <};I(w)]");
  EXPECT_EQ(c.messages, "");
  Captured top;
  EXPECT_EQ(Shape(Parse(top, "1 < 2<div>a</div>")), "DIV(a)");
  EXPECT_EQ(top.messages, "");
}

// A block a list does not admit goes into the list's last item, open again,
// with the text before it; other refusals stay as they were.
TEST(ParseHtml, ListsHandWhatTheyRefuseToTheirLastItem) {
  Captured c;
  EXPECT_EQ(Shape(Parse(c, "<ul><li>a</li> t <pre>b</pre>c<li>d</ul>")), "UL[LI(a t )[PRE(b){c}];LI(d)]");
  EXPECT_EQ(c.messages, "Tag \"li\" not closed!!!\nPos 31\nTag \"li\" not closed!!!\nPos 36\n");
  Captured first;
  EXPECT_EQ(Shape(Parse(first, "<ol><pre>x</pre></ol>")), "OL(x)");
  EXPECT_EQ(first.messages, std::string("Tag \"pre\" is not allowed as child of \"OL\"!!!\nPos 5\n") + kNoNodeLine +
                                "Tag \"/pre\" closes no open element, ignored!!!\nPos 11\n");
}

TEST(ParseHtml, TextAfterATagThatMadeNoNodeKeepsItsPlace) {
  Captured c;
  // After the element's children: their last one's tail, in reading order.
  TagNode* div = Parse(c, "<div>a<b>x</b><>c<foo bar>d</div>");
  EXPECT_EQ(Shape(div), "DIV(a)[B(x){cd}]");
  EXPECT_EQ(c.messages, std::string("Found empty Tag!\nPos 15\n"
                                    "Tag \"foo\" not found in internal database!!!\nPos 18\n"
                                    "TagString: \"foo bari\"\n\n") +
                            kNoNodeLine);
}

TEST(ParseHtml, EmptyTagsWithNothingOpen) {
  Captured c;
  EXPECT_EQ(Parse(c, "x<>y"), nullptr);
  EXPECT_EQ(c.messages, "Found empty Tag!\nPos 2\n");
  Captured last;
  EXPECT_EQ(Shape(Parse(last, "<div>a<")), "DIV(a)");
  EXPECT_EQ(last.messages, "Found empty Tag!\nPos 7\n");
}

TEST(ParseHtml, SelfClosedAndEmptyElementsTakeTheTextAsTail) {
  Captured c;
  TagNode* div = Parse(c, "<div><b/>t1<br>t2<img src=x/>t3<br/>t4</div>");
  EXPECT_EQ(Shape(div), "DIV[B{t1};BR{t2};IMG{t3};BR{t4}]");
  TagNode* img = div->firstChild->next->next;
  EXPECT_EQ(std::string(img->raw.view()), "img src=x");
  EXPECT_EQ(Val(img, "SRC"), "x");
  EXPECT_EQ(c.messages, "");
}

TEST(ParseHtml, SelfClosedLinkHasNoElementForItsEndTag) {
  Captured c;
  TagNode* div = Parse(c, "<div><a href=x/>link</a>more</div>");
  // No A is open: the end tag is ignored, and the text after it joins the A's tail.
  EXPECT_EQ(Shape(div), "DIV[A{linkmore}]");
  EXPECT_EQ(Val(div->firstChild, "HREF"), "x");
  EXPECT_EQ(test::PropNames(div->firstChild), "HREF");
  EXPECT_EQ(c.messages, "Tag \"/a\" closes no open element, ignored!!!\nPos 21\n");
}

TEST(ParseHtml, PositionPropertyReplacesAnAttributeOfThatName) {
  Captured c;
  TagNode* div = Parse(c, "<div html-FILEPOS=99 class=c>");
  EXPECT_EQ(test::PropNames(div), "CLASS");
  EXPECT_EQ(div->position(), 1u);
}

TEST(ParseHtml, CommentsEndAtTheirClosingDashes) {
  Captured c;
  // Commented-out markup does nothing: '<' and '>' inside are the comment's.
  TagNode* div = Parse(c, "<div><!--x > </div><p> y -->z</div>");
  EXPECT_EQ(Shape(div), "DIV[!--{z}]");
  EXPECT_EQ(std::string(div->firstChild->raw.view()), "!--x > </div><p> y --");
  EXPECT_EQ(c.messages, "");
  EXPECT_EQ(test::PropNames(div->firstChild), "");
  EXPECT_EQ(div->firstChild->position(), 6u);
  Captured e;
  EXPECT_EQ(Shape(Parse(e, "<div>a<!---->b<!--<p>c</p>")), "DIV(a)[!--{b};!--]");
  EXPECT_EQ(std::string(Parse(e, "<div><!--<p>c</p>")->firstChild->raw.view()), "!--<p>c</p>");
  Captured t;
  EXPECT_EQ(Shape(Parse(t, "<tr><!-- x --><td>a</td></tr>")), "TR[TD(a)]");
  EXPECT_EQ(t.messages, std::string("Tag \"!--\" is not allowed as child of \"TR\"!!!\nPos 5\n") + kNoNodeLine);
}

TEST(ParseHtml, XmlDeclarationAndProgramTagsHaveNoRow) {
  Captured c;
  TagNode* div = Parse(c, "<?xml version=\"1.0\"?><div><XML-INLINE>x</xml-inline><xml-?/></div>");
  EXPECT_EQ(Shape(div), "DIV(x)");
  EXPECT_EQ(c.messages, std::string("Tag \"?xml\" not found in internal database!!!\nPos 1\n"
                                    "TagString: \"?xml version=\"1.0\"?i\"\n\n") +
                            kNoNodeLine +
                            "Tag \"XML-INLINE\" not found in internal database!!!\nPos 27\n"
                            "TagString: \"XML-INLINEi\"\n\n" +
                            kNoNodeLine +
                            "Tag \"/xml-inline\" closes no open element, ignored!!!\nPos 40\n"
                            "Tag \"xml-?\" not found in internal database!!!\nPos 53\n"
                            "TagString: \"xml-?i\"\n\n" +
                            kNoNodeLine);
}

// The caption is a node of its own (the table steps move it); the row
// group wrappers vanish.
TEST(ParseHtml, TableWrappersVanishAndColumnsAreRead) {
  Captured c;
  TagNode* table = Parse(c,
                         "<table><caption>Cap</caption><colgroup><col width=2></colgroup>"
                         "<tbody><tr><td>x</td></tr></tbody></table>");
  EXPECT_EQ(Shape(table), "TABLE[CAPTION(Cap);XML-TABLE-COLUMN;TR[TD(x)]]");
  EXPECT_EQ(Val(table->firstChild->next, "XML-TABLE-COLUMN-WIDTH"), "2");
  EXPECT_EQ(std::string(table->firstChild->next->raw.view()), "col width=2");
  EXPECT_EQ(c.messages, std::string(kNoNodeLine) + "Processing tag \"col\" like tag \"XML-TABLE-COLUMN\"\nPos 40\n" +
                            kNoNodeLine);
}

TEST(ParseHtml, ListItemsCloseEachOther) {
  Captured c;
  TagNode* ul = Parse(c, "<ul><li>a<li>b<ul><li>c</ul>d</ul>");
  EXPECT_EQ(Shape(ul), "UL[LI(a);LI(b)[UL[LI(c)]{d}]]");
  EXPECT_EQ(c.messages,
            "Tag \"li\" not closed!!!\nPos 10\n"
            "Tag \"li\" not closed!!!\nPos 24\n"
            "Tag \"li\" not closed!!!\nPos 30\n");
}

// A term or definition ends the open one and a paragraph inside it, as
// HTML's implied end tags do; a nested list keeps its own.
TEST(ParseHtml, TermsAndDefinitionsCloseEachOther) {
  Captured c;
  TagNode* dl = Parse(c, "<dl><dt>a<dd>b <b>c</b> d<dt>e<dd><p>f<dd>g<dl><dt>h<dd>i</dl>j</dl>");
  EXPECT_EQ(Shape(dl), "DL[DT(a);DD(b )[B(c){ d}];DT(e);DD[P(f)];DD(g)[DL[DT(h);DD(i)]{j}]]");
  EXPECT_EQ(c.messages.find("not allowed"), std::string::npos) << c.messages;
}

// Table parts left open end where the next part or a caption begins.
TEST(ParseHtml, TablePartsCloseWhatIsLeftOpen) {
  Captured c;
  TagNode* table = Parse(c, "<table><caption>c<tr><td>a<caption>d</caption><thead><tr><th>h<tfoot><tr><td>f</table>");
  EXPECT_EQ(Shape(table), "TABLE[CAPTION(c);TR[TD(a)];CAPTION(d);THEAD[TR[TH(h)]];TFOOT[TR[TD(f)]]]");
  EXPECT_EQ(c.messages.find("not allowed"), std::string::npos) << c.messages;
}

// Optional end tags, as HTML has them: a cell ends at the next cell or
// row, a row group at the next one, an item at the next item through the
// phrase markup inside it; none of them reaches past its own table or list.
TEST(ParseHtml, StartTagsEndWhatHtmlLetsThemEnd) {
  const std::pair<const char*, const char*> cases[] = {
      {"<table><TR><TD>J<TD>Scroll up.<TR><TD>K<TD>Scroll down.</table>",
       "TABLE[TR[TD(J);TD(Scroll up.)];TR[TD(K);TD(Scroll down.)]]"},
      {"<table><tr><td><b>a<td>b<tr><th>c</table>", "TABLE[TR[TD[B(a)];TD(b)];TR[TH(c)]]"},
      {"<table><thead><tr><th>h<tbody><tr><td>b<tfoot><tr><td>f</table>",
       "TABLE[THEAD[TR[TH(h)]];TR[TD(b)];TFOOT[TR[TD(f)]]]"},
      {"<table><tr><td><table><tr><td>a<tr><td>b</table>c<td>d</table>",
       "TABLE[TR[TD[TABLE[TR[TD(a)];TR[TD(b)]]{c}];TD(d)]]"},
      {"<p>a<table><tr><td><p>b<p>c</td></tr></table>d", "P(a)[TABLE[TR[TD[P(b);P(c)]]]{d}]"},
      {"<ul><li><b>x<li>y<ul><li>z<li>w</ul></ul>", "UL[LI[B(x)];LI(y)[UL[LI(z);LI(w)]]]"},
      {"<dl><dt><i>t<dd><p>d<dt>u</dl>", "DL[DT[I(t)];DD[P(d)];DT(u)]"},
  };
  for (const auto& [html, shape] : cases) {
    Captured c;
    EXPECT_EQ(Shape(Parse(c, html)), shape) << html;
    EXPECT_EQ(c.messages.find("not allowed"), std::string::npos) << html << c.messages;
  }
}

// A DIV opened inside a DIV nests in it, as in HTML: the outer one keeps its
// content after the inner one ends, and nothing is reported.
TEST(ParseHtml, DivsNestInDivs) {
  const std::pair<const char*, const char*> cases[] = {
      {"<div>a<div>b</div>c</div>", "DIV(a)[DIV(b){c}]"},
      {"<div><div></div> </div>", "DIV[DIV{ }]"},
      {"<div><div><div>x</div></div>y</div>", "DIV[DIV[DIV(x)]{y}]"},
      {"<div><p>a<div>b</div></div>", "DIV[P(a)[DIV(b)]]"},
  };
  for (const auto& [html, shape] : cases) {
    Captured c;
    EXPECT_EQ(Shape(Parse(c, html)), shape) << html;
    EXPECT_EQ(c.messages.find("not or incorrect closed"), std::string::npos) << html << c.messages;
  }
}

// A table part or list item with no table or list around it is read as a
// block stand-in, closed by its own end tag; a loose column is dropped.
TEST(ParseHtml, LoosePartsAndItemsStandInAsBlocks) {
  const std::pair<const char*, const char*> cases[] = {
      {"<dl><li>c</li>d</dl>", "DL[XML-LOOSE-ITEM(c){d}]"},
      {"<div><li>a<li>b</div>", "DIV[XML-LOOSE-ITEM(a);XML-LOOSE-ITEM(b)]"},
      {"<a href=x><th>h</th>t</a>", "A[XML-LOOSE-CELL(h){t}]"},
      {"<a><tfoot><tr><td>f<td>g</a>", "A[XML-LOOSE-ROW;XML-LOOSE-ROW[XML-LOOSE-CELL(f);XML-LOOSE-CELL(g)]]"},
      {"<a><colgroup><col></a>y", "A{y}"},
      {"<ul><li>a</ul>", "UL[LI(a)]"},
  };
  for (const auto& [html, shape] : cases) {
    Captured c;
    EXPECT_EQ(Shape(Parse(c, html)), shape) << html;
  }
}

TEST(ParseHtml, NestedLinksBecomeSiblings) {
  Captured c;
  TagNode* p = Parse(c, "<p><a href=1>x<a href=2>y</a>z</a></p>");
  EXPECT_EQ(Shape(p), "P[A(x);A(y){z}]");
  EXPECT_EQ(c.messages,
            "Tag \"a href=1\" not or incorrect closed!!!\nPos 15\n"
            "Tag \"/a\" closes no open element, ignored!!!\nPos 31\n");
  // An A inside a B inside an A closes the outer A; at the top level the new
  // A then takes the old one's place.
  Captured top;
  EXPECT_EQ(Shape(Parse(top, "<a>x<b>y<a>z")), "A(z)");
  EXPECT_EQ(top.messages, "Tag \"a\" not or incorrect closed!!!\nPos 9\n");
}

// An end tag whose element is not open anywhere closes nothing and is not
// remembered: a stray </p> must not end the next paragraph at its first link.
TEST(ParseHtml, StrayEndTagsAreIgnored) {
  Captured c;
  TagNode* body = Parse(c, "<body><p>a <a>b</a> c</p></p><p>d <a><span>e</span></a> f</p></x><p>g</body>");
  EXPECT_EQ(Shape(body), "BODY[P(a )[A(b){ c}];P(d )[A[SPAN(e)]{ f}];P(g)]");
  EXPECT_EQ(c.messages,
            "Tag \"/p\" closes no open element, ignored!!!\nPos 26\n"
            "Tag \"/x\" closes no open element, ignored!!!\nPos 62\n"
            "Tag \"p\" not closed!!!\nPos 70\n");
  EXPECT_EQ(c.trace.find("bctpos 1"), std::string::npos);
}

TEST(ParseHtml, ClosesListsCloseInlineElements) {
  Captured c;
  // SUP admits nothing, and TABLE closes inline elements.
  EXPECT_EQ(Shape(Parse(c, "<div><sup>a<table>")), "DIV[SUP(a);TABLE]");
  EXPECT_EQ(c.messages, "Tag \"sup\" not closed!!!\nPos 12\n");
  Captured top;
  EXPECT_EQ(Shape(Parse(top, "<sup>a<table>x")), "TABLE(x)");
  Captured link;
  EXPECT_EQ(Shape(Parse(link, "<p><a>x<table>")), "P[A(x);TABLE]");
  EXPECT_EQ(link.messages, "Tag \"a\" not closed!!!\nPos 8\n");
}

TEST(ParseHtml, HtmlEndTagEndsTheRead) {
  Captured c;
  TagNode* div = Parse(c, "<div>a</div>b</HTML>c<p>d");
  EXPECT_EQ(Shape(div), "DIV(a){b}");
  EXPECT_EQ(c.messages, "");
  const std::string ending = "Processing Tag \"/HTML\"\nreturning after /html\n";
  EXPECT_EQ(c.trace.substr(c.trace.size() - ending.size()), ending);
  // White space before the '>' makes no other tag: the read ends there too,
  // and a comment after it cannot take the document's place.
  Captured more;
  TagNode* top = Parse(more, "<div>a</div></html ><!-- c -->");
  EXPECT_EQ(Shape(top), "DIV(a)");
}

// An end tag whose element is open further out, beyond one that needs its
// own end tag, becomes pending.
TEST(ParseHtml, TextAfterAPendingEndTag) {
  {
    // The innermost element has children: its last child's tail.
    Captured c;
    EXPECT_EQ(Shape(Parse(c, "<div><b>a<i>c</i></div>t</b></div>")), "DIV[B(a)[I(c){t}]]");
    EXPECT_EQ(c.messages,
              "Tag \"/div\" incorrect closed!!!\nPos 18\n"
              "Tag \"div\" incorrect closed!!!\nPos 25\n");
  }
  {
    // No children and nothing was ever placed one level deeper: the element
    // is closed and the text is its tail.
    Captured c;
    EXPECT_EQ(Shape(Parse(c, "<div><b></div>t</b>u</div>")), "DIV[B{tu}]");
    EXPECT_EQ(c.messages,
              "Tag \"/div\" incorrect closed!!!\nPos 9\n"
              "Tag \"/b\" closes no open element, ignored!!!\nPos 16\n");
  }
  {
    // The level below still names a node from elsewhere (the U): the
    // innermost element keeps the text.
    Captured c;
    EXPECT_EQ(Shape(Parse(c, "<div><i><u>a</u></i><b></div>t</b></div>")), "DIV[I[U(a)];B(t)]");
  }
  {
    // A body is never closed that way: what follows would be outside the flow.
    Captured c;
    EXPECT_EQ(Shape(Parse(c, "<code><body></code>t<p>u</p></body></code>")), "CODE[BODY(t)[P(u)]]");
    EXPECT_EQ(c.messages.substr(0, 39), "Tag \"/code\" incorrect closed!!!\nPos 13\n");
  }
  {
    // An HTML start tag inside an element is dropped (its FO root would
    // stand in the flow): the end tag closes the CODE, whose place the body
    // then takes at the top level.
    Captured c;
    EXPECT_EQ(Shape(Parse(c, "<code><html></code>t<body>u</body></html>")), "BODY(u)");
    EXPECT_EQ(c.messages.substr(0, 47), "Tag \"html\" is not allowed as child of \"CODE\"!!!");
  }
}

// Whatever was read, the document is an HTML element with a body: a page
// whose HTML tag stands inside another element gets one around what the top
// level kept, a body or head left at the top level gets the HTML element
// around it, and a document without a body (a redirecting page) an empty one.
TEST(ParseHtml, TheDocumentIsAlwaysAnHtmlElementWithABody) {
  const std::pair<const char*, const char*> cases[] = {
      {"<div><p>a</p><html><body><p>b</p></body></html></div>", "HTML[BODY[DIV[P(a);P(b)]]]"},
      {"<b><html></b><body>x</body>", "HTML[BODY(x)]"},
      {"<b><html></b><head><title>t</title></head>", "HTML[HEAD[TITLE(t)];BODY]"},
      {"<html><head><title>t</title></head></html>", "HTML[HEAD[TITLE(t)];BODY]"},
      {"<html>text</html>", "HTML(text)[BODY]"},
  };
  for (const auto& [html, shape] : cases) {
    Captured c;
    EXPECT_EQ(Shape(ImpliedParse(c, html)), shape) << html;
    EXPECT_EQ(c.ctx.documentRoot->next->next, nullptr) << html;
  }
}

TEST(ParseHtml, ASecondBodyContinuesTheFirst) {
  {
    Captured c;
    EXPECT_EQ(Shape(Parse(c, "<html><body><p>a</p></body>x<body>b<p>c</p></body></html>")),
              "HTML[BODY[P(a){b};P(c)]{x}]");
    EXPECT_EQ(c.messages, "");
  }
  {
    // Text only: the body's own text grows.
    Captured c;
    EXPECT_EQ(Shape(Parse(c, "<html><body>a</body><body>b</body></html>")), "HTML[BODY(ab)]");
  }
  {
    // After the document was replaced at the top level, its body is gone too.
    Captured c;
    EXPECT_EQ(Shape(Parse(c, "<body>a</body><html><body>b</body>")), "HTML[BODY(b)]");
  }
}

TEST(ParseHtml, PendingEndTagsAreLimited) {
  // The B keeps a child, so each stray end tag leaves it open.
  std::string html = "<div><s><i><b><u>x</u>";
  for (int i = 0; i < 200; ++i) html += "</s>";
  // The 201st would-be pending end tag is reported but not remembered, so the
  // B's end tag does not close the I.
  html += "</i></b>t</div>";
  Captured c;
  EXPECT_EQ(Shape(Parse(c, html)), "DIV[S[I[B[U(x)]{t}]]]");
  EXPECT_NE(c.messages.find("Tag \"/i\" incorrect closed!!!"), std::string::npos);
  EXPECT_EQ(c.messages.find("Tag \"i\" incorrect closed!!!"), std::string::npos);
  // Below the limit the same end tag is remembered and closes the I.
  Captured few;
  EXPECT_EQ(Shape(Parse(few, "<div><s><i><b><u>x</u></s></i></b>t</div>")), "DIV[S[I[B[U(x)]]]{t}]");
  EXPECT_NE(few.messages.find("Tag \"i\" incorrect closed!!!"), std::string::npos);
}

TEST(ParseHtml, DeepNestingStopsOpeningAtFiftyLevels) {
  std::string html;
  for (int i = 0; i < 100000; ++i) html += "<b>";
  html += "x</b>y";
  Captured c;
  TagNode* n = Parse(c, html);
  int depth = 1;
  while (n->firstChild && n->firstChild->firstChild) {
    n = n->firstChild;
    ++depth;
  }
  // Fifty open Bs; the 50th holds every later one, each with its text as tail.
  EXPECT_EQ(depth, 50);
  TagNode* deepest = n;
  int siblings = 0;
  for (TagNode* s = deepest->firstChild; s; s = s->next) ++siblings;
  EXPECT_EQ(siblings, 100000 - 50);
  EXPECT_EQ(std::string(deepest->lastChild->tail.view()), "x");
  EXPECT_EQ(std::string(deepest->tail.view()), "y");
  EXPECT_EQ(c.messages, "");
}

TEST(ParseHtml, ManyTopLevelElementsKeepOnlyTheLast) {
  std::string html;
  for (int i = 0; i < 10000; ++i) html += "<div>a</div>";
  html += "<p>last";
  Captured c;
  TagNode* top = Parse(c, html);
  EXPECT_EQ(Shape(top), "P(last)");
  EXPECT_EQ(top->position(), 10000u * 12 + 1);
}

TEST(ParseHtml, TraceLines) {
  Captured c(1);
  Parse(c, "<div>a<>b</div>");
  EXPECT_EQ(c.trace,
            "readed 0 chars\n"
            "readed 3 chars\nString:div\nProcessing Tag \"div\"\nopen Tag div\n"
            "readed 1 chars\nString:a\nbctpos 0\n"
            "readed 0 chars\n"
            "readed 1 chars\nString:ab\nbctpos 0\n"
            "readed 4 chars\nString:/div\nProcessing Tag \"/div\"\n\t found tag \"div\"...\n"
            "readed 0 chars\nbctpos 0\n");
  // Without debugging only the unconditional lines are written.
  Captured quiet;
  Parse(quiet, "<div>a<>b</div>");
  EXPECT_EQ(quiet.trace,
            "Processing Tag \"div\"\nopen Tag div\nbctpos 0\nbctpos 0\n"
            "Processing Tag \"/div\"\n\t found tag \"div\"...\nbctpos 0\n");
}

}  // namespace
}  // namespace ps

namespace ps {
namespace {

// Script and style content is raw text: a '<' in it starts no tag.
// A FOOTER is the running footer in the head and a block anywhere the head's
// row is refused; its end tag closes it either way.
TEST(ParseHtml, FooterIsTheHeadsRowOnlyInTheHead) {
  Captured c;
  TagNode* html = Parse(c, "<html><head><footer>run</footer></head><body><p>a</p>"
                           "<div><footer>in div</footer>x</div><footer><b>end</b></footer></body></html>");
  EXPECT_EQ(Shape(html), "HTML[HEAD[Footer(run)];BODY[P(a);DIV[XML-BODY-FOOTER(in div){x}];"
                         "XML-BODY-FOOTER[B(end)]]]");
  EXPECT_EQ(c.messages, "");
  // Where neither row is admitted, the head's row is refused as before.
  Captured d;
  Parse(d, "<table><footer>f</footer></table>");
  EXPECT_NE(d.messages.find("Tag \"footer\" is not allowed as child of \"TABLE\"!!!"), std::string::npos);
}

TEST(RawText, ScriptContentIsNotReadAsTags) {
  Captured c;
  TagNode* html = Parse(c, "<html><head><script>if (a<b) s = \"</div>\";</SCRIPT >t</head></html>");
  EXPECT_EQ(Shape(html), "HTML[HEAD[SCRIPT(if (a<b) s = \"</div>\";){t}]]");
  EXPECT_EQ(c.messages, "");
}

TEST(RawText, StyleEndsOnlyAtItsOwnEndTag) {
  Captured c;
  TagNode* head = Parse(c, "<head><style>p:after { content: \"</script>\" }</style>x</head>");
  EXPECT_EQ(Shape(head), "HEAD[STYLE(p:after { content: \"</script>\" }){x}]");
}

TEST(RawText, WithoutEndTagTheRestIsContent) {
  Captured c;
  TagNode* head = Parse(c, "<head><script>a<b>c");
  EXPECT_EQ(Shape(head), "HEAD[SCRIPT(a<b>c)]");
}

TEST(RawText, RefusedScriptTakesItsContentAndEndTagAlong) {
  Captured c;
  TagNode* p = Parse(c, "<p>a<script>x = \"<p>b</p>\";</script>c</p>");
  EXPECT_EQ(Shape(p), "P(ac)");
  EXPECT_EQ(c.messages,
            "Tag \"script\" is not allowed as child of \"P\"!!!\nPos 5\n"
            "The property \"html-FilePos\" can't be created under \"\"!\n");
}

TEST(RawText, RefusedScriptWithoutEndTagEndsTheRead) {
  Captured c;
  TagNode* p = Parse(c, "<p>a<script>x<y</p>z");
  EXPECT_EQ(Shape(p), "P(a)");
}

TEST(RawText, SelfClosedScriptHasNoContent) {
  Captured c;
  TagNode* head = Parse(c, "<head><script/><title>T</title></head>");
  EXPECT_EQ(Shape(head), "HEAD[SCRIPT;TITLE(T)]");
}

}  // namespace
}  // namespace ps

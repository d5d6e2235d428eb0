#include <gtest/gtest.h>

#include <string>

#include "reader/reader.h"
#include "run/run.h"
#include "support/test_util.h"

namespace ps {
namespace {

using test::Captured;

// Parses into a fresh tree; returns the top-level node after the declaration.
TagNode* Parse(Captured& c, std::string_view html) {
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
    if (n->text.has()) s += "(" + std::string(n->text.view()) + ")";
    if (n->firstChild) s += "[" + Shape(n->firstChild) + "]";
    if (n->tail.has()) s += "{" + std::string(n->tail.view()) + "}";
  }
  return s;
}

TEST(ParseHtml, TextOutsideAnyElementIsDropped) {
  Captured c;
  EXPECT_EQ(Shape(Parse(c, "lead<html>x</html>tail<b>y")), "HTML(x){tail}");
  EXPECT_EQ(c.messages, "");
}

// A page fragment is read inside an implied HTML and BODY, which have no raw
// text and no position; an HTML start tag anywhere turns that off.
TEST(ParseHtml, FragmentsGetImpliedHtmlAndBody) {
  Captured a;
  TagNode* html = Parse(a, "no tags at all");
  EXPECT_EQ(Shape(html), "HTML[BODY(no tags at all)]");
  EXPECT_TRUE(html->raw.null());
  EXPECT_EQ(html->props, nullptr);
  EXPECT_EQ(html->firstChild->props, nullptr);

  Captured b;
  EXPECT_EQ(Shape(Parse(b, "<h1>a</h1><p>b<p>c")), "HTML[BODY[H1(a);P(b);P(c)]]");

  Captured c;
  EXPECT_EQ(Shape(Parse(c, "x<body>y</body>")), "HTML(x)[BODY(y)]");

  Captured d;
  EXPECT_EQ(Shape(Parse(d, "")), "HTML[BODY]");

  Captured e;  // "<html/>" is an HTML start tag too; "<htmlx>" and "</html>" are not
  EXPECT_EQ(Shape(Parse(e, "<p>a</p><html/>")), "HTML");
  Captured f;
  EXPECT_EQ(Shape(Parse(f, "<htmlx></html>")), "HTML[BODY]");
}

TEST(ParseHtml, TextAndTailAreStoredByteForByte) {
  Captured c;
  TagNode* body = Parse(c, "lead<DIV>  a &amp;\xE4<b>x</B>\r\n tail </div> after")->firstChild;
  EXPECT_EQ(std::string(body->text.view()), "lead");
  TagNode* div = body->firstChild;
  ASSERT_NE(div, nullptr);
  EXPECT_EQ(Shape(div), "DIV(  a &amp;\xE4)[B(x){\r\n tail }]{ after}");
  EXPECT_EQ(std::string(div->raw.view()), "DIV");
  EXPECT_EQ(Val(div, "html-filepos"), "5");
  EXPECT_EQ(Val(div->firstChild, "html-filepos"), "20");
  EXPECT_EQ(c.messages, "");
}

TEST(ParseHtml, InputEndsAtFirstNul) {
  Captured c;
  std::string html("<div>a\0<p>b", 11);
  EXPECT_EQ(Shape(Parse(c, html)), "HTML[BODY[DIV(a)]]");
}

TEST(ParseHtml, TopLevelKeepsOnlyTheLastNode) {
  Captured c;
  TagNode* top = Parse(c, "<!DOCTYPE html><html>one</html ><p>two</p>");
  EXPECT_EQ(Shape(top), "P(two)");
  EXPECT_EQ(top->next, nullptr);
}

// A TH read as TD cannot hold the TD that follows it, so the TD vanishes; the
// end tags that then meet the open cell become pending, and "/html" still ends
// the read.
TEST(ParseHtml, DocumentStructureWithCellInCell) {
  Captured c;
  TagNode* html = Parse(c,
                        "<html><head><title>T</title></head>"
                        "<body><h1>H</h1><ul><li>a<li>b</ul><table><tr><th>x<td>y</table></body></html>\nrest<p>");
  EXPECT_EQ(Shape(html), "HTML[HEAD[TITLE(T)];BODY[H1(H);UL[LI(a);LI(b)];TABLE[TR[TD(xy){\nrest}]]]]");
  EXPECT_EQ(c.messages,
            "Tag \"li\" not closed!!!\nPos 61\n"
            "Tag \"li\" not closed!!!\nPos 66\n"
            "Processing tag \"th\" like tag \"TD\"\nPos 82\n"
            "Tag \"td\" is not allowed as child of \"TD\"!!!\nPos 87\n"
            "The property \"html-FilePos\" can't be created under \"\"!\n"
            "Tag \"/table\" incorrect closed!!!\nPos 92\n"
            "Tag \"/body\" incorrect closed!!!\nPos 100\n"
            "Tag \"/html\" incorrect closed!!!\nPos 107\n");
  TagNode* td = html->lastChild->lastChild->firstChild->firstChild;
  EXPECT_EQ(std::string(td->raw.view()), "th");
}

}  // namespace
}  // namespace ps

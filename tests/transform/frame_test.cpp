#include <gtest/gtest.h>

#include <string>

#include "model/handlers.h"
#include "model/tables.h"
#include "run/run.h"
#include "support/test_util.h"
#include "transform/pass.h"
#include "writer/writer.h"

namespace ps {
namespace {

using test::Captured;
using test::Child;
using test::Node;
using test::Write;

constexpr const char* kBlockFonts =
    "line-height=\"12pt\" font-size=\"10pt\" space-before.optimum=\"1.5pt\" space-after.optimum=\"1.5pt\" "
    "keep-together.within-page=\"1\"";

// A document as the reader leaves it: declaration, then HTML holding a head
// with one TITLE and a body.
struct Document {
  Captured c;
  TagNode* html;
  TagNode* head;
  TagNode* body;
  explicit Document(const char* title = "T") {
    c.ctx.documentRoot = CreateDocumentRoot(c.ctx);
    html = c.ctx.documentRoot->next = Node("HTML");
    head = Child(html, "HEAD");
    if (title) Child(head, "TITLE")->text.assign(title);
    body = Child(html, "BODY");
  }
  std::string Run() {
    ProcessChain(c.ctx, c.ctx.documentRoot);
    std::string fo;
    OutStream out = OutStream::ToString(&fo);
    WriteDocument(c.ctx, out);
    return fo;
  }
};

TEST(PageFrame, WorkedExample) {
  Document d;
  Child(d.body, "P")->text.assign("x");
  EXPECT_EQ(d.Run(),
            std::string("<?xml version=\"1.0\" encoding=\"ISO-8859-1\" ?>\r\n"
                        "<fo:root xmlns:fo=\"http://www.w3.org/1999/XSL/Format\" "
                        "xmlns:fox=\"http://xmlgraphics.apache.org/fop/extensions\" language=\"en\">\r\n\t"
                        "<!-- Creator=\"pagesmith\" Version=\"0.4.2\" -->\r\n\t"
                        "<fo:layout-master-set>\r\n\t\t"
                        "<fo:simple-page-master margin-right=\"2.0cm\" margin-left=\"2.0cm\" margin-bottom=\"1.0cm\" "
                        "margin-top=\"1.0cm\" page-width=\"21cm\" page-height=\"29.7cm\" master-name=\"first\">\r\n\t\t\t"
                        "<fo:region-body margin-bottom=\"1.5cm\" margin-top=\"1.5cm\"/>\r\n\t\t\t"
                        "<fo:region-before extent=\"1.5cm\"/>\r\n\t\t\t"
                        "<fo:region-after extent=\"1.0cm\"/>\r\n\t\t"
                        "</fo:simple-page-master>\r\n\t"
                        "</fo:layout-master-set>\r\n\t"
                        "<fo:declarations><x:xmpmeta xmlns:x=\"adobe:ns:meta/\">"
                        "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
                        "<rdf:Description rdf:about=\"\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\">"
                        "<dc:title>T</dc:title><dc:language>en</dc:language>"
                        "</rdf:Description></rdf:RDF></x:xmpmeta></fo:declarations>\r\n\t"
                        "<fo:page-sequence font-family=\"") +
                kTextFonts +
                "\" master-reference=\"first\" language=\"en\" hyphenate=\"true\">"
                "<fo:static-content flow-name=\"xsl-region-before\">\r\n<fo:block " +
                kBlockFonts +
                ">T</fo:block></fo:static-content>\r\n\r\n"
                "<fo:static-content flow-name=\"xsl-region-after\">\r\n<fo:block " +
                kBlockFonts +
                ">\r\n\r\n\t... the footer should be inserted here ...\r\n\r\n</fo:block></fo:static-content>\r\n\r\n"
                "<fo:flow flow-name=\"xsl-region-body\"><fo:block " +
                kBlockFonts +
                ">x</fo:block><fo:block space-before.optimum=\"1.5pt\" space-after.optimum=\"1.5pt\" "
                "keep-together.within-page=\"1\" id=\"LastPage\" line-height=\"1pt\" font-size=\"1pt\"></fo:block>"
                "</fo:flow></fo:page-sequence></fo:root>\r\n");
  EXPECT_EQ(d.c.messages,
            "Using Title \"T\"\nYour HTML document has no Footer - using default\n"
            "setting up paragraphs... done.\nanalysing font structure... done\n"
            "converting special chars and writing out... done\n");
  EXPECT_EQ(FindProperty(d.body, "XML-CONFIG-MAX-CONTENT-WIDTH")->value.view(), "16.30cm");
}

TEST(PageFrame, TitlesFootersAndLanguage) {
  Document d(nullptr);
  Child(d.head, "TITLE");  // no text: captures nothing
  Child(d.head, "TITLE")->text.assign("first");
  Child(d.head, "TITLE")->text.assign("second");
  Child(d.head, "Footer")->text.assign("foot");
  Child(d.head, "Footer")->text.assign("foot2");
  SetProperty(d.c.ctx, d.html, "LANG", "de");
  std::string fo = d.Run();
  EXPECT_EQ(d.c.messages,
            "I think you have two titles in your HTML Docoment...\nUsing the first one\n"
            "I think you have two footers in your HTML Docoment...\nUsing the first one\n"
            "Using Title \"first\"\nUsing Footer \"foot\"\nsetting up paragraphs... done.\n"
            "analysing font structure... done\nconverting special chars and writing out... done\n");
  EXPECT_EQ(fo.find("second"), std::string::npos);
  EXPECT_EQ(fo.find("foot2"), std::string::npos);
  EXPECT_NE(fo.find("language=\"de\""), std::string::npos);
  EXPECT_NE(fo.find("encoding=\"ISO-8859-1\""), std::string::npos);
}

TEST(PageFrame, NoTitleUsesTheDefaultCaption) {
  Document d(nullptr);
  std::string fo = d.Run();
  EXPECT_EQ(d.c.messages,
            "Your HTML document has no Title - using default\nYour HTML document has no Footer - using default\n"
            "setting up paragraphs... done.\nanalysing font structure... done\n"
            "converting special chars and writing out... done\n");
  EXPECT_NE(fo.find(">\r\n\r\n\t... the caption should be inserted here ...\r\n\r\n</fo:block>"), std::string::npos);
}

TEST(BodyFrame, EveryBodyGetsItsOwnCopyOfTheTexts) {
  Document d;
  TagNode* second = Child(d.html, "BODY");
  d.Run();
  EXPECT_EQ(d.c.messages.find("Using Title \"T\"\n"), 0u);
  EXPECT_NE(d.c.messages.find("Using Title \"T\"\n", 1), std::string::npos);
  TagNode* before = PreviousSibling(PreviousSibling(second));
  ASSERT_NE(before, nullptr);
  EXPECT_NE(Write(before).find(">T</fo:block>"), std::string::npos);
}

TEST(BodyFrame, BodyWithoutParentStillGetsItsLastBlock) {
  Captured c;
  TagNode* body = Node("BODY");
  c.ctx.documentRoot = body;
  c.ctx.capturedTitle.assign("T");
  BuildBodyFrame(c.ctx, body);
  EXPECT_EQ(c.messages,
            "Internal Structure Error!!!\nInternal Structure Error!!!\nsetting up paragraphs... done.\n");
  EXPECT_EQ(body->next, nullptr);
  ASSERT_NE(body->lastChild, nullptr);
  EXPECT_EQ(FindProperty(body->lastChild, "XML-ID")->value.view(), "LastPage");
}

TEST(Handlers, ListItemLinkAndStyle) {
  Captured c;
  TagNode* ul = Node("UL");
  c.ctx.documentRoot = ul;
  TagNode* li = Child(ul, "LI");
  li->text.assign("item");
  BuildListItem(c.ctx, li);
  EXPECT_EQ(Write(li),
            "<fo:list-item><fo:list-item-label><fo:block>-</fo:block></fo:list-item-label>\n"
            "<fo:list-item-body start-indent=\"body-start()\"><fo:block>item</fo:block></fo:list-item-body>"
            "</fo:list-item>");

  TagNode* a = Child(ul, "A");
  SetProperty(c.ctx, a, "XML-FONT-COLOR", "red");
  SetProperty(c.ctx, a, "HREF", "x.pdf");
  a->text.assign("t");
  StyleLink(c.ctx, a);
  EXPECT_EQ(Write(a),
            "<fo:basic-link text-decoration=\"underline\" external-destination=\"x.pdf\" color=\"#0000ff\">"
            "t</fo:basic-link>");

  // A link that leads nowhere keeps its own colour and is written as plain text.
  TagNode* nowhere = Child(ul, "A");
  SetProperty(c.ctx, nowhere, "XML-FONT-COLOR", "red");
  SetProperty(c.ctx, nowhere, "HREF", "");
  nowhere->text.assign("t");
  StyleLink(c.ctx, nowhere);
  EXPECT_EQ(Write(nowhere), "<fo:inline external-destination=\"\" color=\"red\">t</fo:inline>");

  TagNode* style = Child(ul, "STYLE");
  style->text.assign("p { color: red }");
  Child(Child(style, "B"), "I");
  style->tail.assign("\n");
  DiscardStyleContent(c.ctx, style);
  EXPECT_EQ(style->firstChild, nullptr);
  EXPECT_EQ(style->lastChild, nullptr);
  EXPECT_EQ(Write(style), "\n");
  EXPECT_EQ(c.messages, "");
}

// Quotation marks go around all of a quotation's content, its children's
// tails included; a quotation inside another takes single marks.
TEST(Handlers, QuotationMarks) {
  Captured c;
  TagNode* p = Node("P");
  c.ctx.documentRoot = p;
  TagNode* outer = Child(p, "Q");
  outer->text.assign("a ");
  TagNode* inner = Child(outer, "Q");
  inner->text.assign("b");
  inner->tail.assign(" c");
  TagNode* empty = Child(p, "Q");
  QuoteContent(c.ctx, inner);
  QuoteContent(c.ctx, outer);
  QuoteContent(c.ctx, empty);
  EXPECT_EQ(Write(p), "<fo:block>&#8220;a &#8216;b&#8217; c&#8221;&#8220;&#8221;</fo:block>");
}

// A quotation narrows the width its tables are laid out in by its indents,
// unless that would leave too little.
TEST(Handlers, QuotationNarrowsTheContentWidth) {
  Captured c;
  TagNode* body = Node("BODY");
  c.ctx.documentRoot = body;
  SetContentWidth(c.ctx, body);
  TagNode* quote = Child(body, "BLOCKQUOTE");
  NarrowContent(c.ctx, quote);
  EXPECT_EQ(FindProperty(quote, "XML-CONFIG-MAX-CONTENT-WIDTH")->value.view(), "14.30cm");
  TagNode* narrow = Child(body, "BLOCKQUOTE");
  SetProperty(c.ctx, narrow, "XML-CONFIG-MAX-CONTENT-WIDTH", "3.00cm");
  TagNode* inner = Child(narrow, "BLOCKQUOTE");
  NarrowContent(c.ctx, inner);
  EXPECT_EQ(FindProperty(inner, "XML-CONFIG-MAX-CONTENT-WIDTH"), nullptr);
  EXPECT_EQ(c.messages, "");
}

}  // namespace
}  // namespace ps

namespace ps {
namespace {

// The attributes of the first image of a converted document.
std::string Image(const std::string& body) {
  std::string fo, messages;
  EXPECT_EQ(ConvertBuffer("<html><body>" + body + "</body></html>", &fo, &messages), 0);
  const auto start = fo.find("<fo:external-graphic");
  return start == std::string::npos ? "" : fo.substr(start, fo.find("/>", start) + 2 - start);
}

// An attribute's value in an element's text; "-" when it has none.
std::string Attr(const std::string& element, const std::string& name) {
  const auto at = element.find(" " + name + "=\"");
  if (at == std::string::npos) return "-";
  const auto start = at + name.size() + 3;
  return element.substr(start, element.find('"', start) - start);
}

// Width and height of the first image.
std::string Size(const std::string& body) {
  const std::string img = Image(body);
  EXPECT_EQ(Attr(img, "content-width"), "scale-down-to-fit");
  EXPECT_EQ(Attr(img, "inline-progression-dimension.maximum"), "100%");
  return Attr(img, "width") + " " + Attr(img, "height");
}

TEST(FitImage, ImagesShrinkIntoTheirSpaceKeepingProportions) {
  EXPECT_EQ(Size("<img src=x.png>"), "- -");
  // The body is 16.30cm (462.04pt) wide.
  EXPECT_EQ(Size("<img src=x.png width=462 height=10>"), "462pt 10pt");
  EXPECT_EQ(Size("<img src=x.png width=924 height=100>"), "100% 50.00pt");
  EXPECT_EQ(Size("<img src=x.png height=100 width=924.5px>"), "100% 49.97pt");
  EXPECT_EQ(Size("<img src=x.png width=924>"), "100% -");
  EXPECT_EQ(Size("<img src=x.png width=50%>"), "50% -");
  EXPECT_EQ(Size("<img src=x.png width=200% height=30>"), "100% 15.00pt");
  // Not a plain number: not shrunk, and not written either, as FOP reads no exponent.
  EXPECT_EQ(Size("<img src=x.png width=1e9>"), "- -");
  // A cell is the space of the images in it.
  EXPECT_EQ(Size("<table><tr><td width=50%><img src=x.png width=400 height=40></td><td>b</td></tr></table>"),
            "100% 23.10pt");  // 8.15cm
}

TEST(FitImage, EveryImageHasAlternativeText) {
  EXPECT_NE(Image("<img src=x.png alt=\"A &amp; B\">").find(" fox:alt-text=\"A &amp; B\" "), std::string::npos);
  EXPECT_NE(Image("<img src=x.png>").find(" fox:alt-text=\"\" "), std::string::npos);
  EXPECT_NE(Image("<img src=x.png alt>").find(" fox:alt-text=\"\" "), std::string::npos);
}

}  // namespace
}  // namespace ps

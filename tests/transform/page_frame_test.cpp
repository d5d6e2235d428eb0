#include <gtest/gtest.h>

#include <string>

#include "model/handlers.h"
#include "model/tables.h"
#include "run/run.h"
#include "style/page.h"
#include "support/test_util.h"
#include "transform/page_frame.h"
#include "transform/pass.h"
#include "writer/writer.h"

namespace ps {
namespace {

using test::Captured;
using test::Child;
using test::Node;

// A document with a page setup from the sheet's text.
struct Document {
  Captured c;
  css::PageSetup setup;
  TagNode* html;
  TagNode* head;
  TagNode* body;
  explicit Document(const char* sheet, const char* title = "T") {
    css::Stylesheet s = css::ParseStylesheet(sheet);
    setup = css::ComputePageSetup({}, {&s});
    c.ctx.page = &setup;
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

std::size_t Count(const std::string& s, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + 1)) ++n;
  return n;
}

TEST(StyledPage, OneMasterOfTheSheetsSizeWithoutPlaceholders) {
  Document d("@page { size: A5; margin: 1cm 2cm }", nullptr);
  Child(d.body, "P")->text.assign("x");
  const std::string fo = d.Run();
  EXPECT_NE(fo.find("<fo:simple-page-master margin-right=\"56.69pt\" margin-left=\"56.69pt\" margin-bottom=\"0pt\" "
                    "margin-top=\"0pt\" page-width=\"419.53pt\" page-height=\"595.28pt\" master-name=\"first\">\r\n\t\t\t"
                    "<fo:region-body margin-bottom=\"28.35pt\" margin-top=\"28.35pt\"/>\r\n\t\t\t"
                    "<fo:region-before display-align=\"center\" extent=\"28.35pt\"/>\r\n\t\t\t"
                    "<fo:region-after display-align=\"center\" extent=\"28.35pt\"/>\r\n\t\t"
                    "</fo:simple-page-master>\r\n\t</fo:layout-master-set>"),
            std::string::npos)
      << fo;
  EXPECT_NE(fo.find("master-reference=\"first\""), std::string::npos);
  EXPECT_EQ(fo.find("static-content"), std::string::npos);
  EXPECT_EQ(fo.find("inserted here"), std::string::npos);
  EXPECT_EQ(d.c.messages.find("Your HTML document has no"), std::string::npos);
  EXPECT_EQ(FindProperty(d.body, "XML-CONFIG-MAX-CONTENT-WIDTH")->value.view(), "10.80cm");
}

TEST(StyledPage, TheSheetsBoxesWinOverTitleAndFooter) {
  Document d("@page { @bottom-center { content: 'p. ' counter(page) '/' counter(pages) } }", "Title");
  Child(d.head, "Footer")->text.assign("Foot");
  const std::string fo = d.Run();
  // The title fills the row the sheet leaves empty.
  EXPECT_NE(fo.find("<fo:static-content flow-name=\"xsl-region-before\">\r\n<fo:block font-size=\"10pt\">Title</fo:block>"),
            std::string::npos);
  EXPECT_NE(fo.find("<fo:static-content flow-name=\"xsl-region-after\">\r\n<fo:block font-size=\"10pt\" "
                    "text-align=\"center\">p. <fo:page-number/>/<fo:page-number-citation ref-id=\"LastPage\"/></fo:block>"),
            std::string::npos)
      << fo;
  EXPECT_EQ(fo.find("Foot"), std::string::npos);
  EXPECT_NE(fo.find("id=\"LastPage\""), std::string::npos);  // the citation's target
  EXPECT_NE(d.c.messages.find("Using Title \"Title\"\n"), std::string::npos);
}

TEST(StyledPage, FirstLeftAndRightPagesTakeMastersOfTheirOwn) {
  Document d("@page { @top-left { content: 'a' } @top-right { content: 'b' } }"
             "@page :first { @top-left { content: none } @top-right { content: none } }"
             "@page :left { margin-left: 3cm }", "T");
  const std::string fo = d.Run();
  EXPECT_NE(fo.find("<fo:page-sequence-master master-name=\"pages\"><fo:repeatable-page-master-alternatives>"
                    "<fo:conditional-page-master-reference page-position=\"first\" master-reference=\"first-page\"/>"
                    "<fo:conditional-page-master-reference odd-or-even=\"even\" master-reference=\"left-page\"/>"
                    "<fo:conditional-page-master-reference odd-or-even=\"odd\" master-reference=\"right-page\"/>"),
            std::string::npos);
  EXPECT_NE(fo.find("master-reference=\"pages\""), std::string::npos);
  EXPECT_EQ(Count(fo, "<fo:simple-page-master"), 3u);
  EXPECT_NE(fo.find("<fo:region-before region-name=\"left-page-before\""), std::string::npos);
  // The first page has no box: its row stays empty, and the title is not put there.
  EXPECT_EQ(fo.find("flow-name=\"first-page-before\""), std::string::npos);
  EXPECT_EQ(fo.find("font-size=\"10pt\">T<"), std::string::npos);
  // Two boxes in a row: a table of two equal columns.
  EXPECT_NE(fo.find("<fo:static-content flow-name=\"right-page-before\">\r\n<fo:table width=\"100%\" "
                    "table-layout=\"fixed\"><fo:table-column column-width=\"proportional-column-width(1)\"/>"
                    "<fo:table-column column-width=\"proportional-column-width(1)\"/><fo:table-body><fo:table-row>"
                    "<fo:table-cell><fo:block font-size=\"10pt\" text-align=\"left\">a</fo:block></fo:table-cell>"
                    "<fo:table-cell><fo:block font-size=\"10pt\" text-align=\"right\">b</fo:block></fo:table-cell>"),
            std::string::npos)
      << fo;
  // Left and right pages differ only in the margin; the second master
  // repeats the same boxes.
  EXPECT_EQ(Count(fo, ">a</fo:block>"), 2u);
}

TEST(StyledPage, RunningStringsFromHeadingsAndTitle) {
  Document d("@page { @top-left { content: string(doc) } @top-right { content: string(chapter, last) } "
             "@bottom-left { content: string(unset) 'x' } }"
             "title { string-set: doc 'Doc: ' content() } h2, xml-box { string-set: chapter '\\2192  & ' content(text) }",
             "The   title");
  TagNode* h = Child(d.body, "H2");
  h->text.assign("Two ");
  Child(h, "B")->text.assign("bold");
  Child(d.body, "H2")->text.assign("Three");
  const std::string fo = d.Run();
  EXPECT_NE(fo.find("text-align=\"left\">Doc: The title</fo:block>"), std::string::npos) << fo;
  EXPECT_NE(fo.find("<fo:retrieve-marker retrieve-position=\"last-starting-within-page\" "
                    "retrieve-class-name=\"string-chapter\"/>"),
            std::string::npos);
  EXPECT_NE(fo.find("<fo:marker marker-class-name=\"string-chapter\">&#8594; &amp; Two bold</fo:marker>Two "),
            std::string::npos)
      << fo;
  EXPECT_NE(fo.find("<fo:marker marker-class-name=\"string-chapter\">&#8594; &amp; Three</fo:marker>Three</fo:block>"),
            std::string::npos);
  EXPECT_EQ(Count(fo, "<fo:marker"), 2u);  // none in the page's own boxes
  EXPECT_NE(fo.find("text-align=\"left\">x</fo:block>"), std::string::npos);
  // The outline keeps the headings' own texts.
  EXPECT_NE(fo.find("<fo:bookmark-title>Two bold</fo:bookmark-title>"), std::string::npos);
}

TEST(SheetTextAsMarkup, EscapesMarkupAndWritesReferences) {
  EXPECT_EQ(SheetTextAsMarkup("a<b>&c"), "a&lt;b&gt;&amp;c");
  EXPECT_EQ(SheetTextAsMarkup("\xC3\xA9\xE2\x86\x92\xF0\x9F\x98\x80"), "&#233;&#8594;&#128512;");
  EXPECT_EQ(SheetTextAsMarkup(std::string_view("x\x01\xC3", 3)), "x");  // controls and a cut sequence
}

}  // namespace
}  // namespace ps

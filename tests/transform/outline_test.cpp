#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "run/run.h"
#include "support/test_util.h"
#include "transform/outline.h"

namespace ps {
namespace {

std::string Fo(const std::string& html) {
  std::string fo, messages;
  EXPECT_EQ(ConvertBuffer(html, &fo, &messages), 0);
  return fo;
}

// The bookmarks of an FO text in a short form: "[dest:title" per bookmark
// and "]" where it ends.
std::string Bookmarks(const std::string& fo) {
  std::string s;
  static const std::regex mark(R"re(<fo:bookmark internal-destination="([^"]*)"><fo:bookmark-title>([^<]*)</fo:bookmark-title>|</fo:bookmark>)re");
  for (auto it = std::sregex_iterator(fo.begin(), fo.end(), mark); it != std::sregex_iterator(); ++it)
    s += (*it)[1].matched ? "[" + (*it)[1].str() + ":" + (*it)[2].str() : "]";
  return s;
}

TEST(Outline, BookmarksNestByLevelSkippedLevelsUnderWhatIsThere) {
  const std::string fo =
      Fo("<html><body><h2>a</h2><h4>b</h4><h3>c</h3><h1>d</h1><h3>e</h3><h6>f</h6><h2>g</h2></body></html>");
  EXPECT_EQ(Bookmarks(fo),
            "[ps-heading-1:a[ps-heading-2:b][ps-heading-3:c]][ps-heading-4:d[ps-heading-5:e[ps-heading-6:f]]"
            "[ps-heading-7:g]]");
  // Between the layout master set and the page sequence, after the declarations.
  const auto set = fo.find("</fo:layout-master-set>"), decl = fo.find("<fo:declarations>"),
             tree = fo.find("<fo:bookmark-tree>"), seq = fo.find("<fo:page-sequence");
  EXPECT_LT(set, decl);
  EXPECT_LT(decl, tree);
  EXPECT_LT(tree, seq);
  EXPECT_NE(fo.find("<fo:block id=\"ps-heading-4\""), std::string::npos);
}

TEST(Outline, HeadingsKeepTheirIdsNewOnesClashWithNone) {
  const std::string fo = Fo(
      "<html><body><p id=taken>x</p><h1 id=own>a</h1><h2 id=taken>b</h2><h2 id=LastPage>c</h2>"
      "<h2 id=own>d</h2><h3>e</h3><p><b id=ps-heading-3>later</b> <a name=ps-heading-4>anchor</a></p></body></html>");
  EXPECT_EQ(Bookmarks(fo), "[own:a[ps-heading-1:b][ps-heading-2:c][ps-heading-5:d[ps-heading-6:e]]]");
  // The heading whose id an earlier element took writes its new one; the
  // author's later ids stay.
  EXPECT_NE(fo.find("id=\"ps-heading-1\""), std::string::npos);
  EXPECT_NE(fo.find("<fo:wrapper id=\"ps-heading-3\"/>"), std::string::npos);
  EXPECT_NE(fo.find("<fo:inline id=\"ps-heading-4\">"), std::string::npos);
  for (const char* id : {"own", "taken", "LastPage", "ps-heading-1", "ps-heading-5"}) {
    const std::string attr = std::string("id=\"") + id + "\"";
    const auto first = fo.find(attr);
    EXPECT_NE(first, std::string::npos) << id;
    EXPECT_EQ(fo.find(attr, first + 1), std::string::npos) << id;
  }
}

TEST(Outline, TitlesAreThePrintedText) {
  const std::string fo = Fo(
      "<html><body><h1>  One <b>bold</b>\r\n\t&amp; <!-- no --><i>it&eacute;</i><br>next  </h1>"
      "<h2></h2></body></html>");
  EXPECT_EQ(Bookmarks(fo), "[ps-heading-1:One bold &amp; it&#233; next[ps-heading-2:]]");
  EXPECT_NE(fo.find("<dc:title>One bold &amp; it&#233; next</dc:title>"), std::string::npos);
}

TEST(Outline, DocumentTitleAndLanguage) {
  std::string fo = Fo("<html lang=de><head><title>The  title</title></head><body><h1>Heading</h1></body></html>");
  EXPECT_NE(fo.find("<dc:title>The title</dc:title><dc:language>de</dc:language>"), std::string::npos);
  EXPECT_NE(fo.find("<fo:root xmlns:fo=\"http://www.w3.org/1999/XSL/Format\" "
                    "xmlns:fox=\"http://xmlgraphics.apache.org/fop/extensions\" language=\"de\">"),
            std::string::npos);
  // Neither title nor heading: the file's name is the title, as a browser
  // gives it; no bookmarks; the language still.
  fo = Fo("<html><body><p>text</p></body></html>");
  EXPECT_NE(fo.find("<dc:title>input.html</dc:title><dc:language>en</dc:language>"), std::string::npos);
  EXPECT_EQ(fo.find("fo:bookmark"), std::string::npos);
  EXPECT_NE(fo.find(" language=\"en\">"), std::string::npos);
}

TEST(Outline, FileNameTitleIsPlainAscii) {
  EXPECT_EQ(FileNameTitle("docs/a b&c.html"), "a b&c.html");
  EXPECT_EQ(FileNameTitle("page.html"), "page.html");
  EXPECT_EQ(FileNameTitle("/x/caf\xE9.html"), "");  // would not read right in UTF-8 output
  EXPECT_EQ(FileNameTitle("dir/"), "");
}

// A large page's search for a heading is shared between two threads: one
// heading wherever it stands among the shared children still makes its
// bookmark, and a page without one has none, as on one thread.
TEST(Outline, OneHeadingAnywhereInALargePage) {
  for (int at : {-1, 0, 150, 299}) {
    std::string html = "<html><body>";
    std::string filler = "<div><p>text";
    for (int b = 0; b < 100; ++b) filler += " <b>bold</b>";  // enough that the helper takes its share
    filler += "</p></div>";
    for (int i = 0; i < 300; ++i) html += i == at ? "<div><h3>Found</h3></div>" : filler;
    html += "</body></html>";
    const std::string two = test::ConvertOnThreads(html, 1);
    EXPECT_EQ(two, test::ConvertOnThreads(html, std::size_t(-1))) << at;
    EXPECT_EQ(two.find("<fo:bookmark-title>Found</fo:bookmark-title>") != std::string::npos, at >= 0) << at;
  }
}

TEST(Outline, LongSiblingChainsAndDeepNestingAreWalkedWithoutRecursion) {
  test::Captured c;
  TagNode* h1 = test::Node("H1");
  c.ctx.documentRoot = h1;
  for (int i = 0; i < test::kManySiblings; ++i) test::Child(h1, "B")->tail.assign(" ");
  TagNode* deep = test::Child(h1, "I");
  for (int i = 0; i < 100000; ++i) deep = test::Child(deep, "I");
  deep->text.assign("end");
  EXPECT_EQ(PrintedText(h1), "end");
}

TEST(Outline, CollapseWhiteSpace) {
  EXPECT_EQ(CollapseWhiteSpace(" \t a \r\n b\xA0 c  "), "a b\xA0 c");
  EXPECT_EQ(CollapseWhiteSpace("   "), "");
}

}  // namespace
}  // namespace ps

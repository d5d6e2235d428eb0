// What the writer does so that FOP accepts the file: blocks around inline
// content in block containers, empty containers, links without a target,
// lists without items, duplicate ids and link targets that are not URIs.
#include <gtest/gtest.h>

#include "support/test_util.h"
#include "writer/uri.h"
#include "writer/writer.h"

namespace ps::test {
namespace {

struct Tree {
  Captured c;
  TagNode* root = nullptr;
  explicit Tree(const char* tag) : root(Node(tag)) {}
  ~Tree() { FreeTree(root); }
  TagNode* Set(TagNode* n, const char* prop, const char* value) {
    SetProperty(c.ctx, n, prop, value);
    return n;
  }
};

TEST(BlockContainers, InlineRunsAreWrappedInOneBlock) {
  Tree t("TD");
  t.root->text.assign("\n");
  TagNode* img = Child(t.root, "IMG");
  img->tail.assign(" caption ");
  TagNode* b = Child(t.root, "B");  // writes no element: seen through
  b->text.assign("bold");
  b->tail.assign("\n");
  TagNode* p = Child(t.root, "P");
  p->text.assign("para");
  p->tail.assign("after");
  EXPECT_EQ(Write(t.root),
            "<fo:table-cell>\n<fo:block><fo:external-graphic/> caption bold\n</fo:block><fo:block>para</fo:block>"
            "<fo:block>after</fo:block></fo:table-cell>");
}

TEST(BlockContainers, WhiteTextAloneOpensNoBlockButEmptyContainerGetsOne) {
  for (const char* tag : {"TD", "XML-EMPTY-CELL", "XML-LIST-ITEM-BODY", "XML-LIST-ITEM-LABEL", "BODY",
                          "XML-STATIC-CONTENT"}) {
    Tree t(tag);
    t.root->text.assign(" \n");
    std::string out = Write(t.root);
    EXPECT_NE(out.find(" \n<fo:block/></fo:"), std::string::npos) << tag << ": " << out;
  }
}

TEST(BlockContainers, ContainerWithABlockIsLeftAlone) {
  Tree t("TD");
  TagNode* p = Child(t.root, "P");
  p->text.assign("x");
  EXPECT_EQ(Write(t.root), "<fo:table-cell><fo:block>x</fo:block></fo:table-cell>");
}

TEST(BlockContainers, InlineElementsKeepTheirOwnContent) {
  Tree t("TD");
  TagNode* a = t.Set(Child(t.root, "A"), "HREF", "x.pdf");
  a->text.assign("link");
  TagNode* inner = Child(a, "P");  // a block inside an inline is the inline's business
  inner->text.assign("y");
  EXPECT_EQ(Write(t.root),
            "<fo:table-cell><fo:block><fo:basic-link external-destination=\"x.pdf\">link<fo:block>y</fo:block>"
            "</fo:basic-link></fo:block></fo:table-cell>");
}

TEST(BlockContainers, OtherElementsAreNotTouched) {
  Tree t("P");
  t.root->text.assign("text");
  Child(t.root, "IMG");
  EXPECT_EQ(Write(t.root), "<fo:block>text<fo:external-graphic/></fo:block>");
}

TEST(Links, WithoutUsableTargetBecomeInlines) {
  Tree t("P");
  TagNode* none = Child(t.root, "A");
  none->text.assign("a");
  TagNode* empty = t.Set(Child(t.root, "A"), "XML-INTERNAL-DESTINATION", "");
  empty->text.assign("b");
  TagNode* good = t.Set(Child(t.root, "A"), "XML-INTERNAL-DESTINATION", "top");
  good->text.assign("c");
  EXPECT_EQ(Write(t.root),
            "<fo:block><fo:inline>a</fo:inline><fo:inline internal-destination=\"\">b</fo:inline>"
            "<fo:basic-link internal-destination=\"top\">c</fo:basic-link></fo:block>");
}

TEST(Lists, WithoutItemsBecomeBlocks) {
  Tree t("UL");
  t.Set(t.root, "XML-provisional-label-separation", "3pt");
  t.root->text.assign("\n");
  EXPECT_EQ(Write(t.root), "<fo:block provisional-label-separation=\"3pt\">\n</fo:block>");
  Child(t.root, "LI");
  EXPECT_EQ(Write(t.root), "<fo:list-block provisional-label-separation=\"3pt\">\n<fo:list-item></fo:list-item></fo:list-block>");
}

TEST(Ids, OnlyTheFirstOfEqualIdsIsWritten) {
  Tree t("P");
  t.Set(Child(t.root, "A"), "NAME", "x");
  t.Set(Child(t.root, "A"), "NAME", "y");
  t.Set(Child(t.root, "A"), "NAME", "x");
  EXPECT_EQ(Write(t.root),
            "<fo:block><fo:wrapper id=\"x\"></fo:wrapper><fo:wrapper id=\"y\"></fo:wrapper>"
            "<fo:wrapper></fo:wrapper></fo:block>");
}

// Ids are told apart as FOP reads them: a reference and its character are one id.
TEST(Ids, EqualAsReadAreOneId) {
  Tree t("P");
  t.Set(Child(t.root, "A"), "NAME", "x");
  t.Set(Child(t.root, "A"), "NAME", "&#120;");
  t.Set(Child(t.root, "A"), "NAME", "&#x78;y");
  t.Set(Child(t.root, "A"), "NAME", "xy");
  EXPECT_EQ(Write(t.root),
            "<fo:block><fo:wrapper id=\"x\"></fo:wrapper><fo:wrapper></fo:wrapper><fo:wrapper id=\"&#x78;y\"></fo:wrapper>"
            "<fo:wrapper></fo:wrapper></fo:block>");
  EXPECT_EQ(IdKey("&#120;", OutputEncoding::Latin1), IdKey("x", OutputEncoding::Latin1));
  EXPECT_NE(IdKey("&#120;", OutputEncoding::Latin1), IdKey("X", OutputEncoding::Latin1));
}

std::string Uri(std::string_view v) {
  std::string out;
  PercentEncodeUri(v, out);
  return out;
}

TEST(Uris, CharactersOutsideUrisArePercentEncoded) {
  EXPECT_EQ(Uri("http://example.org/a/b?q=1&amp;r=2#frag"), "http://example.org/a/b?q=1&amp;r=2#frag");
  EXPECT_EQ(Uri("a b"), "a%20b");
  EXPECT_EQ(Uri("x[1]"), "x%5B1%5D");
  EXPECT_EQ(Uri("caf\xE9"), "caf%E9");
  EXPECT_EQ(Uri("a&gt;b&lt;c&quot;"), "a%3Eb%3Cc%22");
  EXPECT_EQ(Uri("caf&#233;"), "caf%C3%A9");
  EXPECT_EQ(Uri("&#x263A;"), "%E2%98%BA");
  EXPECT_EQ(Uri("a&#38;b"), "a&#38;b");  // a reserved character stays, escaped for XML
  EXPECT_EQ(Uri("p#a#b"), "p#a%23b");
  EXPECT_EQ(Uri("100%"), "100%25");
  EXPECT_EQ(Uri("%41%4"), "%41%254");
  EXPECT_EQ(Uri("a\\b^c`d{e}f|g"), "a%5Cb%5Ec%60d%7Be%7Df%7Cg");
}

}  // namespace
}  // namespace ps::test

namespace ps::test {
namespace {

TEST(Spans, AreWrittenAsPositiveWholeNumbers) {
  const struct {
    const char* in;
    const char* out;  // nullptr: left out
  } cases[] = {{"2", "2"},     {"0x10", "16"},          {" 3", "3"},   {"010", "8"},
               {"0", nullptr}, {"-5", nullptr},         {"x", nullptr}, {"99999999999999999999", "1000"},
               {"1000", "1000"}, {"1001", "1000"}};
  for (const auto& c : cases) {
    Tree t("TD");
    t.Set(t.root, "COLSPAN", c.in);
    std::string expected = c.out ? std::string("<fo:table-cell number-columns-spanned=\"") + c.out + "\">"
                                 : std::string("<fo:table-cell>");
    EXPECT_EQ(Write(t.root), expected + "<fo:block/></fo:table-cell>") << c.in;
  }
}

}  // namespace
}  // namespace ps::test

namespace ps::test {
namespace {

// FOP rejects a row that needs more positions than the table has columns: a
// wide span ends where every later cell of its row still finds a column.
TEST(Spans, LeaveAColumnToEachLaterCellOfTheRow) {
  Tree t("TABLE");
  for (int i = 0; i < 3; ++i) Child(t.root, "XML-TABLE-COLUMN");
  TagNode* row = Child(Child(t.root, "XML-TABLE-BODY"), "TR");
  t.Set(Child(row, "TD"), "COLSPAN", "1000");
  Child(row, "TD");
  const std::string out = Write(t.root);
  EXPECT_NE(out.find("<fo:table-cell number-columns-spanned=\"2\"><fo:block/></fo:table-cell><fo:table-cell>"),
            std::string::npos)
      << out;
}

}  // namespace
}  // namespace ps::test

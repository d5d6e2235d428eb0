// Name lists, tag rows and property rows: the indexed lookups must give the
// first-match answers of the tables.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/tables.h"
#include "model/tree.h"

namespace ps {
namespace {

// 1-based row numbers, 0 for none: the numbers the tables are known by.
int TagRow(const TagDef* d) { return d ? static_cast<int>(d - kTagDatabase.data()) + 1 : 0; }
int PropRow(const PropertyDef* d) { return d ? static_cast<int>(d - kPropertyDatabase.data()) + 1 : 0; }

TEST(MatchNameList, GroupsExpandRecursively) {
  const char* fontTags[] = {"%FONTTAGS;", nullptr};
  EXPECT_TRUE(MatchNameList("H3", fontTags));  // through %PARAGRAPH;
  EXPECT_TRUE(MatchNameList("td", fontTags));
  EXPECT_FALSE(MatchNameList("DIV", fontTags));

  const char* block[] = {"%BLOCK;", nullptr};
  EXPECT_TRUE(MatchNameList("IMG", block));       // %BLOCK-NO-PG;
  EXPECT_TRUE(MatchNameList("h6", block));        // %PARAGRAPH;
  EXPECT_TRUE(MatchNameList("DL", block));        // %BLOCK-FB;
  EXPECT_FALSE(MatchNameList("SPAN", block));
  EXPECT_FALSE(MatchNameList("BR", block));

  const char* inl[] = {"%INLINE;", nullptr};
  EXPECT_TRUE(MatchNameList("IMG", inl));
  EXPECT_TRUE(MatchNameList("!--", inl));

  // A group member without a tag row is still a member.
  const char* font[] = {"%FONT;", nullptr};
  EXPECT_TRUE(MatchNameList("RIGHT", font));
  EXPECT_TRUE(MatchNameList("right", font));
}

TEST(MatchNameList, EmptyNameAndAbsentListAreNeverMembers) {
  const char* any[] = {"%BLOCK;", "", "P", nullptr};
  EXPECT_FALSE(MatchNameList("", any));
  EXPECT_FALSE(MatchNameList("P", nullptr));
  const char* none[] = {nullptr};
  EXPECT_FALSE(MatchNameList("P", none));
}

TEST(MatchNameList, PercentEntriesMatchThemselves) {
  // A group name is a member of a list that names it, and of the lists that
  // contain that list's group.
  const char* block[] = {"%BLOCK;", nullptr};
  EXPECT_TRUE(MatchNameList("%BLOCK;", block));
  EXPECT_TRUE(MatchNameList("%block;", block));
  EXPECT_TRUE(MatchNameList("%PARAGRAPH;", block));
  EXPECT_FALSE(MatchNameList("%INLINE;", block));

  // An unknown group matches only its own name.
  const char* unknown[] = {"%NOPE;", "DIV", nullptr};
  EXPECT_TRUE(MatchNameList("%NOPE;", unknown));
  EXPECT_TRUE(MatchNameList("%nope;", unknown));
  EXPECT_FALSE(MatchNameList("P", unknown));
  EXPECT_TRUE(MatchNameList("div", unknown));
}

TEST(MatchNameList, AnswersForTheListAsItIsNow) {
  // A list that is not one of the tables' may live on the stack or be
  // changed; the answer must follow its current contents.
  std::vector<const char*> list = {"P", nullptr};
  EXPECT_TRUE(MatchNameList("P", list.data()));
  EXPECT_FALSE(MatchNameList("DIV", list.data()));
  list[0] = "DIV";
  EXPECT_FALSE(MatchNameList("P", list.data()));
  EXPECT_TRUE(MatchNameList("DIV", list.data()));
  list[0] = "%PARAGRAPH;";
  EXPECT_TRUE(MatchNameList("H2", list.data()));
  EXPECT_TRUE(MatchNameList("%PARAGRAPH;", list.data()));
  EXPECT_FALSE(MatchNameList("DIV", list.data()));
  EXPECT_FALSE(MatchNameList("XYZ", list.data()));
}

TEST(MatchNameList, IndexAgreesWithTheWalkOnEveryTableList) {
  std::vector<std::string> names;
  for (const TagDef& d : kTagDatabase) {
    names.push_back(d.name);
    std::string lower(d.name);
    for (char& c : lower)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    names.push_back(lower);
  }
  for (const TagGroup& g : kTagGroups) names.push_back(g.name);
  for (const char* extra : {"RIGHT", "Footer", "%BLOCK;", "", "nonsense", "%NOPE;", "TBODY ", "!-"})
    names.push_back(extra);

  for (NameList list : kAllNameLists)
    for (const std::string& n : names)
      EXPECT_EQ(MatchNameList(n, list), MatchNameListWalk(n, list)) << "name \"" << n << "\" list starting "
                                                                    << (list[0] ? list[0] : "(empty)");

  // Lists of other callers are walked, with the groups still indexed.
  const char* adHoc1[] = {"%FONT;", "%NOPE;", "P", nullptr};
  const char* adHoc2[] = {"%BLOCK;", "%INLINE;", nullptr};
  const char* adHoc3[] = {"!--", "%paragraph;", "Footer", nullptr};
  for (NameList list : {NameList(adHoc1), NameList(adHoc2), NameList(adHoc3)})
    for (const std::string& n : names) EXPECT_EQ(MatchNameList(n, list), MatchNameListWalk(n, list)) << n;

  // Every tag row against every list through its row, too.
  for (NameList list : kAllNameLists)
    for (const TagDef& d : kTagDatabase) EXPECT_EQ(MatchTagDef(&d, list), MatchNameListWalk(d.name, list)) << d.name;
}

TEST(FindTagDef, FirstRowInAnyLetterCase) {
  EXPECT_EQ(TagRow(FindTagDef(nullptr, "footer")), 11);
  EXPECT_EQ(TagRow(FindTagDef(nullptr, "FOOTER")), 11);
  EXPECT_EQ(TagRow(FindTagDef(nullptr, "Footer")), 11);
  EXPECT_EQ(TagRow(FindTagDef(nullptr, "td")), 30);
  EXPECT_EQ(TagRow(FindTagDef(nullptr, "xml-?")), 1);
  EXPECT_EQ(TagRow(FindTagDef(nullptr, "!--")), 39);
  EXPECT_EQ(TagRow(FindTagDef(nullptr, "blockquote")), 69);
  EXPECT_EQ(FindTagDef(nullptr, "RIGHT"), nullptr);  // in %FONT; but no row
  EXPECT_EQ(FindTagDef(nullptr, ""), nullptr);
  EXPECT_EQ(FindTagDef(nullptr, "TD "), nullptr);
  EXPECT_EQ(FindTagDef(nullptr, "%BLOCK;"), nullptr);
}

TEST(FindTagDef, ParentChildrenListDecides) {
  auto under = [](const char* parentTag, const char* tag) {
    TagNode parent;
    parent.def = FindTagDef(nullptr, parentTag);
    return FindTagDef(&parent, tag) != nullptr;
  };
  // An empty list admits nothing.
  for (const char* p : {"XML-INLINE", "TITLE", "ABBR", "WBR", "XML-REGION-BODY"}) {
    EXPECT_FALSE(under(p, "B")) << p;
    EXPECT_FALSE(under(p, "!--")) << p;
  }
  // An absent list admits every tag.
  for (const char* p : {"A", "NOBR", "CODE", "STYLE", "IMG"}) {
    EXPECT_TRUE(under(p, "TABLE")) << p;
    EXPECT_TRUE(under(p, "XML-?")) << p;
  }
  EXPECT_TRUE(under("TR", "td"));
  EXPECT_TRUE(under("TR", "XML-EMPTY-CELL"));
  EXPECT_FALSE(under("TR", "P"));
  EXPECT_TRUE(under("HEAD", "FOOTER"));
  EXPECT_TRUE(under("BODY", "!--"));
  EXPECT_TRUE(under("XML-STATIC-CONTENT", "!--"));  // through %BLOCK-NO-PG;
  EXPECT_TRUE(under("SUB", "VAR"));
  EXPECT_TRUE(under("SUP", "A"));  // a footnote reference
  EXPECT_TRUE(under("VAR", "EM"));
  EXPECT_FALSE(under("SUP", "P"));
  EXPECT_TRUE(under("P", "SPAN"));   // phrase elements stand where B does
  EXPECT_TRUE(under("H2", "KBD"));
  EXPECT_TRUE(under("TD", "SECTION"));  // sections where DIV does
  EXPECT_FALSE(under("H2", "ARTICLE"));
  EXPECT_FALSE(under("BODY", "FOOTER"));  // the head's row; the body takes its variant
  EXPECT_TRUE(under("BODY", "XML-BODY-FOOTER"));
  EXPECT_TRUE(under("TD", "BR"));
  EXPECT_TRUE(under("P", "BR"));  // through %INLINE;
  EXPECT_FALSE(under("H1", "TABLE"));
  EXPECT_FALSE(under("TR", "NONSENSE"));
}

TEST(FindPropertyDef, RowSelectionByOwner) {
  // BORDER: the image row, the border-tag row, none for a paragraph.
  EXPECT_EQ(PropRow(FindPropertyDef("BORDER", "IMG")), 24);
  EXPECT_EQ(PropRow(FindPropertyDef("BORDER", "TD")), 25);
  EXPECT_EQ(PropRow(FindPropertyDef("BORDER", "XML-TABLE-COLUMN")), 25);
  EXPECT_EQ(PropRow(FindPropertyDef("BORDER", "P")), 0);
  // ALIGN: the block row for IMG (through %BLOCK;), DIV and CENTER; cells and rows get 45.
  EXPECT_EQ(PropRow(FindPropertyDef("ALIGN", "IMG")), 44);
  EXPECT_STREQ(FindPropertyDef("ALIGN", "IMG")->outputName, "text-align");
  EXPECT_EQ(PropRow(FindPropertyDef("ALIGN", "CENTER")), 44);
  EXPECT_EQ(PropRow(FindPropertyDef("ALIGN", "H1")), 44);
  EXPECT_EQ(PropRow(FindPropertyDef("ALIGN", "TD")), 45);
  EXPECT_EQ(PropRow(FindPropertyDef("ALIGN", "TR")), 45);
  EXPECT_EQ(PropRow(FindPropertyDef("ALIGN", "FONT")), 0);
  // COLOR of FONT is the alias row; the alias target exists for FONT, and P finds 123 too.
  EXPECT_EQ(PropRow(FindPropertyDef("COLOR", "FONT")), 16);
  EXPECT_STREQ(FindPropertyDef("COLOR", "FONT")->outputName, "@STYLE-color");
  EXPECT_EQ(PropRow(FindPropertyDef("STYLE-color", "FONT")), 123);
  EXPECT_EQ(PropRow(FindPropertyDef("STYLE-color", "P")), 123);
  EXPECT_EQ(PropRow(FindPropertyDef("STYLE-COLOR", "A")), 123);
  EXPECT_EQ(PropRow(FindPropertyDef("COLOR", "P")), 0);
  // WIDTH: table, cell, image, column (the alias row).
  EXPECT_EQ(PropRow(FindPropertyDef("WIDTH", "TABLE")), 39);
  EXPECT_EQ(PropRow(FindPropertyDef("WIDTH", "TD")), 40);
  EXPECT_EQ(PropRow(FindPropertyDef("WIDTH", "IMG")), 41);
  EXPECT_EQ(PropRow(FindPropertyDef("WIDTH", "XML-TABLE-COLUMN")), 57);
  EXPECT_STREQ(FindPropertyDef("width", "xml-table-column")->outputName, "@XML-TABLE-COLUMN-WIDTH");
  // Margins: table rows first, page master rows for the page master and body region.
  EXPECT_EQ(PropRow(FindPropertyDef("XML-MARGIN-TOP", "TABLE")), 35);
  EXPECT_EQ(PropRow(FindPropertyDef("XML-MARGIN-TOP", "XML-SIMPLE-PAGE-MASTER")), 81);
  EXPECT_EQ(PropRow(FindPropertyDef("XML-MARGIN-RIGHT", "XML-REGION-BODY")), 84);
  // NAME and HREF by owner.
  EXPECT_EQ(PropRow(FindPropertyDef("NAME", "META")), 7);
  EXPECT_EQ(PropRow(FindPropertyDef("NAME", "A")), 90);
  EXPECT_EQ(PropRow(FindPropertyDef("NAME", "IMG")), 95);
  EXPECT_EQ(PropRow(FindPropertyDef("HREF", "A")), 91);
  EXPECT_EQ(PropRow(FindPropertyDef("HREF", "LINK")), 113);
  // Rows with no owners admit every tag, known or not.
  EXPECT_EQ(PropRow(FindPropertyDef("html-FilePos", "P")), 1);
  EXPECT_EQ(PropRow(FindPropertyDef("CLASS", "nonsense")), 108);
  EXPECT_EQ(PropRow(FindPropertyDef("EEID", "")), 106);
  EXPECT_EQ(PropRow(FindPropertyDef("STYLE-line-height", "DIV")), 128);
  EXPECT_EQ(PropRow(FindPropertyDef("XML-LINE-HEIGHT", "DIV")), 0);
  EXPECT_EQ(PropRow(FindPropertyDef("nonsense", "P")), 0);
  EXPECT_EQ(PropRow(FindPropertyDef("", "P")), 0);
}

TEST(FindPropertyDef, ShadowedRowsAreNeverSelected) {
  for (const TagDef& tag : kTagDatabase) {
    for (const PropertyDef& prop : kPropertyDatabase) {
      const int row = PropRow(FindPropertyDef(prop.name, tag.name));
      EXPECT_TRUE(row != 97 && row != 98 && row != 99 && row != 100 && row != 137) << prop.name << " " << tag.name;
      // The lookup by row gives the same answer as the lookup by name.
      EXPECT_EQ(FindPropertyDefForTag(prop.name, &tag), FindPropertyDef(prop.name, tag.name));
      EXPECT_EQ(FindPropertyDefForRow(PropertyNameId(prop.name), static_cast<int>(&tag - kTagDatabase.data())),
                FindPropertyDef(prop.name, tag.name));
    }
  }
  // Without an owner only the rows that admit every tag count.
  for (const PropertyDef& prop : kPropertyDatabase) {
    EXPECT_EQ(FindPropertyDefForTag(prop.name, nullptr), FindPropertyDef(prop.name, "")) << prop.name;
    EXPECT_EQ(FindPropertyDefForRow(PropertyNameId(prop.name), -1), FindPropertyDef(prop.name, "")) << prop.name;
  }
}

TEST(FindPropertyDef, DefaultRowsSelectTheirProperties) {
  // tag, property, the row each default must land on
  const struct {
    const char* tag;
    const char* prop;
    int row;
  } expected[] = {
      {"CODE", "XML-FONT-FACE", 9},
      {"HR", "XML-leader-pattern", 114},
      {"HR", "XML-rule-thickness", 115},
      {"HR", "XML-space-before.optimum", 116},
      {"HR", "XML-space-after.optimum", 117},
      {"HR", "XML-start-indent", 118},
      {"HR", "XML-end-indent", 119},
      {"PRE", "XML-white-space-collapse", 50},
      {"PRE", "XML-FONT-FACE", 9},
      // Preformatted text keeps its lines and indentation, unhyphenated.
      {"PRE", "XML-LINEFEED-TREATMENT", 143},
      {"PRE", "XML-WHITE-SPACE-TREATMENT", 144},
      {"PRE", "XML-HYPHENATE", 48},
      {"PRE", "XML-FONT-SIZE", 11},
      {"OL", "XML-provisional-distance-between-starts", 120},
      {"OL", "XML-provisional-label-separation", 121},
      {"UL", "XML-provisional-distance-between-starts", 120},
      {"UL", "XML-provisional-label-separation", 121},
      {"TABLE", "XML-TABLE-LAYOUT", 56},
      {"TABLE", "ALIGN", 44},
      {"NOBR", "XML-WORDWRAP", 47},
      {"CENTER", "ALIGN", 44},
      {"TT", "XML-FONT-FACE", 9},
      {"KBD", "XML-FONT-FACE", 9},
      {"SAMP", "XML-FONT-FACE", 9},
      {"SUP", "XML-BASELINE-SHIFT", 146},
      {"SUP", "XML-FONT-SIZE", 147},
      {"SUB", "XML-BASELINE-SHIFT", 146},
      {"SUB", "XML-FONT-SIZE", 147},
      {"BLOCKQUOTE", "XML-MARGIN-LEFT", 148},
      {"BLOCKQUOTE", "XML-MARGIN-RIGHT", 149},
      {"ADDRESS", "XML-FONT-STYLE", 151},
      {"IMG", "XML-IMAGE-MAX-WIDTH", 158},
      {"IMG", "XML-IMAGE-CONTENT-WIDTH", 159},
      {"DD", "XML-MARGIN-LEFT", 161},
      {"TH", "XML-FONT-WEIGHT", 13},
      {"TH", "XML-TEXT-ALIGN", 160},
      {"CAPTION", "ALIGN", 44},
      {"SVG", "XML-IMAGE-MAX-WIDTH", 158},
      {"SVG", "XML-IMAGE-CONTENT-WIDTH", 159},
      {"SVG", "XML-DRAWING-MAX-HEIGHT", 203},
      {"SVG", "XML-DRAWING-CONTENT-HEIGHT", 204},
  };
  ASSERT_EQ(kDefaultProperties.size(), std::size(expected));
  for (std::size_t i = 0; i < kDefaultProperties.size(); ++i) {
    EXPECT_STREQ(kDefaultProperties[i].tag, expected[i].tag);
    EXPECT_STREQ(kDefaultProperties[i].property, expected[i].prop);
    EXPECT_EQ(PropRow(FindPropertyDef(kDefaultProperties[i].property, kDefaultProperties[i].tag)), expected[i].row)
        << i;
  }
}

}  // namespace
}  // namespace ps

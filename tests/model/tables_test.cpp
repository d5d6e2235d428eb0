// The constant tables as transcribed: sizes, chosen rows field by field, and
// the consistency of the names the lists use.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "model/tables.h"
#include "model/tree.h"

namespace ps {
namespace {

// "any" for an absent list, "none" for an empty one, else the members.
std::string Names(NameList l) {
  if (!l) return "any";
  if (!*l) return "none";
  std::string s;
  for (NameList e = l; *e; ++e) {
    if (!s.empty()) s += ' ';
    s += *e;
  }
  return s;
}

std::string Out(const char* s) {
  if (!s) return "null";
  std::string r(1, '"');
  r += s;
  r += '"';
  return r;
}

const TagDef& Tag(int row) { return kTagDatabase[static_cast<std::size_t>(row - 1)]; }
const PropertyDef& Prop(int row) { return kPropertyDatabase[static_cast<std::size_t>(row - 1)]; }

std::string TagFields(int row) {
  const TagDef& d = Tag(row);
  return std::string(d.name) + "|" + Out(d.outputName) + "|" + std::to_string(d.contentKind) +
         std::to_string(d.selfNesting) + std::to_string(d.writeForm) + std::to_string(d.rawTag) + "|" +
         (d.closes ? Names(d.closes) : "-") + "|" + Names(d.children);
}

std::string PropFields(int row) {
  const PropertyDef& p = Prop(row);
  return std::string(p.name) + "|" + Out(p.outputName) + "|" + Names(p.owners);
}

TEST(Tables, Sizes) {
  // Row 70 is the id anchor, rows 71 to 103 the phrase and section elements,
  // rows 104 to 112 the metadata and the outline, 113 and 114 the table
  // header and footer, 115 to 117 the stand-ins for table parts and list
  // items outside their table or list, 118 to 129 the page masters and
  // margin boxes the style sheets give, 130 inline drawings, 131 and 132
  // the elements without a row of their own.
  EXPECT_EQ(kTagDatabase.size(), 132u);
  EXPECT_EQ(kTagGroups.size(), 13u);
  // Three default rows for PRE and two property rows for them were added to
  // the original 17 and 142, then the ID row, then ten and six for the
  // phrase elements, then six for the metadata and the outline, two for
  // images, then three and one for header cells and captions, then one and
  // four for definitions and list numbering, then the page sequence's font
  // list, then four for the breaks and keeps of CSS page breaks, fifteen
  // for the page the style sheets give, eighteen for what the style sheets
  // give text; the size of preformatted text; four for drawings and two
  // property rows for them; fifteen for the boxes of tables and cells,
  // one for COL SPAN; thirty-one for the boxes of blocks.
  EXPECT_EQ(kDefaultProperties.size(), 41u);
  EXPECT_EQ(kPropertyDatabase.size(), 251u);
  // A property name holds one bit per row of the table.
  EXPECT_LE(kPropertyDatabase.size(), sizeof(PropertyName::rows) * 8);
  EXPECT_EQ(kTagVariants.size(), 1u);
}

// Every start tag that ends open elements has a row, and every rule says
// where its search stops: no rule may reach past its table or list.
TEST(Tables, ImpliedEndsNameRowsAndStop) {
  EXPECT_EQ(kImpliedEnds.size(), 11u);
  for (const ImpliedEnd& r : kImpliedEnds) {
    EXPECT_NE(FindTagDef(nullptr, r.tag), nullptr) << r.tag;
    ASSERT_NE(r.ends, nullptr) << r.tag;
    ASSERT_NE(r.stops, nullptr) << r.tag;
    EXPECT_TRUE(MatchTagDef(FindTagDef(nullptr, "TABLE"), r.stops)) << r.tag;
  }
}

TEST(Tables, TagRowsFieldByField) {
  EXPECT_EQ(TagFields(1), "XML-?|\"?xml\"|2220|-|none");
  EXPECT_EQ(TagFields(2), "HTML|\"fo:root\"|0200|-|HEAD XML-LAYOUT-MASTER-SET XML-PAGE-SEQUENCE BODY XML-STATIC-CONTENT !-- XML-DECLARATIONS XML-BOOKMARK-TREE");
  EXPECT_EQ(TagFields(5), "XML-REGION-BEFORE|\"fo:region-before\"|2210|-|none");
  EXPECT_EQ(TagFields(8), "HEAD|null|0200|-|META TITLE Footer STYLE SCRIPT LINK !--");
  EXPECT_EQ(TagFields(11), "Footer|null|0200|-|none");
  EXPECT_EQ(TagFields(13), "BODY|\"fo:flow\"|0200|-|%FONT; %BLOCK; %INLINE; !--");
  EXPECT_EQ(TagFields(16), "P|\"fo:block\"|1000|-|%BLOCK; %FONT; %INLINE;");
  EXPECT_EQ(TagFields(18), "BR|\"fo:block/\"|2220|-|any");
  EXPECT_EQ(TagFields(20), "FONT|null|0000|-|%FONT; %BLOCK; %INLINE; PRE");
  EXPECT_EQ(TagFields(21), "TABLE|\"fo:table\"|0100|%INLINE;|TR XML-TABLE-COLUMN XML-TABLE-BODY XML-TABLE-FOOTER COLGROUP CAPTION THEAD TFOOT");
  EXPECT_EQ(TagFields(22), "CAPTION|\"fo:block\"|0200|-|%FONT; %INLINE;");
  EXPECT_EQ(TagFields(23), "COL|\"@XML-TABLE-COLUMN\"|2222|-|any");
  EXPECT_EQ(TagFields(26), "TBODY|\"\"|2222|-|any");
  EXPECT_EQ(TagFields(28), "TH|\"fo:table-cell\"|1000|-|BR %FONT; %BLOCK; %INLINE;");
  EXPECT_EQ(TagFields(29), "TR|\"fo:table-row\"|1000|-|TD TH XML-EMPTY-CELL");
  EXPECT_EQ(TagFields(30), "TD|\"fo:table-cell\"|1000|-|BR %FONT; %BLOCK; %INLINE;");
  EXPECT_EQ(TagFields(33), "A|\"fo:basic-link\"|0200|A|any");
  EXPECT_EQ(TagFields(39), "!--|\"!--\"|2222|-|none");
  EXPECT_EQ(TagFields(40), "!DOCTYPE|null|2222|-|none");
  EXPECT_EQ(TagFields(41), "COLGROUP|\"\"|0120|-|COL");
  EXPECT_EQ(TagFields(42), "HR|\"fo:leader\"|2200|-|none");
  EXPECT_EQ(TagFields(48), "H6|\"fo:block\"|0200|-|%FONT; %INLINE;");
  EXPECT_EQ(TagFields(52),
            "LI|\"fo:list-item\"|1000|-|%FONT; %BLOCK; %INLINE; OL UL DL XML-LIST-ITEM-LABEL XML-LIST-ITEM-BODY");
  EXPECT_EQ(TagFields(55), "IMG|\"fo:external-graphic\"|2210|-|any");
  EXPECT_EQ(TagFields(59), "SCRIPT|null|0202|-|any");
  EXPECT_EQ(TagFields(50), "OL|\"fo:list-block\"|0100|-|LI");
  EXPECT_EQ(TagFields(62), "DL|\"fo:block\"|0100|-|DT DD LI %BLOCK; %FONT; %INLINE;");
  EXPECT_EQ(TagFields(63), "DD|\"fo:block\"|1000|-|%FONT; %BLOCK; %INLINE;");
  EXPECT_EQ(TagFields(67), "SUB|\"fo:inline\"|0200|-|%FONT; %INLINE;");
  EXPECT_EQ(TagFields(68), "VAR|null|0200|-|%FONT; %INLINE;");
  EXPECT_EQ(TagFields(69), "BLOCKQUOTE|\"fo:block\"|0000|-|%FONT; %BLOCK; %INLINE;");
  EXPECT_EQ(TagFields(71), "EM|null|0000|-|%FONT; %BLOCK; %INLINE;");
  EXPECT_EQ(TagFields(74), "TT|null|0200|-|any");
  EXPECT_EQ(TagFields(90), "WBR|null|2200|-|none");
  EXPECT_EQ(TagFields(91), "SECTION|\"fo:block\"|0000|-|%BLOCK; %FONT; %INLINE;");
  EXPECT_EQ(TagFields(103), "XML-BODY-FOOTER|\"fo:block\"|0000|-|%BLOCK; %FONT; %INLINE;");
  EXPECT_EQ(TagFields(113), "THEAD|\"fo:table-header\"|1000|-|TR");
  EXPECT_EQ(TagFields(114), "TFOOT|\"fo:table-footer\"|1000|-|TR");
  EXPECT_EQ(TagFields(130), "SVG|\"fo:instream-foreign-object\"|0003|-|none");
  EXPECT_EQ(TagFields(131), "XML-ELEMENT|null|0000|-|%FONT; %BLOCK; %INLINE;");
  EXPECT_EQ(TagFields(132), "XML-EMPTY-ELEMENT|null|2200|-|none");
}

TEST(Tables, CategoryMarksTheFlowRows) {
  for (int row = 1; row <= static_cast<int>(kTagDatabase.size()); ++row) {
    // Rows 104 to 112 belong to the document frame (metadata and outline),
    // the header and footer rows (113, 114) to the table structure; the
    // stand-ins for loose table parts and items (115 to 117) are blocks, the
    // page masters and margin boxes (118 on) belong to the frame again,
    // and inline drawings (130) and elements without a row (131, 132) are flow.
    const bool flow = (row >= 16 && row <= 20) || (row >= 32 && row <= 39) || (row >= 42 && row <= 103) ||
                      (row >= 115 && row <= 117) || row >= 130;
    EXPECT_EQ(Tag(row).category, flow ? 2 : 0) << Tag(row).name;
  }
}

TEST(Tables, TagNamesAreUnique) {
  std::set<std::string> seen;
  for (const TagDef& d : kTagDatabase) {
    std::string lower(d.name);
    for (char& c : lower)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    EXPECT_TRUE(seen.insert(lower).second) << d.name;
  }
}

TEST(Tables, Groups) {
  const char* expected[][2] = {
      {"%BLOCK;", "%BLOCK-NO-PG; %PARAGRAPH; %BLOCK-FB;"},
      {"%BLOCK-NO-PG;",
       "DIV !-- PRE IMG SVG BLOCKQUOTE SECTION ARTICLE NAV HEADER MAIN ASIDE FIGURE FIGCAPTION HGROUP ADDRESS DETAILS "
       "SUMMARY XML-BODY-FOOTER XML-LOOSE-CELL XML-LOOSE-ROW XML-LOOSE-ITEM"},
      {"%PARAGRAPH;", "P H1 H2 H3 H4 H5 H6 DT DD CAPTION"},
      {"%BLOCK-FB;", "TABLE OL UL DL"},
      {"%INLINE;", "XML-INLINE A BR NOBR IMG SVG ABBR SUP SUB VAR XML-LINK-REFERENCE HR !--"},
      {"%FONT;",
       "FONT B U I SMALL STRONG CENTER RIGHT CODE BLOCKQUOTE XML-ID-ANCHOR EM CITE DFN TT KBD SAMP S STRIKE DEL INS "
       "SPAN LABEL ACRONYM TIME DATA BDI BIG MARK Q WBR XML-ELEMENT XML-EMPTY-ELEMENT"},
      {"%MARGINTAGS;", "TABLE TD TH"},
      {"%BORDERTAGS;", "TABLE TD TH TR XML-TABLE-BODY XML-TABLE-COLUMN IMG"},
      {"%FONTTAGS;", "XML-INLINE FONT CODE PRE A TD TH %PARAGRAPH; TT KBD SAMP"},
      {"%BOLD;", "B STRONG"},
      {"%ITALIC;", "I EM CITE DFN VAR"},
      {"%UNDERLINE;", "U INS"},
      {"%LINE-THROUGH;", "S STRIKE DEL"},
  };
  ASSERT_EQ(kTagGroups.size(), std::size(expected));
  for (std::size_t i = 0; i < kTagGroups.size(); ++i) {
    EXPECT_STREQ(kTagGroups[i].name, expected[i][0]);
    EXPECT_EQ(Names(kTagGroups[i].members), expected[i][1]);
  }
}

TEST(Tables, DefaultValues) {
  std::string all;
  for (const DefaultProperty& d : kDefaultProperties) all += std::string(d.tag) + "=" + (d.value ? d.value : "(null)") + ";";
  const std::string mono = kMonospaceFonts;
  EXPECT_EQ(all,
            "CODE=" + mono + ";HR=rule;HR=2.0pt;HR=0pt;HR=0pt;HR=0cm;HR=0cm;PRE=false;PRE=" + mono + ";"
            "PRE=preserve;PRE=preserve;PRE=false;PRE=10pt;OL=14pt;OL=3pt;"
            "UL=14pt;UL=3pt;TABLE=fixed;TABLE=left;NOBR=no-wrap;CENTER=center;"
            "TT=" + mono + ";KBD=" + mono + ";SAMP=" + mono + ";"
            "SUP=super;SUP=smaller;SUB=sub;SUB=smaller;"
            "BLOCKQUOTE=1cm;BLOCKQUOTE=1cm;ADDRESS=italic;IMG=100%;IMG=scale-down-to-fit;"
            "DD=1cm;TH=bold;TH=center;CAPTION=center;SVG=100%;SVG=scale-down-to-fit;SVG=24cm;SVG=scale-down-to-fit;");
}

TEST(Tables, PropertyRowsFieldByField) {
  EXPECT_EQ(PropFields(1), "html-filepos|null|any");
  EXPECT_EQ(PropFields(2), "XML-NAMESPACE-fo|\"xmlns:fo\"|HTML");
  EXPECT_EQ(PropFields(6), "CONTENT|\"encoding\"|META");
  EXPECT_EQ(PropFields(16), "COLOR|\"@STYLE-color\"|FONT");
  EXPECT_EQ(PropFields(17), "XML-LINE-HEIGHT|\"line-height\"|%PARAGRAPH; FONT");
  EXPECT_EQ(PropFields(24), "BORDER|null|IMG");
  EXPECT_EQ(PropFields(25), "BORDER|null|%BORDERTAGS;");
  EXPECT_EQ(PropFields(26), "BGCOLOR|\"background-color\"|TABLE TR TD TH BODY");
  EXPECT_EQ(PropFields(29), "CELLSPACING|null|TABLE TD TH");
  EXPECT_EQ(PropFields(41), "WIDTH|\"width\"|IMG");
  EXPECT_EQ(PropFields(42), "HEIGHT|\"height\"|TR TD TH IMG");
  EXPECT_EQ(PropFields(44), "ALIGN|\"text-align\"|%BLOCK; DIV CENTER");
  EXPECT_EQ(PropFields(45), "ALIGN|null|TD TH TR");
  EXPECT_EQ(PropFields(47), "XML-WORDWRAP|\"wrap-option\"|XML-PAGE-SEQUENCE %BLOCK; NOBR");
  EXPECT_EQ(PropFields(57), "WIDTH|\"@XML-TABLE-COLUMN-WIDTH\"|XML-TABLE-COLUMN");
  EXPECT_EQ(PropFields(64), "XML-BORDER-BOTTOM-WIDTH|\"border-bottom-width\"|%BORDERTAGS;");
  EXPECT_EQ(PropFields(72), "XML-BORDER-BOTTOM-STYLE|\"border-bottom-style\"|%BORDERTAGS;");
  EXPECT_EQ(PropFields(73), "--|\"--\"|!--");
  EXPECT_EQ(PropFields(76), "XML-?-VERSION|\"version\"|XML-?");
  EXPECT_EQ(PropFields(78), "XML-?-?|\"?\"|XML-?");
  EXPECT_EQ(PropFields(84), "XML-MARGIN-RIGHT|\"margin-right\"|XML-SIMPLE-PAGE-MASTER XML-REGION-BODY");
  EXPECT_EQ(PropFields(89), "BODY-XML-FLOW-NAME|\"flow-name\"|BODY XML-STATIC-CONTENT");
  EXPECT_EQ(PropFields(90), "NAME|\"id\"|A");
  EXPECT_EQ(PropFields(100), "BORDER|null|IMG");
  EXPECT_EQ(PropFields(107), "LIST-SEPARATOR|\"\"|any");
  EXPECT_EQ(PropFields(118), "XML-start-indent|\"start-indent\"|XML-LIST-ITEM-BODY HR");
  EXPECT_EQ(PropFields(122), "STYLE|null|%FONTTAGS; A DIV TABLE");
  EXPECT_EQ(PropFields(128), "STYLE-line-height|\"@XML-LINE-HEIGHT\"|%BLOCK-NO-PG; %PARAGRAPH;");
  EXPECT_EQ(PropFields(133), "STYLE-page-break-before|null|%BLOCK; TABLE");
  EXPECT_EQ(PropFields(137), "STYLE-color|\"color\"|P A");
  EXPECT_EQ(PropFields(138), "XML-CONFIG|null|any");
  EXPECT_EQ(PropFields(142), "XML-CONFIG-max-content-width|null|BODY TD TH");
  EXPECT_EQ(PropFields(146), "XML-BASELINE-SHIFT|\"baseline-shift\"|SUP SUB");
  EXPECT_EQ(PropFields(150), "XML-CONFIG-max-content-width|null|BLOCKQUOTE");
  EXPECT_EQ(PropFields(151), "XML-FONT-STYLE|\"font-style\"|ADDRESS");
  EXPECT_EQ(PropFields(160), "XML-TEXT-ALIGN|\"text-align\"|TH");
  EXPECT_EQ(PropFields(161), "XML-MARGIN-LEFT|\"margin-left\"|DD");
  EXPECT_EQ(PropFields(162), "TYPE|null|OL LI");
  EXPECT_EQ(PropFields(163), "START|null|OL");
  EXPECT_EQ(PropFields(164), "VALUE|null|LI");
}

TEST(Tables, VariantsNameRowsOfOtherNames) {
  for (const TagVariant& v : kTagVariants) {
    const TagDef* tag = FindTagDef(nullptr, v.tag);
    const TagDef* variant = FindTagDef(nullptr, v.variant);
    ASSERT_NE(tag, nullptr) << v.tag;
    ASSERT_NE(variant, nullptr) << v.variant;
    EXPECT_NE(tag, variant);
    // The reader never finds a variant by its own name.
    EXPECT_EQ(std::string(v.variant).substr(0, 4), "XML-");
  }
}

TEST(Tables, ListsNameKnownTagsOrGroups) {
  std::set<std::string> known;
  auto lower = [](std::string s) {
    for (char& c : s)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return s;
  };
  for (const TagDef& d : kTagDatabase) known.insert(lower(d.name));
  for (const TagGroup& g : kTagGroups) known.insert(lower(g.name));
  known.insert("right");  // the one member without a row
  for (NameList l : kAllNameLists)
    for (NameList e = l; *e; ++e) EXPECT_TRUE(known.count(lower(*e))) << *e;
}

TEST(Tables, EveryListIsIndexed) {
  // Lists missing here would still be answered, but by a walk.
  std::set<NameList> indexed(kAllNameLists.begin(), kAllNameLists.end());
  auto check = [&](NameList l, const char* row) {
    if (l) {
      EXPECT_TRUE(indexed.count(l)) << row;
    }
  };
  for (const TagDef& d : kTagDatabase) {
    check(d.closes, d.name);
    check(d.children, d.name);
  }
  for (const TagGroup& g : kTagGroups) check(g.members, g.name);
  for (const PropertyDef& p : kPropertyDatabase) check(p.owners, p.name);
}

}  // namespace
}  // namespace ps

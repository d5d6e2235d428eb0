#include "reader/attributes.h"

#include <gtest/gtest.h>

#include <string>

#include "support/test_util.h"

namespace ps {
namespace {

using test::Captured;

// A node of the row with the raw tag text, its attributes parsed.
struct Parsed {
  Captured c;
  TagNode* node;
  explicit Parsed(const char* tag, std::string_view raw, int debugLevel = 0) : c(debugLevel) {
    node = test::Node(tag);
    node->raw.assign(raw);
    ParseAttributes(c.ctx, node);
  }
  ~Parsed() { FreeTree(node); }
  // "NAME=value" per property in list order; "NAME" when it has no value.
  std::string Props() const {
    std::string s;
    for (const TagProperty* p = node->props; p; p = p->next) {
      if (!s.empty()) s += ' ';
      s += p->def->name;
      if (p->value.has()) s += "=[" + std::string(p->value.view()) + "]";
    }
    return s;
  }
};

TEST(ParseAttributes, NoAttributeTextMakesNothing) {
  for (const char* raw : {"DIV", "DIV ", "DIV \t\r\n "}) {
    Parsed p("DIV", raw);
    EXPECT_EQ(p.Props(), "") << raw;
    EXPECT_EQ(p.c.messages, "") << raw;
  }
}

TEST(ParseAttributes, ValueFormsAndListOrder) {
  Parsed p("IMG", "img src=a.png alt=\"two words\"\tname='it''s' hspace");
  // Pushed at the head: the last attribute stands first. "'it''s'" closes and
  // reopens the quote, so the value is joined.
  EXPECT_EQ(p.Props(), "HSPACE NAME=[its] ALT=[two words] SRC=[a.png]");
  EXPECT_EQ(p.c.messages, "");
}

TEST(ParseAttributes, QuotesKeepTheOtherQuoteAndInnerWhiteSpace) {
  Parsed p("IMG", "IMG alt=\"it's\" src='say \"hi\"' name=\"  lead and trail  \"");
  EXPECT_EQ(p.Props(), "NAME=[lead and trail  ] SRC=[say \"hi\"] ALT=[it's]");
}

TEST(ParseAttributes, EmptyAndMissingValuesHaveNoValue) {
  Parsed p("IMG", "IMG alt=\"\" src= name=");
  // "src=" takes the next word, '=' included, as its value.
  EXPECT_EQ(p.Props(), "SRC=[name=] ALT");
  Parsed q("IMG", "IMG alt=\"\" name=");
  EXPECT_EQ(q.Props(), "NAME ALT");
}

TEST(ParseAttributes, WhiteSpaceBeforeEqualsLosesTheValue) {
  Parsed p("IMG", "IMG alt =lost src=x");
  EXPECT_EQ(p.Props(), "SRC=[x] ALT");
  EXPECT_EQ(p.c.messages, "");
}

TEST(ParseAttributes, UnterminatedQuoteRunsToTheEnd) {
  Parsed p("IMG", "IMG alt=\"a b=c src=d");
  EXPECT_EQ(p.Props(), "ALT=[a b=c src=d]");
}

TEST(ParseAttributes, QuotesAndEqualsInsideNames) {
  // A quote closed in the name gives the pair an empty value; the name goes on.
  Parsed p("DIV", "DIV \"cla\"ss=x");
  EXPECT_EQ(p.Props(), "CLASS=[x]");
  // '=' switches to the value even inside a quoted part.
  Parsed q("DIV", "DIV \"class=x y\"");
  EXPECT_EQ(q.Props(), "CLASS=[x y]");
  // At the end of the text the pending pair is emitted with its empty value.
  Parsed r("DIV", "DIV cla\"ss\"");
  EXPECT_EQ(r.Props(), "CLASS=[]");
}

// An attribute given twice is kept once, as read last (valueless or not),
// whatever the case of its name, so that every later step sees the same one.
TEST(ParseAttributes, RepeatedNamesKeepTheLastOne) {
  Parsed p("DIV", "div Class=a CLASS=b eeid=1 class=c");
  EXPECT_EQ(p.Props(), "CLASS=[c] EEID=[1]");
  Parsed td("TD", "td colspan=2 rowspan=3 colspan");
  EXPECT_EQ(td.Props(), "COLSPAN ROWSPAN=[3]");
  Parsed a("A", "a href=\"#x\" name=n href=\"#\"");
  EXPECT_EQ(a.Props(), "HREF=[#] NAME=[n]");
  // Rows that share a name are told apart by the tag: one per row.
  Parsed img("IMG", "img border=1 BORDER=2 width=3");
  EXPECT_EQ(img.Props(), "WIDTH=[3] BORDER=[2]");
}

TEST(ParseAttributes, UnknownNamesAreReportedInFourPieces) {
  Parsed p("FONT", "FONT align=left nowrap face=x");
  EXPECT_EQ(p.Props(), "FACE=[x]");
  EXPECT_EQ(p.c.messages,
            "\nProperty \"align\" not found!!!\nValue left Tag FONT\n\n"
            "\nProperty \"nowrap\" not found!!!\nTag FONT\n\n");
}

TEST(ParseAttributes, RowsAreChosenByTheNodesRow) {
  // A TH is read as a TD node, so it takes the TD row of ALIGN.
  Parsed td("TD", "th align=center");
  ASSERT_NE(td.node->props, nullptr);
  EXPECT_EQ(td.node->props->def->outputName, nullptr);
  Parsed img("IMG", "img align=center");
  ASSERT_NE(img.node->props, nullptr);
  EXPECT_STREQ(img.node->props->def->outputName, "text-align");
  Parsed p("P", "p border=1");
  EXPECT_EQ(p.Props(), "");
  EXPECT_EQ(p.c.messages, "\nProperty \"border\" not found!!!\nValue 1 Tag P\n\n");
}

TEST(AddPropertyByName, FollowsAliasesWithATrace) {
  Parsed p("FONT", "font color=red", 1);
  EXPECT_EQ(p.Props(), "STYLE-color=[red]");
  EXPECT_EQ(p.c.trace, "Processing property \"color\" like property \"STYLE-color\"\n");
  Parsed col("XML-TABLE-COLUMN", "col width=20");
  EXPECT_EQ(col.Props(), "XML-TABLE-COLUMN-WIDTH=[20]");
}

TEST(AddPropertyByName, AliasTargetMustAdmitTheTag) {
  Captured c;
  TagNode* div = test::Node("DIV");
  AddPropertyByName(c.ctx, div->props, Text("STYLE-line-height"), Text("2"), div->def);
  EXPECT_EQ(div->props, nullptr);
  EXPECT_EQ(c.messages, "\nProperty \"XML-LINE-HEIGHT\" not found!!!\nValue 2 Tag DIV\n\n");
  FreeTree(div);
}

TEST(AddPropertyByName, NoNameAddsNothingAndAlwaysAddsANewProperty) {
  Captured c;
  TagNode* div = test::Node("DIV");
  AddPropertyByName(c.ctx, div->props, Text(), Text("v"), div->def);
  EXPECT_EQ(div->props, nullptr);
  AddPropertyByName(c.ctx, div->props, Text("class"), Text(), div->def);
  AddPropertyByName(c.ctx, div->props, Text("class"), Text(""), div->def);
  ASSERT_NE(div->props, nullptr);
  ASSERT_NE(div->props->next, nullptr);
  EXPECT_TRUE(div->props->value.has());
  EXPECT_TRUE(div->props->next->value.null());
  EXPECT_EQ(c.messages, "");
  FreeTree(div);
}

// Two rows that name each other: the chain must end as "not found".
const PropertyDef kLoop[] = {{"A", "@B", nullptr, nullptr}, {"B", "@A", nullptr, nullptr}};
const PropertyDef* FindInLoop(std::string_view name, const TagDef*) {
  for (const PropertyDef& d : kLoop)
    if (EqualsNoCase(d.name, name)) return &d;
  return nullptr;
}

TEST(AddPropertyByName, AliasCycleEndsAfterSixteenHops) {
  Captured c(1);
  TagNode* div = test::Node("DIV");
  AddPropertyByName(c.ctx, div->props, Text("A"), Text("v"), div->def, FindInLoop);
  EXPECT_EQ(div->props, nullptr);
  std::string trace;
  for (int i = 0; i < kMaxAliasHops; ++i)
    trace += i % 2 == 0 ? "Processing property \"A\" like property \"B\"\n"
                        : "Processing property \"B\" like property \"A\"\n";
  EXPECT_EQ(c.trace, trace);
  EXPECT_EQ(c.messages, "\nProperty \"A\" not found!!!\nValue v Tag DIV\n\n");
  FreeTree(div);
}

}  // namespace
}  // namespace ps

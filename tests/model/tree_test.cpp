// Tree operations: properties, spreading, the insert and wrap operations with
// their first/last/parent bookkeeping, and freeing very large trees.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/tables.h"
#include "model/tree.h"
#include "support/test_util.h"

namespace ps {
namespace {

using test::Captured;
using test::Child;
using test::Node;
using test::PropNames;

// Checks the chain invariants under a node: parents, last child, no cycles.
void ExpectConsistent(const TagNode* n) {
  const TagNode* last = nullptr;
  for (const TagNode* c = n->firstChild; c; c = c->next) {
    EXPECT_EQ(c->parent, n) << c->name() << " under " << n->name();
    ExpectConsistent(c);
    last = c;
  }
  EXPECT_EQ(n->lastChild, last) << "last child of " << n->name();
}

std::string ChildNames(const TagNode* n) {
  std::string s;
  for (const TagNode* c = n->firstChild; c; c = c->next) {
    if (!s.empty()) s += ' ';
    s += c->name();
  }
  return s;
}

const char* Value(const TagNode* n, const char* prop) {
  const TagProperty* p = FindProperty(n, prop);
  return p ? p->value.c_str() : "(no property)";
}

// ---------------------------------------------------------------- properties

TEST(CreateProperty, ReturnsTheExistingPropertyInAnyCase) {
  Captured c;
  TagNode* p = Node("P");
  TagProperty* a = CreateProperty(c.ctx, p, "XML-FONT-FACE");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(CreateProperty(c.ctx, p, "xml-font-face"), a);
  EXPECT_TRUE(a->value.null());
  SetProperty(c.ctx, p, "XML-FONT-FACE", "Courier");
  EXPECT_EQ(SetProperty(c.ctx, p, "Xml-Font-Face", "Arial"), a);
  EXPECT_STREQ(a->value.c_str(), "Arial");
  EXPECT_EQ(PropNames(p), "XML-FONT-FACE");
  EXPECT_EQ(c.messages, "");
  FreeTree(p);
}

TEST(CreateProperty, PushesAtTheHead) {
  Captured c;
  TagNode* root = Node("XML-?");
  CreateProperty(c.ctx, root, "XML-?-?");
  SetProperty(c.ctx, root, "XML-?-ENCODING", "ISO-8859-1");
  SetProperty(c.ctx, root, "XML-?-VERSION", "1.0");
  EXPECT_EQ(PropNames(root), "XML-?-VERSION XML-?-ENCODING XML-?-?");
  FreeTree(root);
}

TEST(CreateProperty, RefusalReportsTheTagAndChangesNothing) {
  Captured c;
  TagNode* p = Node("P");
  SetProperty(c.ctx, p, "CLASS", "x");
  EXPECT_EQ(CreateProperty(c.ctx, p, "BORDER"), nullptr);
  EXPECT_EQ(SetProperty(c.ctx, p, "nonsense", "v"), nullptr);
  EXPECT_EQ(PropNames(p), "CLASS");
  EXPECT_EQ(c.messages,
            "The property \"BORDER\" can't be created under \"P\"!\n"
            "The property \"nonsense\" can't be created under \"P\"!\n");

  // Without a node even a property that every tag accepts is refused.
  c.messages.clear();
  EXPECT_EQ(CreateProperty(c.ctx, nullptr, "html-FilePos"), nullptr);
  EXPECT_EQ(c.messages, "The property \"html-FilePos\" can't be created under \"\"!\n");

  // The switch silences the report, not the refusal.
  c.messages.clear();
  c.ctx.reportPropertyFailures = false;
  EXPECT_EQ(CreateProperty(c.ctx, p, "BORDER"), nullptr);
  EXPECT_EQ(CreateProperty(c.ctx, nullptr, "CLASS"), nullptr);
  EXPECT_EQ(c.messages, "");
  FreeTree(p);
}

TEST(CreateProperty, TakesTheRowItFindsAliasOrNot) {
  Captured c;
  TagNode* font = Node("FONT");
  TagNode* img = Node("IMG");
  TagProperty* color = CreateProperty(c.ctx, font, "color");
  ASSERT_NE(color, nullptr);
  EXPECT_STREQ(color->def->name, "COLOR");
  EXPECT_STREQ(color->def->outputName, "@STYLE-color");
  TagProperty* border = CreateProperty(c.ctx, img, "border");
  ASSERT_NE(border, nullptr);
  EXPECT_EQ(border->def, &kPropertyDatabase[23]);  // the image row, not the border-tag row
  FreeTree(font);
  FreeTree(img);
}

TEST(FindProperty, OwnListThenAncestors) {
  Captured c;
  TagNode* body = Node("BODY");
  TagNode* p = Child(body, "P");
  TagNode* a = Child(p, "A");
  SetProperty(c.ctx, body, "BGCOLOR", "red");
  SetProperty(c.ctx, p, "XML-FONT-SIZE", "12pt");
  SetProperty(c.ctx, a, "XML-FONT-SIZE", "8pt");
  EXPECT_EQ(FindProperty(nullptr, "BGCOLOR"), nullptr);
  EXPECT_EQ(FindProperty(a, "BGCOLOR"), nullptr);
  EXPECT_STREQ(FindInheritedProperty(a, "bgcolor")->value.c_str(), "red");
  EXPECT_STREQ(FindInheritedProperty(a, "XML-FONT-SIZE")->value.c_str(), "8pt");
  EXPECT_EQ(FindInheritedProperty(a, "XML-FONT-FACE"), nullptr);
  EXPECT_EQ(FindInheritedProperty(nullptr, "BGCOLOR"), nullptr);
  FreeTree(body);
}

// A name looked up once must answer as the name itself does: in any case,
// and in the refusal report (as spelled).
TEST(PropertyName, AnswersAsTheNameDoes) {
  Captured c;
  TagNode* body = Node("BODY");
  TagNode* p = Child(body, "P");
  const PropertyName face("xml-font-face"), bgcolor("BGCOLOR"), unknown("nonsense");
  EXPECT_EQ(unknown.id, -1);
  TagProperty* a = SetProperty(c.ctx, p, face, "Courier");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(FindProperty(p, "XML-FONT-FACE"), a);
  EXPECT_EQ(CreateProperty(c.ctx, p, face), a);
  EXPECT_EQ(SetProperty(c.ctx, p, "Xml-Font-Face", "Arial"), a);
  EXPECT_EQ(FindProperty(p, face), a);
  EXPECT_STREQ(a->value.c_str(), "Arial");

  SetProperty(c.ctx, body, "BGCOLOR", "red");
  EXPECT_EQ(FindProperty(p, bgcolor), nullptr);
  EXPECT_STREQ(FindInheritedProperty(p, bgcolor)->value.c_str(), "red");

  EXPECT_EQ(FindProperty(p, unknown), nullptr);
  EXPECT_TRUE(HasName(a, face));
  EXPECT_FALSE(HasName(a, bgcolor));
  EXPECT_FALSE(HasName(a, unknown));

  EXPECT_EQ(CreateProperty(c.ctx, p, unknown), nullptr);
  EXPECT_EQ(SetProperty(c.ctx, nullptr, face, "x"), nullptr);
  EXPECT_EQ(c.messages,
            "The property \"nonsense\" can't be created under \"P\"!\n"
            "The property \"xml-font-face\" can't be created under \"\"!\n");

  // Spreading by a kept name: the body refuses, its paragraph has one already.
  c.messages.clear();
  TagNode* q = Child(body, "P");
  SpreadProperty(c.ctx, body->firstChild, face, Text("Times"), 0, true);
  EXPECT_STREQ(Value(p, "XML-FONT-FACE"), "Arial");
  EXPECT_STREQ(Value(q, "XML-FONT-FACE"), "Times");
  SpreadProperty(c.ctx, body, PropertyName(""), Text("x"), 0, true);
  EXPECT_EQ(body->props->next, nullptr);
  EXPECT_EQ(c.messages, "");
  FreeTree(body);
}

TEST(UnlinkProperty, HeadMiddleAndStranger) {
  Captured c;
  TagNode* p = Node("P");
  TagNode* other = Node("P");
  TagProperty* a = SetProperty(c.ctx, p, "CLASS", "a");
  TagProperty* b = SetProperty(c.ctx, p, "EEID", "b");
  TagProperty* d = SetProperty(c.ctx, p, "XML-FONT-FACE", "d");
  TagProperty* stranger = SetProperty(c.ctx, other, "CLASS", "s");
  UnlinkProperty(p, stranger);
  EXPECT_EQ(PropNames(p), "XML-FONT-FACE EEID CLASS");
  UnlinkProperty(p, b);
  EXPECT_EQ(PropNames(p), "XML-FONT-FACE CLASS");
  EXPECT_EQ(b->next, nullptr);
  UnlinkProperty(p, d);
  EXPECT_EQ(PropNames(p), "CLASS");
  UnlinkProperty(p, a);
  EXPECT_EQ(p->props, nullptr);
  UnlinkProperty(nullptr, a);
  FreeProperty(a);
  FreeProperty(b);
  FreeProperty(d);
  FreeTree(p);
  FreeTree(other);
}

// ------------------------------------------------------------------ spreading

// DIV (refuses font faces) holding two P (accept) each holding an A (accepts).
struct SpreadTree {
  TagNode* div = Node("DIV");
  TagNode* p1 = Child(div, "P");
  TagNode* a1 = Child(p1, "A");
  TagNode* p2 = Child(div, "P");
  TagNode* a2 = Child(p2, "A");
  ~SpreadTree() { FreeTree(div); }
};

TEST(SpreadProperty, ModeZeroStopsAtTheTopmostAcceptingNodes) {
  Captured c;
  SpreadTree t;
  SpreadProperty(c.ctx, t.div, "XML-FONT-FACE", Text("Courier"), 0, false);
  EXPECT_STREQ(Value(t.p1, "XML-FONT-FACE"), "Courier");
  EXPECT_STREQ(Value(t.p2, "XML-FONT-FACE"), "Courier");
  EXPECT_EQ(t.a1->props, nullptr);
  EXPECT_EQ(t.a2->props, nullptr);
  EXPECT_EQ(t.div->props, nullptr);
  // Each value is a copy of its own.
  EXPECT_NE(FindProperty(t.p1, "XML-FONT-FACE")->value.c_str(), FindProperty(t.p2, "XML-FONT-FACE")->value.c_str());
  // The refusal on the way is reported while reports are on.
  EXPECT_EQ(c.messages, "The property \"XML-FONT-FACE\" can't be created under \"DIV\"!\n");
}

TEST(SpreadProperty, ModeOneReachesEveryAcceptingNode) {
  Captured c;
  c.ctx.reportPropertyFailures = false;
  SpreadTree t;
  SpreadProperty(c.ctx, t.div, "XML-FONT-FACE", Text("Courier"), 1, false);
  for (TagNode* n : {t.p1, t.a1, t.p2, t.a2}) EXPECT_STREQ(Value(n, "XML-FONT-FACE"), "Courier") << n->name();
  EXPECT_EQ(t.div->props, nullptr);
  EXPECT_EQ(c.messages, "");
}

TEST(SpreadProperty, ExistingValuesStayAndModeDecidesTheDescent) {
  Captured c;
  {
    SpreadTree t;
    SetProperty(c.ctx, t.p1, "XML-FONT-FACE", "Arial");
    SpreadProperty(c.ctx, t.p1, "XML-FONT-FACE", Text("Courier"), 0, true);
    EXPECT_STREQ(Value(t.p1, "XML-FONT-FACE"), "Arial");
    EXPECT_EQ(t.a1->props, nullptr);  // mode 0 goes no deeper below an existing value
    EXPECT_STREQ(Value(t.p2, "XML-FONT-FACE"), "Courier");  // the sibling flag
  }
  {
    SpreadTree t;
    SetProperty(c.ctx, t.p1, "XML-FONT-FACE", "Arial");
    SpreadProperty(c.ctx, t.p1, "XML-FONT-FACE", Text("Courier"), 1, false);
    EXPECT_STREQ(Value(t.p1, "XML-FONT-FACE"), "Arial");
    EXPECT_STREQ(Value(t.a1, "XML-FONT-FACE"), "Courier");  // mode 1 descends all the same
    EXPECT_EQ(t.p2->props, nullptr);                         // no sibling flag
  }
  EXPECT_EQ(c.messages, "");
}

TEST(SpreadProperty, AbsentNodeOrNameDoesNothing) {
  Captured c;
  SpreadTree t;
  SpreadProperty(c.ctx, nullptr, "XML-FONT-FACE", Text("x"), 1, true);
  SpreadProperty(c.ctx, t.div, "", Text("x"), 1, true);
  for (TagNode* n : {t.div, t.p1, t.a1, t.p2, t.a2}) EXPECT_EQ(n->props, nullptr);
  EXPECT_EQ(c.messages, "");
}

TEST(SpreadProperty, AbsentValueGivesPropertiesWithoutValue) {
  Captured c;
  SpreadTree t;
  SpreadProperty(c.ctx, t.p1, "XML-FONT-FACE", Text(), 0, true);
  ASSERT_NE(FindProperty(t.p1, "XML-FONT-FACE"), nullptr);
  EXPECT_TRUE(FindProperty(t.p1, "XML-FONT-FACE")->value.null());
  EXPECT_TRUE(FindProperty(t.p2, "XML-FONT-FACE")->value.null());
}

// --------------------------------------------------------- wrap and insert

struct Body3 {
  TagNode* body = Node("BODY");
  TagNode* a = Child(body, "P");
  TagNode* b = Child(body, "DIV");
  TagNode* d = Child(body, "TABLE");
  Body3() {
    body->text.assign("t");
    a->tail.assign("ta");
    b->tail.assign("tb");
    d->tail.assign("td");
  }
  ~Body3() { FreeTree(body); }
};

TEST(PreviousSibling, WalksTheParentsChain) {
  Body3 t;
  EXPECT_EQ(PreviousSibling(t.a), nullptr);
  EXPECT_EQ(PreviousSibling(t.b), t.a);
  EXPECT_EQ(PreviousSibling(t.d), t.b);
  EXPECT_EQ(PreviousSibling(t.body), nullptr);
  EXPECT_EQ(PreviousSibling(nullptr), nullptr);
}

TEST(WrapChildren, TakesTextAndAllChildren) {
  Body3 t;
  TagNode* w = WrapChildren(t.body, "DIV");
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(ChildNames(t.body), "DIV");
  EXPECT_EQ(ChildNames(w), "P DIV TABLE");
  EXPECT_EQ(w->firstChild, t.a);
  EXPECT_EQ(w->lastChild, t.d);
  EXPECT_STREQ(w->text.c_str(), "t");
  EXPECT_TRUE(t.body->text.null());
  EXPECT_TRUE(w->tail.null());
  EXPECT_EQ(w->raw.c_str(), nullptr);
  ExpectConsistent(t.body);

  // A node without children gets a lone empty wrapper.
  TagNode* empty = WrapChildren(t.d, "TR");
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(t.d->firstChild, empty);
  EXPECT_EQ(t.d->lastChild, empty);
  EXPECT_EQ(empty->firstChild, nullptr);
  ExpectConsistent(t.body);
}

TEST(WrapChildren, RefusedTagChangesNothing) {
  Body3 t;
  EXPECT_EQ(WrapChildren(t.body, "TR"), nullptr);
  EXPECT_EQ(WrapChildren(t.body, "nonsense"), nullptr);
  EXPECT_EQ(WrapChildren(nullptr, "DIV"), nullptr);
  EXPECT_EQ(ChildNames(t.body), "P DIV TABLE");
  EXPECT_STREQ(t.body->text.c_str(), "t");
  ExpectConsistent(t.body);
}

TEST(WrapNode, TakesThePlaceTailAndNextSibling) {
  for (int which = 0; which < 3; ++which) {
    Body3 t;
    TagNode* target = which == 0 ? t.a : which == 1 ? t.b : t.d;
    TagNode* after = target->next;
    std::string tail = target->tail.c_str();
    TagNode* w = WrapNode(target, "DIV");
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->firstChild, target);
    EXPECT_EQ(w->lastChild, target);
    EXPECT_EQ(target->parent, w);
    EXPECT_EQ(target->next, nullptr);
    EXPECT_TRUE(target->tail.null());
    EXPECT_EQ(w->tail.view(), tail);
    EXPECT_EQ(w->next, after);
    if (which == 0) {
      EXPECT_EQ(t.body->firstChild, w);
    }
    if (which == 2) {
      EXPECT_EQ(t.body->lastChild, w);
    }
    EXPECT_EQ(ChildNames(t.body), which == 0 ? "DIV DIV TABLE" : which == 1 ? "P DIV TABLE" : "P DIV DIV");
    ExpectConsistent(t.body);
  }
}

TEST(WrapNode, RefusedWithoutParentOutsideTheChainOrForAForbiddenTag) {
  Body3 t;
  EXPECT_EQ(WrapNode(t.body, "DIV"), nullptr);  // no parent
  TagNode* stray = Node("P");
  stray->parent = t.body;  // claims a parent that does not hold it
  EXPECT_EQ(WrapNode(stray, "DIV"), nullptr);
  EXPECT_EQ(WrapNode(t.b, "TR"), nullptr);
  EXPECT_EQ(WrapNode(nullptr, "DIV"), nullptr);
  EXPECT_EQ(ChildNames(t.body), "P DIV TABLE");
  EXPECT_STREQ(t.b->tail.c_str(), "tb");
  ExpectConsistent(t.body);
  FreeTree(stray);
}

TEST(InsertChild, FirstWithTextPrependAndAppend) {
  Captured c;
  // Into an empty node: the new child is first and last.
  TagNode* p = Node("P");
  p->text.assign("words");
  TagNode* in = InsertFirstChildWithText(p, "XML-INLINE");
  ASSERT_NE(in, nullptr);
  EXPECT_EQ(p->firstChild, in);
  EXPECT_EQ(p->lastChild, in);
  EXPECT_STREQ(in->text.c_str(), "words");
  EXPECT_TRUE(p->text.null());

  // Into a node with children: the last child stays.
  p->text.assign("more");
  TagNode* first = PrependChild(p, "A");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(p->firstChild, first);
  EXPECT_EQ(p->lastChild, in);
  EXPECT_STREQ(p->text.c_str(), "more");  // PrependChild leaves the text
  EXPECT_TRUE(first->text.null());

  TagNode* last = AppendChild(p, "BR");
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(p->lastChild, last);
  EXPECT_EQ(ChildNames(p), "A XML-INLINE BR");
  ExpectConsistent(p);

  TagNode* empty = Node("DIV");
  TagNode* only = AppendChild(empty, "P");
  ASSERT_NE(only, nullptr);
  EXPECT_EQ(empty->firstChild, only);
  EXPECT_EQ(empty->lastChild, only);
  TagNode* closed = Node("XML-INLINE");
  EXPECT_EQ(PrependChild(closed, "B"), nullptr);  // XML-INLINE admits nothing
  EXPECT_EQ(closed->firstChild, nullptr);
  FreeTree(closed);

  // Refusals change nothing.
  EXPECT_EQ(InsertFirstChildWithText(p, "TR"), nullptr);
  EXPECT_EQ(AppendChild(p, "TD"), nullptr);
  EXPECT_EQ(PrependChild(nullptr, "P"), nullptr);
  EXPECT_STREQ(p->text.c_str(), "more");
  EXPECT_EQ(ChildNames(p), "A XML-INLINE BR");
  FreeTree(p);
  FreeTree(empty);
}

TEST(InsertAfter, BecomesNextAndPerhapsLast) {
  Body3 t;
  TagNode* mid = InsertAfter(t.a, "P");
  ASSERT_NE(mid, nullptr);
  EXPECT_EQ(t.a->next, mid);
  EXPECT_EQ(mid->next, t.b);
  EXPECT_EQ(t.body->lastChild, t.d);
  TagNode* end = InsertAfter(t.d, "DIV");
  ASSERT_NE(end, nullptr);
  EXPECT_EQ(t.body->lastChild, end);
  EXPECT_STREQ(t.d->tail.c_str(), "td");  // the tail stays with its node
  EXPECT_EQ(ChildNames(t.body), "P P DIV TABLE DIV");
  ExpectConsistent(t.body);
  EXPECT_EQ(InsertAfter(t.body, "P"), nullptr);  // no parent
  EXPECT_EQ(InsertAfter(t.a, "TR"), nullptr);
}

TEST(WrapFollowingSiblings, TakesWhatFollows) {
  Body3 t;
  TagNode* w = WrapFollowingSiblings(t.a, "DIV");
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(ChildNames(t.body), "P DIV");
  EXPECT_EQ(ChildNames(w), "DIV TABLE");
  EXPECT_EQ(w->firstChild, t.b);
  EXPECT_EQ(w->lastChild, t.d);
  EXPECT_EQ(t.body->lastChild, w);
  ExpectConsistent(t.body);

  // On a last child: a new empty node.
  TagNode* empty = WrapFollowingSiblings(t.d, "P");
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty->firstChild, nullptr);
  EXPECT_EQ(empty->lastChild, nullptr);
  EXPECT_EQ(w->lastChild, empty);
  EXPECT_EQ(t.d->next, empty);
  ExpectConsistent(t.body);

  EXPECT_EQ(WrapFollowingSiblings(t.body, "P"), nullptr);  // no parent
  EXPECT_EQ(WrapFollowingSiblings(t.a, "TR"), nullptr);
  EXPECT_EQ(ChildNames(t.body), "P DIV");
}

// ------------------------------------------------------------------- freeing

TEST(FreeTree, MillionsOfSiblingsWithoutRecursion) {
  const TagDef* def = FindTagDef(nullptr, "P");
  TagNode* head = NewNode(def);
  TagNode* last = head;
  for (int i = 1; i < test::kManySiblings; ++i) {
    last->next = NewNode(def);
    last = last->next;
  }
  last->tail.assign("end");
  FreeTree(head);
}

TEST(FreeTree, DeepChildChainAndEverythingANodeOwns) {
  Captured c;
  TagNode* top = Node("DIV");
  TagNode* n = top;
  for (int i = 0; i < 1'000'000; ++i) {
    TagNode* child = NewNode(n->def);
    child->parent = n;
    n->firstChild = n->lastChild = child;
    n = child;
  }
  // Texts, properties with and without values, siblings at the bottom.
  n->raw.assign("div");
  n->text.assign("t");
  n->tail.assign("tail");
  SetProperty(c.ctx, n, "CLASS", "c");
  CreateProperty(c.ctx, n, "EEID");
  TagNode* sib = InsertAfter(n, "P");
  ASSERT_NE(sib, nullptr);
  SetProperty(c.ctx, sib, "XML-FONT-FACE", "f");
  FreeTree(top);
  FreeTree(nullptr);
}

TEST(ParentToSplit, TheHighestAboveTheMiddleWhoseChildHoldsAQuarterAtMost) {
  // Ten sections of ten nodes under the body: the body's children are shared.
  TagNode* html = Node("HTML");
  TagNode* body = Child(html, "BODY");
  std::vector<TagNode*> sections;
  for (int i = 0; i < 10; ++i) {
    sections.push_back(Child(body, "DIV"));
    for (int j = 0; j < 9; ++j) Child(sections.back(), "P");
  }
  EXPECT_EQ(ParentToSplit(html, 51), body);
  EXPECT_EQ(ParentToSplit(html, 2), body);  // a section's own node: still the body

  // Everything in one wrapper: the split goes down into it.
  TagNode* wrapper = NewNode(FindTagDef(nullptr, "DIV"));
  for (TagNode* c = body->firstChild; c;) {
    TagNode* next = c->next;
    c->next = nullptr;
    LinkLastChild(wrapper, c);
    c = next;
  }
  body->firstChild = body->lastChild = nullptr;
  LinkLastChild(body, wrapper);
  EXPECT_EQ(ParentToSplit(html, 52), wrapper);

  // A chain has no child small enough; nor has a walk shorter than the middle.
  TagNode* chain = Node("DIV");
  TagNode* down = chain;
  for (int i = 0; i < 20; ++i) down = Child(down, "DIV");
  EXPECT_EQ(ParentToSplit(chain, 10), nullptr);
  EXPECT_EQ(ParentToSplit(html, 5000), nullptr);
  FreeTree(chain);
  FreeTree(html);
}

TEST(ParentToSplit, ByWhereTheTagsBeganInTheInput) {
  // Ten sections of 100 bytes under the body, one of them (in the middle)
  // `large` bytes. Nodes the conversion added have no position and count
  // with what follows them.
  struct Page {
    TagNode* html;
    TagNode* body;
    TagNode* large;
    std::uint64_t bytes;
  };
  auto page = [](std::uint64_t large) {
    Page p{Node("HTML"), nullptr, nullptr, 20};
    p.html->setPosition(0);
    p.body = Child(p.html, "BODY");
    p.body->setPosition(10);
    for (int i = 0; i < 10; ++i) {
      TagNode* section = Child(p.body, "DIV");
      const std::uint64_t size = i == 4 ? large : 100;
      if (i == 4) p.large = section;
      if (i != 3) section->setPosition(p.bytes);  // else an added wrapper
      for (std::uint64_t j = 0; j < 4; ++j) Child(section, "P")->setPosition(p.bytes + 10 + j * (size - 10) / 4);
      p.bytes += size;
    }
    return p;
  };
  Page even = page(100);
  EXPECT_EQ(ParentToSplitAt(even.html, even.bytes), even.body);
  TagNode* wrapper = even.body->firstChild->next->next->next;
  EXPECT_EQ(PositionFrom(wrapper, 0), wrapper->firstChild->position());
  // A section of more than a quarter of the input holds the middle: the
  // split goes down into it.
  Page uneven = page(2000);
  EXPECT_EQ(ParentToSplitAt(uneven.html, uneven.bytes), uneven.large);
  // A chain, each node holding all below it: none is small enough.
  TagNode* chain = Node("DIV");
  TagNode* down = chain;
  for (int i = 0; i < 20; ++i) (down = Child(down, "DIV"))->setPosition(static_cast<std::uint64_t>(i));
  EXPECT_EQ(ParentToSplitAt(chain, 1000), nullptr);
  FreeTree(chain);
  FreeTree(even.html);
  FreeTree(uneven.html);
}

}  // namespace
}  // namespace ps

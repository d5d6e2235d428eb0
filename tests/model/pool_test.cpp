// The tree's blocks and their 32-bit links: links must find the same block
// across many slabs, rows must round-trip through their 16-bit numbers, and
// every block a tree takes must come back when it is freed.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "model/tables.h"
#include "model/tree.h"
#include "run/run.h"
#include "support/test_util.h"

namespace ps {
namespace {

TEST(Link, FindsTheSameBlocksAcrossManySlabs) {
  // Over 2 MB of nodes, so that links cross slab boundaries.
  const std::size_t before = BlockPool<sizeof(TagNode)>::Live();
  TagNode* root = test::Node("DIV");
  std::vector<TagNode*> made;
  for (int i = 0; i < 70000; ++i) made.push_back(test::Child(root, "P"));
  std::size_t i = 0;
  for (TagNode* c = root->firstChild; c; c = c->next, ++i) {
    ASSERT_LT(i, made.size());
    ASSERT_EQ(c, made[i]);
    ASSERT_EQ(c->parent, root);
  }
  EXPECT_EQ(i, made.size());
  EXPECT_EQ(root->lastChild, made.back());
  EXPECT_EQ(BlockPool<sizeof(TagNode)>::Live(), before + made.size() + 1);
  FreeTree(root);
  EXPECT_EQ(BlockPool<sizeof(TagNode)>::Live(), before);
}

TEST(Link, NullAndReassignment) {
  TagNode* a = test::Node("P");
  TagNode* b = test::Node("P");
  Link<TagNode> l;
  EXPECT_EQ(static_cast<TagNode*>(l), nullptr);
  l = a;
  EXPECT_EQ(l, a);
  l = b;
  EXPECT_EQ(l->def, b->def);
  EXPECT_EQ(l.get(), b);
  l = nullptr;
  EXPECT_FALSE(l);
  FreeTree(a);
  FreeTree(b);
}

TEST(RowRef, EveryRowRoundTrips) {
  TagNode* n = test::Node("P");
  for (const TagDef& d : kTagDatabase) {
    n->def = &d;
    ASSERT_EQ(n->def, &d);
  }
  TagProperty* p = new TagProperty;
  for (const PropertyDef& d : kPropertyDatabase) {
    p->def = &d;
    ASSERT_EQ(p->def, &d);
    ASSERT_EQ(p->def.index(), &d - kPropertyDatabase.data());
  }
  p->def = nullptr;
  EXPECT_EQ(p->def.index(), -1);
  FreeProperty(p);
  n->def = FindTagDef(nullptr, "P");
  FreeTree(n);
}

TEST(BlockPool, ConversionsGiveBackEveryBlock) {
  const test::BlocksInUse before;
  std::string fo, messages;
  ConvertBuffer("<html><head><title>t</title></head><body><table border=1><tr><td colspan=2>a<td>b"
                "<tr><td><p style='font-size: 9pt; color: red'>c<ul><li>d</ul></table>",
                &fo, &messages);
  EXPECT_NE(fo.find("fo:table-cell"), std::string::npos);
  test::ExpectSameBlocks(before);
}

TEST(BlockPool, HelpersBuildPartsOfAnotherThreadsTree) {
  // A helper makes nodes, properties, short, long and large texts and links
  // them into this thread's tree; it also frees texts made here, which must
  // not let it carve its own chunks again while its texts are in use. Once
  // its books are adopted, everything reads as made and freeing the tree
  // gives every block back.
  const test::BlocksInUse before;
  test::Captured c;
  TagNode* root = test::Node("DIV");
  for (int i = 0; i < 50; ++i) test::Child(root, "P")->text.assign(std::string(40, 'm') + std::to_string(i));
  const std::string large(700000, 'L');  // past the arena's chunks: a block of its own
  for (int round = 0; round < 3; ++round) {
    TagNode* mine = test::Child(root, "DIV");
    const TreeHandover loan = LendTrees();
    TreeHandover books{};
    std::thread helper([&] {
      BorrowTrees(loan);
      for (int i = 0; i < 30000; ++i) {
        TagNode* n = test::Child(mine, "P");
        n->text.assign("helper text number " + std::to_string(i));
        SetProperty(c.ctx, n, "XML-FONT-SIZE", std::to_string(i) + "pt, or so");
        if (i == 10)  // more texts freed than it has made so far
          for (TagNode* p = root->firstChild; p && p != mine; p = p->next)
            p->text.reset();
      }
      mine->tail.assign(large);
      books = HandTrees();
    });
    helper.join();
    AdoptTrees(books);
    // This thread's own carving goes on without touching the helper's texts.
    for (int i = 0; i < 60000; ++i) test::Child(root, "SPAN")->text.assign(std::string(30, 'x') + std::to_string(i));
    int i = 0;
    for (TagNode* n = mine->firstChild; n; n = n->next, ++i) {
      ASSERT_EQ(n->text.view(), "helper text number " + std::to_string(i));
      const TagProperty* p = FindProperty(n, "XML-FONT-SIZE");
      ASSERT_NE(p, nullptr);
      ASSERT_EQ(p->value.view(), std::to_string(i) + "pt, or so");
    }
    EXPECT_EQ(i, 30000);
    EXPECT_EQ(mine->tail.view(), large);
  }
  FreeTree(root);
  test::ExpectSameBlocks(before);
}

TEST(BlockPool, HelpersRunAfterRunTakeNoFreshMemory) {
  // Each run a helper builds half of a tree that this thread then frees:
  // working with what this thread lends it, run after run, it needs no new
  // slabs once the first runs have made enough.
  test::Captured c;
  auto run = [&] {
    TagNode* root = test::Node("DIV");
    TagNode* theirs = test::Child(root, "DIV");
    for (int i = 0; i < 20000; ++i) test::Child(root, "P")->text.assign("this thread's text " + std::to_string(i));
    const TreeHandover loan = LendTrees();
    TreeHandover books{};
    std::thread helper([&] {
      BorrowTrees(loan);
      for (int i = 0; i < 20000; ++i) {
        TagNode* n = test::Child(theirs, "P");
        n->text.assign("the helper's text " + std::to_string(i));
        SetProperty(c.ctx, n, "XML-FONT-SIZE", "12pt or so");
      }
      books = HandTrees();
    });
    helper.join();
    AdoptTrees(books);
    FreeTree(root);
  };
  for (int i = 0; i < 3; ++i) run();
  const std::size_t nodes = BlockPool<sizeof(TagNode)>::Capacity();
  const std::size_t props = BlockPool<sizeof(TagProperty)>::Capacity();
  for (int i = 0; i < 10; ++i) run();
  EXPECT_EQ(BlockPool<sizeof(TagNode)>::Capacity(), nodes);
  EXPECT_EQ(BlockPool<sizeof(TagProperty)>::Capacity(), props);
}

}  // namespace
}  // namespace ps

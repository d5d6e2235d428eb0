// A large input's pages are handed to the tree once the input is dropped:
// whole pages only, in address order, still writable, and a small input
// stays with the general allocator.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "model/huge_pages.h"
#include "model/tables.h"
#include "model/tree.h"
#include "run/run.h"
#include "support/test_util.h"

namespace ps {
namespace {

bool Aligned(const char* p) { return reinterpret_cast<std::uintptr_t>(p) % kHugePageBytes == 0; }

TEST(SparePages, DroppedInputServesTheNextPages) {
  const std::size_t before = SpareHugePages();
  const char* base;
  {
    InputText input(5 * (std::size_t{1} << 20), 'x');  // 5 MB: three whole pages
    base = input.data();
    EXPECT_TRUE(Aligned(base));
    EXPECT_EQ(SpareHugePages(), before);
  }
  ASSERT_EQ(SpareHugePages(), before + 3);
  for (int i = 0; i < 3; ++i) {
    char* p = AllocateHugeAligned(kHugePageBytes);
    EXPECT_EQ(p, base + i * kHugePageBytes);
    std::memset(p, i, kHugePageBytes);  // an error here is a page given out twice or not at all
  }
  EXPECT_EQ(SpareHugePages(), before);
  // A fresh page once the spare ones are gone, and other sizes never take them.
  char* fresh = AllocateHugeAligned(kHugePageBytes);
  ASSERT_NE(fresh, nullptr);
  EXPECT_TRUE(Aligned(fresh));
  std::free(fresh);
}

TEST(SparePages, AnImpossibleSizeIsRefusedNotWrapped) {
  InputAllocator<char> a;
  EXPECT_THROW(a.allocate(SIZE_MAX - 100), std::bad_alloc);
  EXPECT_THROW(a.allocate(SIZE_MAX - kHugePageBytes + 1), std::bad_alloc);
}

TEST(SparePages, SmallInputsAreLeftToTheGeneralAllocator) {
  const std::size_t before = SpareHugePages();
  { InputText input(std::size_t{1} << 20, 'y'); }
  { InputText grown; for (int i = 0; i < 1000; ++i) grown.append(1000, 'z'); }  // stays below 4 MB
  EXPECT_EQ(SpareHugePages(), before);
}

// A run over a large input leaves its pages to the tree: the tree is built
// over them and freed as before, and every block comes back.
TEST(SparePages, ALargeConversionGivesBackEveryBlock) {
  std::string html = "<html><body>";
  while (html.size() < 6 * (std::size_t{1} << 20)) html += "<p>some <b>text</b> here</p>\n";
  html += "</body></html>";
  const std::size_t nodes = BlockPool<sizeof(TagNode)>::Live();
  const std::size_t props = BlockPool<sizeof(TagProperty)>::Live();
  const std::size_t texts = TextArena::Live();
  std::string fo, messages;
  EXPECT_EQ(ConvertBuffer(html, &fo, &messages), 0);
  EXPECT_NE(fo.find(">some text here</fo:block>"), std::string::npos);
  EXPECT_EQ(fo.substr(fo.size() - 12), "</fo:root>\r\n");
  EXPECT_EQ(BlockPool<sizeof(TagNode)>::Live(), nodes);
  EXPECT_EQ(BlockPool<sizeof(TagProperty)>::Live(), props);
  EXPECT_EQ(TextArena::Live(), texts);
}

}  // namespace
}  // namespace ps

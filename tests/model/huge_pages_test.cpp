// A large input's pages are handed to the tree once the input is dropped:
// whole pages only, in address order, still writable, and a small input
// stays with the general allocator. A large tree's room is handed out the
// same way, after the spare pages.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>
#include <thread>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif
#if defined(__GLIBC__)
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

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
  std::vector<char*> taken;
  for (int i = 0; i < 3; ++i) {
    taken.push_back(AllocateHugeAligned(kHugePageBytes));
    EXPECT_EQ(taken.back(), base + i * kHugePageBytes);
    std::memset(taken.back(), i, kHugePageBytes);  // an error here is a page given out twice or not at all
  }
  EXPECT_EQ(SpareHugePages(), before);
  // A fresh page once the spare ones are gone, and other sizes never take them.
  char* fresh = AllocateHugeAligned(kHugePageBytes);
  ASSERT_NE(fresh, nullptr);
  EXPECT_TRUE(Aligned(fresh));
  std::free(fresh);
  // Back to the spare list: nothing else holds them, and the tests after
  // this one in the same process would otherwise leave them leaked.
  for (auto p = taken.rbegin(); p != taken.rend(); ++p) KeepSpareHugePages(*p, kHugePageBytes);
}

// A table the size of a dropped input takes its pages whole, in one run of
// addresses, or nothing when the spare pages lie apart or run short.
TEST(SparePages, ADroppedInputServesOneTableWhole) {
  const std::size_t before = SpareHugePages();
  const char* base;
  {
    InputText input(5 * (std::size_t{1} << 20), 'x');
    base = input.data();
  }
  ASSERT_EQ(SpareHugePages(), before + 3);
  EXPECT_EQ(TakeSpareRun(kHugePageBytes + 1), nullptr) << "not whole pages";
  EXPECT_EQ(TakeSpareRun((before + 4) * kHugePageBytes), nullptr) << "more than there are";
  char* run = TakeSpareRun(3 * kHugePageBytes);
  ASSERT_EQ(run, base);
  EXPECT_EQ(SpareHugePages(), before);
  std::memset(run, 0, 3 * kHugePageBytes);
  // The first and the last page kept, the middle one held elsewhere: no run.
  KeepSpareHugePages(run + 2 * kHugePageBytes, kHugePageBytes);
  KeepSpareHugePages(run, kHugePageBytes);
  EXPECT_EQ(TakeSpareRun(2 * kHugePageBytes), nullptr);
  EXPECT_EQ(SpareHugePages(), before + 2);
  KeepSpareHugePages(run + kHugePageBytes, kHugePageBytes);
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

#if defined(__linux__)
int Threads() {
  int n = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) n += entry.exists() ? 1 : 0;
  return n;
}

// The thread count once it is `expected` (a room's helper first opens a
// heap on a thread of its own that ends at once), or after two seconds.
int ThreadsSettledAt(int expected) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  int n = Threads();
  while (n != expected && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    n = Threads();
  }
  return n;
}

// Takes the thread's spare pages for the length of a test, so that a room's
// pages come first, and gives them back for the tests after it.
class SparesSetAside {
 public:
  SparesSetAside() {
    while (SpareHugePages()) pages_.push_back(AllocateHugeAligned(kHugePageBytes));
  }
  ~SparesSetAside() {
    for (char* p : pages_) KeepSpareHugePages(p, kHugePageBytes);
  }

 private:
  std::vector<char*> pages_;
};

// After the spare pages, a room's pages in address order, writable before
// and after the room ends; then fresh pages again.
TEST(PrefaultedRoom, ServesItsPagesAfterTheSpareOnes) {
  SparesSetAside aside;
  std::vector<char*> taken;
  {
    PrefaultedRoom room(2 * kHugePageBytes + 1);  // three pages
    for (int i = 0; i < 3; ++i) {
      taken.push_back(AllocateHugeAligned(kHugePageBytes));
      ASSERT_NE(taken.back(), nullptr);
      EXPECT_TRUE(Aligned(taken.back()));
      std::memset(taken.back(), 'a' + i, kHugePageBytes);
    }
    EXPECT_EQ(taken[1], taken[0] + kHugePageBytes);
    EXPECT_EQ(taken[2], taken[1] + kHugePageBytes);
    char* beyond = AllocateHugeAligned(kHugePageBytes);
    ASSERT_NE(beyond, nullptr);
    EXPECT_NE(beyond, taken[2] + kHugePageBytes);
    std::free(beyond);
  }
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(taken[i][0], 'a' + i);
    EXPECT_EQ(taken[i][kHugePageBytes - 1], 'a' + i);
    std::memset(taken[i], 0, kHugePageBytes);
  }
  for (char* p : taken) KeepSpareHugePages(p, kHugePageBytes);  // for the tests after this one
}

bool Resident(char* p) {
  unsigned char in = 0;
  return ::mincore(p, 1, &in) == 0 && (in & 1);
}

bool BecomesResident(char* p) {
  for (int i = 0; i < 500; ++i) {
    if (Resident(p)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

// The helper clears the first three quarters of the room at once, and
// beyond them no more than a few pages ahead of the tree: a helper that ran
// on would make a run's memory grow with nothing in it.
TEST(PrefaultedRoom, ClearsThreeQuartersAtOnceThenAFewPagesAhead) {
  SparesSetAside aside;
  {
    PrefaultedRoom room(16 * kHugePageBytes);
    char* first = AllocateHugeAligned(kHugePageBytes);
    ASSERT_TRUE(BecomesResident(first + 11 * kHugePageBytes)) << "the first twelve pages were not cleared";
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // time to run away, were it to
    int ahead = 0;
    for (int i = 1; i < 16; ++i) ahead += Resident(first + i * kHugePageBytes) ? 1 : 0;
    EXPECT_EQ(ahead, 11);
    KeepSpareHugePages(first, kHugePageBytes);
  }
}

// A helper whose slabs join this thread's tree draws from this thread's room
// while it has the loan, and from its own heap again once it hands back.
TEST(PrefaultedRoom, LentToAHelperWithTheTrees) {
  SparesSetAside aside;
  {
    PrefaultedRoom room(4 * kHugePageBytes);
    char* mine = AllocateHugeAligned(kHugePageBytes);
    const TreeHandover loan = LendTrees();
    char* theirs = nullptr;
    char* after = nullptr;
    TreeHandover back{};
    std::thread helper([&] {
      BorrowTrees(loan);
      theirs = AllocateHugeAligned(kHugePageBytes);
      back = HandTrees();
      after = AllocateHugeAligned(kHugePageBytes);
    });
    helper.join();
    AdoptTrees(back);
    EXPECT_EQ(theirs, mine + kHugePageBytes);
    ASSERT_NE(after, nullptr);
    EXPECT_NE(after, mine + 2 * kHugePageBytes);
    EXPECT_EQ(AllocateHugeAligned(kHugePageBytes), mine + 2 * kHugePageBytes);
    std::free(after);
    KeepSpareHugePages(mine, kHugePageBytes);
    KeepSpareHugePages(theirs, kHugePageBytes);
    KeepSpareHugePages(mine + 2 * kHugePageBytes, kHugePageBytes);
  }
}

// A helper thread only for a room that has pages, one room at a time, and
// ending a room whose pages nobody took neither hangs nor leaves the helper.
TEST(PrefaultedRoom, HelperOnlyWhileARoomHasPages) {
  const int before = Threads();
  { PrefaultedRoom none(0); EXPECT_EQ(Threads(), before); }
  {
    PrefaultedRoom room(64 * kHugePageBytes);
    EXPECT_EQ(ThreadsSettledAt(before + 1), before + 1);
    PrefaultedRoom second(64 * kHugePageBytes);
    EXPECT_EQ(ThreadsSettledAt(before + 1), before + 1);
  }
  EXPECT_EQ(Threads(), before);
  { PrefaultedRoom unused(std::size_t{1} << 30); }
  EXPECT_EQ(Threads(), before);
}
#endif

#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// The heap grows once by what is asked and keeps it while the guard lives,
// even through frees; afterwards glibc gives a free top back as by default.
bool Unlimited() {
  for (const int resource : {RLIMIT_AS, RLIMIT_DATA}) {
    struct rlimit limit;
    if (::getrlimit(resource, &limit) != 0 || limit.rlim_cur != RLIM_INFINITY) return false;
  }
  return true;
}

TEST(HugeHeap, GrowsOnceAndGivesBackOnlyAfter) {
  if (!Unlimited()) GTEST_SKIP() << "memory is limited here: the heap grows as glibc grows it";
  constexpr std::size_t kGrowth = std::size_t{48} << 20;
  ::malloc_trim(0);
  char* const before = static_cast<char*>(::sbrk(0));
  {
    HugeHeap heap(kGrowth);
    char* const grown = static_cast<char*>(::sbrk(0));
    EXPECT_GE(static_cast<std::size_t>(grown - before), kGrowth);
    void* volatile block = std::malloc(std::size_t{8} << 20);  // from the heap, which does not grow for it
    EXPECT_LT(static_cast<char*>(block), grown) << "mapped by itself";
    EXPECT_EQ(::sbrk(0), grown);
    std::free(block);
    void* volatile small = std::malloc(64 << 10);
    std::free(small);
    EXPECT_EQ(::sbrk(0), grown) << "the heap was trimmed while the guard lived";
  }
  void* volatile small = std::malloc(64 << 10);
  std::free(small);
  EXPECT_LT(static_cast<char*>(::sbrk(0)), before + kGrowth) << "the free top was kept after the guard";
}

// Under a limit of address space a large step could fail where the block
// asked for fits: the heap is left to grow as before.
TEST(HugeHeap, LeavesALimitedHeapAlone) {
  struct rlimit was;
  ASSERT_EQ(::getrlimit(RLIMIT_AS, &was), 0);
  if (was.rlim_max != RLIM_INFINITY || !Unlimited()) GTEST_SKIP() << "memory is limited here already";
  struct rlimit limited = was;
  limited.rlim_cur = rlim_t{1} << 42;  // far beyond this process, but a limit
  ASSERT_EQ(::setrlimit(RLIMIT_AS, &limited), 0);
  ::malloc_trim(0);
  char* const before = static_cast<char*>(::sbrk(0));
  {
    HugeHeap heap(std::size_t{48} << 20);
    EXPECT_LT(static_cast<std::size_t>(static_cast<char*>(::sbrk(0)) - before), std::size_t{1} << 20);
  }
  ASSERT_EQ(::setrlimit(RLIMIT_AS, &was), 0);
}
#endif

// A run over a large input leaves its pages to the tree: the tree is built
// over them and freed as before, and every block comes back.
TEST(SparePages, ALargeConversionGivesBackEveryBlock) {
  std::string html = "<html><body>";
  while (html.size() < 6 * (std::size_t{1} << 20)) html += "<p>some <b>text</b> here</p>\n";
  html += "</body></html>";
  const test::BlocksInUse before;
  std::string fo, messages;
  EXPECT_EQ(ConvertBuffer(html, &fo, &messages), 0);
  EXPECT_NE(fo.find(">text</fo:inline> here</fo:block>"), std::string::npos);
  EXPECT_EQ(fo.substr(fo.size() - 12), "</fo:root>\r\n");
  test::ExpectSameBlocks(before);
}

}  // namespace
}  // namespace ps

// Two threads sharing out items from either end: every item is taken once,
// and an item given back is taken by the front.
#include "model/claims.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace ps {
namespace {

TEST(EndClaims, EveryItemOnceWhateverTheTiming) {
  for (const std::size_t n : {std::size_t{0}, std::size_t{1}, std::size_t{2}, std::size_t{200000}}) {
    EndClaims claims(n);
    std::vector<int> takenBy(n, 0);
    std::size_t lastBack = n;
    std::thread back([&] {
      for (std::size_t k; claims.Back(k);) {
        ASSERT_LT(k, lastBack);  // from the back, each below the one before
        lastBack = k;
        takenBy[k] += 2;
      }
    });
    std::size_t lastFront = 0;
    for (std::size_t k; claims.Front(k);) {
      ASSERT_GE(k, lastFront);  // from the front, in order
      lastFront = k;
      takenBy[k] += 1;
    }
    back.join();
    for (std::size_t k = 0; k < n; ++k) ASSERT_TRUE(takenBy[k] == 1 || takenBy[k] == 2) << k;
    // The front's items come first, the back's after them.
    for (std::size_t k = 1; k < n; ++k) ASSERT_LE(takenBy[k - 1], takenBy[k]) << k;
  }
}

TEST(EndClaims, AnItemGivenBackGoesToTheFront) {
  EndClaims claims(5);
  std::size_t k = 0;
  ASSERT_TRUE(claims.Back(k));
  EXPECT_EQ(k, 4u);
  ASSERT_TRUE(claims.Back(k));
  EXPECT_EQ(k, 3u);
  claims.GiveBack(3);
  std::vector<std::size_t> front;
  while (claims.Front(k)) front.push_back(k);
  EXPECT_EQ(front, (std::vector<std::size_t>{0, 1, 2, 3}));
  EXPECT_FALSE(claims.Back(k));
}

}  // namespace
}  // namespace ps

// The helper writes what it is handed, in order, whole, and a failing
// stream is still reported once it is done.
#include "writer/write_behind.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace ps {
namespace {

TEST(WriteBehind, WritesEveryChunkInOrder) {
  std::string out;
  OutStream stream = OutStream::ToString(&out);
  std::string expected;
  {
    WriteBehind behind(stream);
    std::string buf;
    // Sizes from nothing to several chunks, so that the queue fills and
    // buffers come back for reuse.
    for (int i = 0; i < 24; ++i) {
      const std::size_t size = (static_cast<std::size_t>(i) * 7919 * 131) % (2 * WriteBehind::kChunk);
      buf.append(size, static_cast<char>('a' + i % 26));
      buf += std::to_string(i);
      expected += buf;
      behind.Take(buf);
      EXPECT_TRUE(buf.empty());
    }
    std::string none;
    behind.Take(none);
    behind.Finish();
    EXPECT_EQ(out.size(), expected.size());
    EXPECT_TRUE(out == expected);
    behind.Finish();  // a second time: nothing left to wait for
  }
  EXPECT_TRUE(out == expected);
}

TEST(WriteBehind, AFailingStreamIsReported) {
  std::FILE* full = std::fopen("/dev/full", "w");
  if (!full) GTEST_SKIP() << "no /dev/full here";
  OutStream stream = OutStream::ToFile(full);
  {
    WriteBehind behind(stream);
    std::string buf(WriteBehind::kChunk, 'x');
    behind.Take(buf);
  }  // ended without Finish: the destructor waits for the helper
  EXPECT_TRUE(stream.failed());
  std::fclose(full);
}

}  // namespace
}  // namespace ps

// The owned byte string: absent differs from empty, any byte is kept, and
// edits that read from the string itself stay correct.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/text.h"
#include "model/context.h"

namespace ps {
namespace {

TEST(Text, AbsentEmptyAndPresent) {
  Text absent;
  EXPECT_TRUE(absent.null());
  EXPECT_EQ(absent.c_str(), nullptr);
  EXPECT_STREQ(absent.or_empty(), "");
  EXPECT_TRUE(Text::Copy(absent).null());

  Text empty("");
  EXPECT_TRUE(empty.has());
  EXPECT_STREQ(empty.c_str(), "");
  EXPECT_TRUE(Text::Copy(empty).has());

  Text grown;
  grown.append("");
  EXPECT_TRUE(grown.has());  // appending makes an absent text present
  grown.push_back('x');
  EXPECT_EQ(grown.view(), "x");
  grown.reset();
  EXPECT_TRUE(grown.null());
}

TEST(Text, KeepsEveryByte) {
  const std::string bytes("a\0b\xFF\x80\r\n", 7);
  Text t(bytes);
  EXPECT_EQ(t.size(), 7u);
  EXPECT_EQ(t.view(), bytes);
  EXPECT_EQ(t.c_str()[7], '\0');  // still NUL-terminated for C callers
  Text copy = Text::Copy(t);
  EXPECT_EQ(copy.view(), bytes);
  EXPECT_NE(copy.c_str(), t.c_str());
}

TEST(Text, EditsFromItself) {
  Text t("abcdef");
  t.assign(t.view().substr(2));
  EXPECT_EQ(t.view(), "cdef");
  for (int i = 0; i < 5; ++i) t.append(t.view());  // each append reallocates
  EXPECT_EQ(t.size(), 4u * 32);
  EXPECT_EQ(t.view().substr(0, 8), "cdefcdef");
  t.assign("0123456789");
  t.replace(2, 3, t.view().substr(5));  // grows, from its own tail
  EXPECT_EQ(t.view(), "015678956789");
  t.replace(0, 7, "");
  EXPECT_EQ(t.view(), "56789");
  t.truncate(2);
  EXPECT_EQ(t.view(), "56");
  t.truncate(10);
  EXPECT_EQ(t.view(), "56");
}

TEST(Text, MoveAndTake) {
  Text a("one");
  Text b(std::move(a));
  EXPECT_TRUE(a.null());
  EXPECT_EQ(b.view(), "one");
  Text c("two");
  c.take(b);
  EXPECT_TRUE(b.null());
  EXPECT_EQ(c.view(), "one");
}

// Texts of up to 6 bytes are kept in place, longer ones in the arena: every
// edit must carry the bytes and the terminating NUL across that boundary.
TEST(Text, CrossesTheInPlaceLimitBothWays) {
  std::string expected;
  Text t;
  for (int i = 0; i < 40; ++i) {
    const char c = static_cast<char>('a' + i % 26);
    t.push_back(c);
    expected.push_back(c);
    ASSERT_EQ(t.view(), expected) << i;
    ASSERT_EQ(t.c_str()[t.size()], '\0') << i;
  }
  t.truncate(15);
  EXPECT_EQ(t.view(), expected.substr(0, 15));
  t.append("0123456789");  // grows again from a truncated heap text
  EXPECT_EQ(t.view(), expected.substr(0, 15) + "0123456789");

  for (std::size_t n : {0u, 1u, 5u, 6u, 7u, 8u, 14u, 15u, 16u, 31u, 32u, 33u, 1000u, 600000u}) {
    const std::string s(n, 'x');
    Text a(s);
    EXPECT_EQ(a.view(), s);
    EXPECT_EQ(a.c_str()[n], '\0');
    Text moved(std::move(a));
    EXPECT_TRUE(a.null());
    EXPECT_EQ(moved.view(), s);
    Text b("short");
    b = std::move(moved);  // frees what b held, takes either form
    EXPECT_EQ(b.view(), s);
    b.assign("tiny");  // a heap text may take a short value
    EXPECT_EQ(b.view(), "tiny");
    b.assign(s);
    EXPECT_EQ(b.view(), s);
  }
}

TEST(Text, EveryLengthAroundTheInPlaceLimitAndAbsence) {
  Text v;
  EXPECT_TRUE(v.null());
  EXPECT_EQ(v.c_str(), nullptr);
  EXPECT_STREQ(v.or_empty(), "");
  for (std::size_t n : {0, 1, 5, 6, 7, 9, 10, 11, 12, 100, 70000, 600000}) {
    std::string s(n, 'x');
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + i % 26);
    v.assign(s);
    EXPECT_TRUE(v.has()) << n;
    EXPECT_EQ(v.size(), n);
    EXPECT_EQ(v.view(), s);
    EXPECT_EQ(v.c_str()[n], '\0') << n;
    EXPECT_EQ(v.empty(), n == 0);
  }
  v.reset();
  EXPECT_TRUE(v.null());
  // Bytes taken from the value itself, in place and from the heap.
  for (const char* s : {"012345", "0123456", "0123456789abcdef"}) {
    v.assign(s);
    v.assign(v.view().substr(1));
    EXPECT_EQ(v.view(), std::string_view(s).substr(1));
  }
  // A NUL inside stays part of the value.
  v.assign(std::string_view("a\0b", 3));
  EXPECT_EQ(v.size(), 3u);
  // Taking a text: its bytes or its absence; the text is emptied.
  Text t("twelve bytes");
  v = std::move(t);
  EXPECT_EQ(v.view(), "twelve bytes");
  EXPECT_TRUE(t.null());
  v = Text();
  EXPECT_TRUE(v.null());
  Text e("");
  v = std::move(e);
  EXPECT_TRUE(v.has());
  EXPECT_TRUE(v.empty());
  EXPECT_EQ(Text::Copy(v).view(), "");
}

// Equal in-place texts are one number, whatever a longer value left behind
// in the bytes past their end; different ones, also by length, are not.
TEST(Text, InPlaceBitsDependOnTheTextOnly) {
  Text shortened("abcdef");
  shortened.assign("ab");
  Text fresh("ab");
  std::uint64_t a = 0, b = 0;
  ASSERT_TRUE(shortened.InPlaceBits(a));
  ASSERT_TRUE(fresh.InPlaceBits(b));
  EXPECT_EQ(a, b);
  Text withNul(std::string_view("ab\0", 3));
  ASSERT_TRUE(withNul.InPlaceBits(b));
  EXPECT_NE(a, b);
  Text longer("0123456789");
  EXPECT_FALSE(longer.InPlaceBits(b));
  EXPECT_FALSE(Text().InPlaceBits(b));
}

// The arena: texts spread over many chunks keep their bytes while others
// around them grow, shrink and go; every block comes back.
TEST(TextArena, TextsKeepTheirBytesWhileOthersChange) {
  const std::size_t live = TextArena::Live();
  {
    std::vector<Text> texts;
    std::vector<std::string> expected;
    for (int i = 0; i < 60000; ++i) {  // about 3 MB: more than one chunk
      std::string s = "text number " + std::to_string(i) + std::string(static_cast<std::size_t>(i % 90), 'x');
      texts.emplace_back(s);
      expected.push_back(std::move(s));
      if (i % 7 == 0) {  // an earlier text grows past its room: it moves
        const std::size_t j = static_cast<std::size_t>(i / 2);
        texts[j].append("-grown-beyond-its-block-" + std::to_string(i));
        expected[j] += "-grown-beyond-its-block-" + std::to_string(i);
      }
      if (i % 11 == 0) {  // the newest grows in place
        texts.back().append("+more");
        expected.back() += "+more";
      }
      if (i % 13 == 0) {  // a text goes, another takes a short value
        texts[static_cast<std::size_t>(i / 3)].reset();
        expected[static_cast<std::size_t>(i / 3)].clear();
        texts[static_cast<std::size_t>(i / 5)].assign("tiny");
        expected[static_cast<std::size_t>(i / 5)] = "tiny";
      }
    }
    Text large(std::string(700000, 'L'));  // a large block: a slot of its own
    large.append(std::string(700000, 'M'));
    EXPECT_EQ(large.size(), 1400000u);
    EXPECT_EQ(large.view().substr(699998, 4), "LLMM");
    EXPECT_EQ(large.c_str()[1400000], '\0');
    for (std::size_t i = 0; i < texts.size(); ++i) {
      if (expected[i].empty() && texts[i].null()) continue;
      ASSERT_EQ(texts[i].view(), expected[i]) << i;
      ASSERT_EQ(texts[i].c_str()[expected[i].size()], '\0') << i;
    }
  }
  EXPECT_EQ(TextArena::Live(), live);
}

TEST(OutStream, LongFormattedLinesAndDiscarding) {
  std::string buf;
  OutStream s = OutStream::ToString(&buf);
  const std::string longName(5000, 'n');
  s.printf("file %s is not readable!\n", longName.c_str());
  EXPECT_EQ(buf, "file " + longName + " is not readable!\n");
  OutStream null = OutStream::Discard();
  null.printf("%s", longName.c_str());
  null.write("x");
  EXPECT_TRUE(null.discards());
  EXPECT_FALSE(null.failed());
}

// A helper's messages: written in any sizes, read back by any ranges,
// across the pieces' edges, as one string holds them.
TEST(OutStream, PiecesHoldWhatAStringHolds) {
  PieceText pieces;
  std::string whole;
  OutStream s = OutStream::ToPieces(&pieces);
  std::uint32_t seed = 7;
  for (int i = 0; i < 400; ++i) {
    seed = seed * 1103515245u + 12345u;
    const std::size_t n = i % 50 == 49 ? 200000 : (seed >> 16) % 3000;
    std::string chunk(n, static_cast<char>('a' + i % 26));
    if (n) chunk[0] = '|';
    s.write(chunk);
    whole += chunk;
  }
  s.printf("%d tables\n", 12);
  whole += "12 tables\n";
  ASSERT_EQ(pieces.size(), whole.size());
  for (const auto& [from, to] : std::vector<std::pair<std::size_t, std::size_t>>{
           {0, whole.size()}, {0, 0}, {65535, 65537}, {1, 65536 * 3 + 5}, {whole.size() - 3, whole.size()},
           {100, 100}, {whole.size(), whole.size() + 10}}) {
    std::string back;
    OutStream out = OutStream::ToString(&back);
    pieces.WriteRange(out, from, to);
    EXPECT_EQ(back, whole.substr(std::min(from, whole.size()), std::min(to, whole.size()) - std::min(from, whole.size())))
        << from << ".." << to;
  }
}

}  // namespace
}  // namespace ps

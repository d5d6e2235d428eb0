// The processing pass: a large tree's walk, split between two threads,
// gives the FO and the messages one thread gives, and every block the
// helper made comes back when the tree is freed.
#include "transform/pass.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "support/test_util.h"

namespace ps {
namespace {

TEST(ProcessChain, TwoThreadsGiveWhatOneGives) {
  // Tables (nested, spanned, numbered in the messages on both sides of the
  // split), lists, images whose files are missing, ids that put anchors
  // after their elements, inline styles, footers and titles in the body
  // (the first counts, wherever the split falls), captions at the top,
  // headings whose ids repeat (the bookmarks lead to the first of each);
  // some pages inside a wrapper, so that the split falls a level down;
  // tables whose rows and nested tables' measures a side shares out when
  // the other has run out of work, when a body begins or after its first
  // row.
  const test::BlocksInUse before;
  test::Seeded next(3);
  int withTables = 0;
  for (int page = 0; page < 16; ++page) {
    std::string html = page % 4 == 3 ? "<html><body>" : "<html><head><title>Page</title></head><body>";
    if (page % 2) html += "<div>";
    for (int i = 0; i < 120 + 25 * page; ++i) {
      switch (next(13)) {
        case 0:
          html += "<table border=1 cellpadding=2><tr><td>a<td colspan=2>b<tr><td rowspan=2><ol><li>c</ol><td>d<td>e"
                  "<tr><td><ul><li>f</ul><td><table><tr><td>g</table></table>";
          break;
        case 1: html += "<table width=80%><tr><td><table border=1><tr><td>in<td width=40>x</table><td>out</table>"; break;
        case 2: html += "<ol start=3><li>one<li value=9>two</ol><ul><li>x<li>y</ul>"; break;
        case 3: html += "<p>see <img src=missing" + std::to_string(i) + ".png alt='gone'> and <img src=here.png width=900 height=40></p>"; break;
        case 4: html += "<p><b id=b" + std::to_string(i) + ">bold</b> <font id=f" + std::to_string(i) + " size=4>font</font> tail</p>"; break;
        case 5: html += "<h2 id=d" + std::to_string(i % 5) + " style='color: red; margin-left: 4pt'>Heading</h2><blockquote>quoted <q>words</q></blockquote>"; break;
        case 6: html += next(6) == 0 ? "<footer>Footer " + std::to_string(i) + "</footer>" : "<p>plain text</p>"; break;
        case 7: html += next(8) == 0 ? "<title>Late " + std::to_string(i) + "</title>" : "<pre>pre  text</pre>"; break;
        case 8: html += next(5) == 0 ? "<table><caption>Cap</caption><tr><td>c</table>" : "<dl><dt>t<dd>d</dl>"; break;
        case 9: html += "<a name=n" + std::to_string(i) + ">anchor</a> <a href=#n1>link</a> <a href=other.html>doc</a>"; break;
        case 10: html += "<p align=center style='page-break-before: always'>centred</p>"; break;
        case 11:
          html += "<table><tr><td><table><tr><td>p<td><table><tr><td>deep</table></table><td><table border=1><tr><td>q r"
                  "<tr><td>s</table><tr><td><table><tr><td>t</table><td>u<title>In " + std::to_string(i) + "</title></table>";
          break;
        default: html += "<div>loose <i>text</i><br>after</div>"; break;
      }
    }
    html += "</body></html>";
    // Elements removed, made blocks in a wrapper of their own, and hidden,
    // on either side of the split too.
    const std::string sheet = page % 3 == 0   ? "table { table-layout: auto } td { padding: 3px }"
                              : page % 3 == 1 ? "q, dt { display: none } b, font { display: block }"
                                                " body, blockquote { visibility: hidden } p, td, q { visibility: visible }"
                                              : "";
    const std::string one = test::ConvertOnThreads(html, std::size_t(-1), sheet);
    const std::string two = test::ConvertOnThreads(html, 1, sheet);
    EXPECT_EQ(one, two) << "page " << page;
    // Rows shared from a body's second row on, as when the other side ran
    // out of work after the body began.
    const std::string late = test::ConvertOnThreads(html, 1, sheet, /*dropMessages=*/false, /*rowsLate=*/true);
    EXPECT_EQ(one, late) << "page " << page;
    // Messages that go nowhere are not kept by the helpers either.
    const std::string quiet = test::ConvertOnThreads(html, 1, sheet, /*dropMessages=*/true);
    EXPECT_LT(quiet.size(), one.size()) << "page " << page;
    EXPECT_EQ(one.compare(0, quiet.size(), quiet), 0) << "page " << page;
    withTables += one.find("starting table processing step 1 of 2 for table 20 ") != std::string::npos;
  }
  EXPECT_GT(withTables, 8);
  test::ExpectSameBlocks(before);
}

}  // namespace
}  // namespace ps

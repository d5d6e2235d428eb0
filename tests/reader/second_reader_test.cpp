#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "reader/reader.h"
#include "run/run.h"
#include "support/test_util.h"

namespace ps {
namespace {

using test::Captured;
using namespace std::literals;

// Everything the reader leaves in the tree, node by node in document order:
// depth, row, position, raw tag, text, tail and properties.
std::string Dump(const TagNode* root) {
  std::string s;
  std::vector<std::pair<const TagNode*, int>> todo;
  for (const TagNode* n = root; n; n = n->next) todo.emplace_back(n, 0);
  std::reverse(todo.begin(), todo.end());
  while (!todo.empty()) {
    auto [n, depth] = todo.back();
    todo.pop_back();
    s += std::to_string(depth) + ' ' + n->def->name;
    if (n->hasPosition()) s += " @" + std::to_string(n->position());
    if (n->raw.has()) s.append(" <").append(n->raw.view()).append(">");
    if (n->text.has()) s.append(" (").append(n->text.view()).append(")");
    if (n->tail.has()) s.append(" {").append(n->tail.view()).append("}");
    for (const TagProperty* p = n->props; p; p = p->next) {
      s.append(" ").append(p->def->name);
      if (p->value.has()) s.append("=").append(p->value.view());
    }
    s += '\n';
    std::vector<const TagNode*> kids;
    for (const TagNode* c = n->firstChild; c; c = c->next) kids.push_back(c);
    for (auto k = kids.rbegin(); k != kids.rend(); ++k) todo.emplace_back(*k, depth + 1);
  }
  return s;
}

// The page read as the converter reads it; from `near` on (0: on one
// thread) a second reader looks for its place. The tree, then the messages.
std::string Read(const std::string& html, std::size_t near, std::size_t* taken = nullptr, bool keepUnknown = false) {
  Captured c;
  OutStream noTrace = OutStream::Discard();  // a trace keeps the reading on one thread
  c.ctx.debug = &noTrace;
  c.ctx.keepUnknownElements = keepUnknown;
  c.ctx.splitReadingFrom = near ? 0 : static_cast<std::size_t>(-1);
  c.ctx.splitReadingNear = near;
  c.ctx.documentRoot = CreateDocumentRoot(c.ctx);
  LoadHtmlText(c.ctx, html);
  if (taken) *taken += c.ctx.secondReadingsTaken;
  return Dump(c.ctx.documentRoot) + c.messages;
}

// Pages whose reading at one place depends on what came before it: stray
// and misnested end tags at and below the body's top level, text after
// dropped tags, list items opened again, raw text, a second BODY and HTML,
// the end of the document in the middle, comments, nesting past the
// stack's limit, NUL bytes, windows-1252 text.
const std::string_view kPages[] = {
    "<html><head><title>T</title></head><body><h1>H</h1><p>a<div>b</div><table><tr><td>c</table>x<pre>p</pre>"
    "<ul><li>a<li>b</ul><div>d</div><p>e<table><tr><td>f<td>g</tr></table><blockquote>q</blockquote>"
    "<div>z</div></body></html>"sv,
    "<body><div><b>x<i>y</b>z</i></div><p>one</div>tail<table><tr><td>a</td></tr></table></table>after"
    "<div><span>s</div>t</span><div>u</div></p>v<ul><li>a</ul><pre>b</pre><div>c</div>end"sv,
    "<div>a</div>text <x-y>unknown</x-y><div>b</div><script>if (a < b) document.write('</div><div>')</script>"
    "<div>c</div><style>p{}</style><div>d</div><!-- <div> --><div>e</div> a < b <div>f</div>"sv,
    "<body><div>a</div><body class=x>b<div>c</div><html lang=y><div>d</div><head><div>e</div></body>"
    "<div>f</div></html><div>g</div>"sv,
    "<div>a</div><ol><li>one<pre>in</pre>two</ol><div>b</div><ul><li>x</ul><pre>y</pre><dl><dt>t<dd>d</dl>"
    "<div>c</div></p></b><div>d</div></div></div><div>e</div>"sv,
    "<div>x</div>"
    "<div><div><div><div><div><div><div><div><div><div><div><div><div><div><div><div><div><div><div><div>"
    "<div><div><div><div><div><div><div><div><div><div><div><div><div><div><div><div><div><div><div><div>"
    "<div><div><div><div><div><div><div><div><div><div><div><div><div><b>deep</i></div></div></div></div>"
    "</div></div></div></div></div></div></div></div></div></div></div></div></div></div></div></div></div>"
    "</div><div>y</div></div></div><div>z</div>"sv,
    "<div>a\0b</div><table><tr><td>c\0</table><div>\0d</div><p>e</p><div>f</div>"sv,
    "<meta charset=windows-1252><div>caf\xe9</div><div>\x93q\x94</div><table><tr><td>\xe9</table><div>x</div>"
    "<div>y</div>"sv,
    "<table><tr><td><table><tr><td>a</td></tr></table></td></tr></table><div>b</div><table><tr><td>c"
    "</tr></table><p>d<table><tr><td>e</table>f</p><div>g</div><h2>h</h2><div>i</div>"sv,
    "<div>a</div><div>b</div><div>c</div><div><b>x<i>y</b>z</i></div><div><p><b><i>d</p>e</div>"
    "<div>f</div>"sv,
};

// Wherever the second reader starts, the tree and the messages are the
// ones a single reader makes.
TEST(SecondReader, ReadsAsOneReaderWherever) {
  std::size_t taken = 0;
  for (std::size_t k = 0; k < std::size(kPages); ++k) {
    const std::string html(kPages[k]);
    const std::string one = Read(html, 0);
    for (std::size_t near = 1; near < html.size(); near += 3)
      ASSERT_EQ(Read(html, near, &taken), one) << "page " << k << ", from " << near;
  }
  EXPECT_GT(taken, 100u);  // the pages' places are taken often
}

// Keeping unknown elements changes what a tag stands for; the reading
// still comes out the same.
TEST(SecondReader, UnknownElementsKept) {
  const std::string html(kPages[2]);
  const std::string one = Read(html, 0, nullptr, true);
  for (std::size_t near = 1; near < html.size(); near += 2) ASSERT_EQ(Read(html, near, nullptr, true), one) << near;
}

// The reading ends before the second reader's place (the document's end
// tag stands before it): what that reader read is freed.
TEST(SecondReader, NothingIsLeftWhenTheFirstEndsBefore) {
  const std::string html = "<div>a</div></html><div>b</div><div>c</div><div>d</div>";
  const test::BlocksInUse before;
  for (std::size_t near = 1; near < html.size(); ++near) EXPECT_EQ(Read(html, near), Read(html, 0));
  test::ExpectSameBlocks(before);
}

}  // namespace
}  // namespace ps

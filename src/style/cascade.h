// The cascade: gathers the style sheets that apply to a document (the user's,
// the page's STYLE elements and linked sheets with their imports, STYLE
// attributes), matches their rules against the tree and computes the values
// of the printed text properties for every element a declaration reaches.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "model/context.h"
#include "style/computed.h"

namespace ps {
namespace css {
struct PageSetup;
}

struct StyleInput {
  struct Sheet {
    std::string name;   // for notices
    std::string bytes;  // as read
  };
  std::vector<Sheet> userSheets;  // in the order given
  std::string sandbox;            // resolved folder; empty: files anywhere may be read
  std::string documentEncoding;   // the page's, for the sheets it links to and imports
  double mediumPt = 10;           // font-size: medium, the converter's text size
  // From this many elements on, two threads share the walk (each half of it
  // is then still long enough to pay for the thread).
  std::size_t twoThreadsFrom = 1 << 16;
};

// Nullptr when the document has no style sheet of any kind and none was
// given: the converter's own look applies and nothing else is done.
// `page`, when given, receives the page the sheets' @page rules give.
std::unique_ptr<css::ComputedStyles> RunCascade(Context& ctx, const StyleInput& in, css::PageSetup* page = nullptr);

}  // namespace ps

// Everything one conversion shares between its phases: the two output channels,
// the debug level, the report switch, captured texts and table counters.
// Handing it around explicitly lets many conversions run in one process.
#pragma once

#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "model/text.h"

namespace ps {

struct TagNode;
struct NestedTableMeasures;
namespace css {
struct PageSetup;
class ComputedStyles;
}

class OutStream;

// Text kept in pieces of a fixed size, for a helper's messages, which can
// run to megabytes: growing it never copies or moves what it holds, so an
// offset names the same byte however much follows.
class PieceText {
 public:
  void append(std::string_view s);
  std::size_t size() const { return size_; }
  // Writes bytes [from, to) to `out`, a piece at a time.
  void WriteRange(OutStream& out, std::size_t from, std::size_t to) const;

 private:
  static constexpr std::size_t kPiece = std::size_t{1} << 16;
  std::vector<std::unique_ptr<char[]>> pieces_;
  std::size_t size_ = 0;
};

// An output channel: a C stream, an in-memory buffer, or a sink that drops
// everything without formatting it (the null device).
class OutStream {
 public:
  static OutStream ToFile(std::FILE* f) { OutStream s; s.file_ = f; return s; }
  static OutStream ToString(std::string* buf) { OutStream s; s.buf_ = buf; return s; }
  static OutStream ToPieces(PieceText* pieces) { OutStream s; s.pieces_ = pieces; return s; }
  static OutStream Discard() { OutStream s; s.discard_ = true; return s; }

  bool discards() const { return discard_; }
  void write(std::string_view s);
  void put(char c) { write(std::string_view(&c, 1)); }
  void printf(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
  void flush();
  // True once any write or flush to the underlying stream failed.
  bool failed() const { return failed_; }

 private:
  std::FILE* file_ = nullptr;
  std::string* buf_ = nullptr;
  PieceText* pieces_ = nullptr;
  bool discard_ = false;
  bool failed_ = false;
};

// Where a helper's messages name tables by number. A helper counts the
// tables of its part from its own start; the numbers become the document's
// once the tables before its part are counted.
struct TableNumbers {
  PieceText* messages = nullptr;  // the helper's messages
  std::vector<std::size_t> at;      // where each number begins there, in counting order
};

struct Context {
  OutStream* message = nullptr;  // user-facing progress, warnings, errors
  OutStream* debug = nullptr;    // trace; a discarding sink unless debugging
  int debugLevel = 0;
  bool reportPropertyFailures = true;
  TagNode* documentRoot = nullptr;
  std::string inputName;  // the input path exactly as given on the command line
  std::uint64_t inputBytes = 0;  // the length of the input the tree was read from
  // Whether a file of that path exists, for the images a page names beside
  // it; none: every one is taken to exist.
  std::function<bool(const std::string&)> fileExists;
  Text capturedTitle;
  Text capturedFooter;
  bool utf8Output = false;  // the input is UTF-8 and the FO file says so
  // Elements without a row are kept rather than dropped (a user style sheet
  // may hide them or make them blocks).
  bool keepUnknownElements = false;
  int tableCount = 0;
  int tableDepth = 0;
  // Table layout. Off, every table gets the fixed layout: given widths and
  // equal shares of the rest. On, tables are laid out from their content
  // (automatic layout).
  bool autoTableLayout = false;
  // When set, decides per table (a style sheet's table-layout), given the
  // table and what autoTableLayout says.
  std::function<bool(const TagNode* table, bool automatic)> tableLayoutIsAuto;
  // What the automatic layout measured of nested tables along with their
  // outermost table, kept until each one's own layout.
  std::shared_ptr<NestedTableMeasures> nestedTableMeasures;
  // The page the style sheets' @page rules give; nullptr, or not `given`,
  // keeps the converter's own page frame.
  const css::PageSetup* page = nullptr;
  // What the style sheets gave the elements; nullptr when the document has
  // none and none was given (the converter's own look).
  const css::ComputedStyles* styles = nullptr;
  // Trees of at least this many nodes take a second thread in the passes
  // that can use one (the font step); below it the thread costs more than
  // it saves.
  std::size_t twoThreadsFrom = std::size_t{1} << 16;
  // Inputs of at least this many bytes are read on two threads: a second
  // reader starts at a place past the middle (or from `splitReadingNear`
  // on, when not 0: for tests) while the first reads up to it.
  std::size_t splitReadingFrom = std::size_t{1} << 20;
  std::size_t splitReadingNear = 0;
  // How many times the first reader took a second reader's reading over.
  std::size_t secondReadingsTaken = 0;
  // Set on a helper's context (see TableNumbers).
  TableNumbers* tableNumbers = nullptr;
  // While this context's thread shares children with another (ShareChildren):
  // how many of the two still have children to take. Below two, a walk may
  // share out the rest of its own work with a new helper: a table's rows
  // or its nested tables' measures, when the table spans at least
  // `shareTablesFrom` bytes of the input (less pays no thread; 0 shares
  // every table, busy or not, which tests use).
  const std::atomic<int>* sidesTaking = nullptr;
  std::uint64_t shareTablesFrom = std::uint64_t{64} << 10;
  // For tests: a table body shares its rows only from its second row on,
  // as when the other side runs out of work after the body began.
  bool rowsSharedLate = false;

  OutStream& msg() { return *message; }
  OutStream& dbg() { return *debug; }
  // Whether the trace is kept; the hottest trace lines test this first, so
  // that a dropped line costs no call.
  bool tracing() const { return !debug->discards(); }
};

}  // namespace ps

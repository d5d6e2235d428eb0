// The run sequence: command line, the two channels, the phases, exit status.
#pragma once

#include <string>
#include <string_view>

#include "model/huge_pages.h"
#include "model/context.h"

namespace ps {

struct TagNode;

// The declaration node that heads the top-level chain.
TagNode* CreateDocumentRoot(Context& ctx);

// Where a run's two files come from. The executable uses the file system;
// tests and fuzzers serve them from memory through the same run sequence.
class RunIo {
 public:
  virtual ~RunIo() = default;
  // Opens the input; false when it cannot be opened.
  virtual bool OpenInput(const char* path) = 0;
  // Reads all of the opened input; false when reading failed.
  virtual bool ReadInput(InputText& data) = 0;
  virtual void CloseInput() = 0;
  // Creates the output; nullptr when it cannot be created.
  virtual OutStream* OpenOutput(const char* path) = 0;
  // Closes the output; false when anything written was lost.
  virtual bool CloseOutput() = 0;
  // Whether a regular file of that path exists; a run from memory has no
  // files beside its input and takes every one to exist.
  virtual bool FileExists(const std::string&) { return true; }
};

// One whole run as the command line asks for it; `out` is standard output.
// Returns the process exit status. `processEnds`: the process exits right
// after the run, so the document is left to the system instead of freed.
int RunMain(int argc, const char* const* argv, OutStream& out, RunIo& io, bool processEnds = false);
// The same with the named files of the file system.
int RunMain(int argc, const char* const* argv, OutStream& out, bool processEnds = false);

// Converts `html` in memory as a run on "input.html" would; the FO text goes
// to *fo and standard output to *messages. Returns the exit status.
int ConvertBuffer(std::string_view html, std::string* fo, std::string* messages, const char* debugWord = nullptr);

}  // namespace ps

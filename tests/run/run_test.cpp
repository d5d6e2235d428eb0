// The run sequence: arguments, debug levels, messages, exit statuses, and the
// failures of input and output. Most cases run in-process; those that need a
// real process (pipes, the exit status of main) start the executable.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "run/run.h"

namespace ps {
namespace {

const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\" ?>\r\n";
const std::string kUsage = "pagesmith (HTML-file) (FO-file) [debug]\ndebug prints debugging messages to stderr.\n";
const std::string kWriteAndFree = "converting special chars and writing out... done\nfreeing memory... done\n";
// A page fragment (here: text without any tag) becomes a one-page document.
const std::string kFrameMessages =
    "Your HTML document has no Title - using default\nYour HTML document has no Footer - using default\n"
    "setting up paragraphs... done.\nanalysing font structure... done\n";

bool IsOnePageDocument(const std::string& fo, const std::string& text) {
  const std::string end = "</fo:root>\r\n";
  return fo.rfind(kDeclaration + "<fo:root ", 0) == 0 && fo.size() > end.size() &&
         fo.compare(fo.size() - end.size(), end.size(), end) == 0 && fo.find(text) != std::string::npos;
}

struct Result {
  int status;
  std::string out;
};

Result Pagesmith(std::vector<std::string> args) {
  args.insert(args.begin(), "pagesmith");
  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());
  argv.push_back(nullptr);
  std::string out;
  OutStream stream = OutStream::ToString(&out);
  const int status = RunMain(static_cast<int>(args.size()), argv.data(), stream);
  return {status, out};
}

bool Exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

std::string Slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

// A fresh directory per test, removed afterwards.
class RunSequence : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/pagesmith-run-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  std::string Path(const char* name) const { return dir_ + "/" + name; }
  std::string WriteInput(const char* name, const std::string& bytes) const {
    std::ofstream(Path(name), std::ios::binary) << bytes;
    return Path(name);
  }

  std::string dir_;
};

TEST_F(RunSequence, WrongArgumentCountPrintsUsageAndSucceeds) {
  const std::string closing = "\nall is done for file \n";
  for (const auto& args : std::vector<std::vector<std::string>>{
           {}, {"only.html"}, {"a.html", "b.fo", "debug", "extra"}}) {
    Result r = Pagesmith(args);
    EXPECT_EQ(r.status, 0);
    // Four arguments are not three: no debugging, so no start-up trace.
    EXPECT_EQ(r.out, kUsage + closing) << args.size() << " arguments";
  }
  EXPECT_FALSE(Exists("b.fo"));
}

TEST_F(RunSequence, InputWithoutTagsBecomesAOnePageDocument) {
  const std::string in = WriteInput("in.html", "just words, & no tags\n");
  const std::string fo = Path("out.fo");
  Result r = Pagesmith({in, fo});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, kFrameMessages + kWriteAndFree + "\nall is done for file " + in + "\n");
  EXPECT_TRUE(IsOnePageDocument(Slurp(fo), "just words, &#38; no tags\n"));
}

TEST_F(RunSequence, OutputIsTruncated) {
  const std::string in = WriteInput("in.html", "");
  const std::string fo = WriteInput("out.fo", std::string(1000, 'x'));
  EXPECT_EQ(Pagesmith({in, fo}).status, 0);
  EXPECT_TRUE(IsOnePageDocument(Slurp(fo), ""));
  EXPECT_EQ(Slurp(fo).find("xxx"), std::string::npos);
}

TEST_F(RunSequence, DebugLevels) {
  const std::string in = WriteInput("in.html", "12345");
  const std::string fo = Path("out.fo");
  const std::string suffix = kWriteAndFree + "\nall is done for file " + in + "\n";
  const struct {
    const char* word;
    int level;
  } cases[] = {{"debug", 1}, {"x", 1}, {"Debug2", 1}, {"debug2 ", 1}, {"debug2", 2}};
  for (const auto& c : cases) {
    Result r = Pagesmith({in, fo, c.word});
    EXPECT_EQ(r.status, 0) << c.word;
    // The start-up trace, then the loader's length line come first; the
    // trace of the phases in between is theirs.
    const std::string prefix =
        "starting pagesmith - DebugMode " + std::to_string(c.level) + "\nparameter count: 4\n5\n";
    EXPECT_EQ(r.out.substr(0, prefix.size()), prefix) << c.word;
    ASSERT_GE(r.out.size(), suffix.size());
    EXPECT_EQ(r.out.substr(r.out.size() - suffix.size()), suffix) << c.word;
    EXPECT_TRUE(IsOnePageDocument(Slurp(fo), "12345"));
  }
}

TEST_F(RunSequence, MissingInputIsTheOnlyLine) {
  const std::string in = Path("missing.html");
  const std::string fo = Path("out.fo");
  Result r = Pagesmith({in, fo});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "file " + in + " is not readable!\n");
  EXPECT_FALSE(Exists(fo));

  r = Pagesmith({in, fo, "debug"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "starting pagesmith - DebugMode 1\nparameter count: 4\nfile " + in + " is not readable!\n");
}

TEST_F(RunSequence, DirectoryAsInputIsNotReadable) {
  const std::string fo = Path("out.fo");
  Result r = Pagesmith({dir_, fo});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "file " + dir_ + " is not readable!\n");
  EXPECT_FALSE(Exists(fo));
}

TEST_F(RunSequence, OutputInAMissingDirectory) {
  const std::string in = WriteInput("in.html", "text");
  const std::string fo = Path("no/such/dir/out.fo");
  Result r = Pagesmith({in, fo});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, kFrameMessages + "file " + fo + " seems to be write protected!\nfreeing memory... done\n");
}

TEST_F(RunSequence, FailedWriteIsNotReportedAsSuccess) {
  if (!Exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  const std::string in = WriteInput("in.html", "text");
  Result r = Pagesmith({in, "/dev/full"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, kFrameMessages +
                       "converting special chars and writing out... done\n"
                       "file /dev/full could not be written completely!\n"
                       "freeing memory... done\n");
}

// An input that opens but cannot be read (no read permission, an I/O error):
// the run stops as for a missing file, and no output is created.
TEST_F(RunSequence, InputThatFailsWhileReadingIsNotReadable) {
  class FailingRead : public RunIo {
   public:
    bool OpenInput(const char*) override { return true; }
    bool ReadInput(InputText& data) override {
      data = "<p>partial";
      return false;
    }
    void CloseInput() override { closed = true; }
    OutStream* OpenOutput(const char*) override {
      opened = true;
      return nullptr;
    }
    bool CloseOutput() override { return true; }
    bool closed = false;
    bool opened = false;
  } io;
  const char* argv[] = {"pagesmith", "locked.html", "out.fo", nullptr};
  std::string out;
  OutStream stream = OutStream::ToString(&out);
  EXPECT_EQ(RunMain(3, argv, stream, io), 1);
  EXPECT_EQ(out, "file locked.html is not readable!\n");
  EXPECT_TRUE(io.closed);
  EXPECT_FALSE(io.opened);
}

// ------------------------------------------------- through the executable

struct Process {
  int status;
  std::string out;
};

// Runs a shell command line and collects its standard output and exit status.
Process Shell(const std::string& command) {
  Process p{-1, ""};
  std::FILE* f = ::popen(command.c_str(), "r");
  if (!f) return p;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) p.out.append(buf, n);
  const int raw = ::pclose(f);
  p.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return p;
}

const std::string kBinary = PAGESMITH_BINARY;

TEST_F(RunSequence, ExecutableExitStatusesAndSilentStandardError) {
  const std::string err = Path("err.txt");
  Process p = Shell("'" + kBinary + "' '" + Path("missing.html") + "' '" + Path("o.fo") + "' 2>'" + err + "'");
  EXPECT_EQ(p.status, 1);
  EXPECT_EQ(p.out, "file " + Path("missing.html") + " is not readable!\n");

  p = Shell("'" + kBinary + "' one 2>>'" + err + "'");
  EXPECT_EQ(p.status, 0);
  EXPECT_EQ(p.out, kUsage + "\nall is done for file \n");

  const std::string in = WriteInput("in.html", "no tags");
  p = Shell("'" + kBinary + "' '" + in + "' /dev/full 2>>'" + err + "'");
  EXPECT_EQ(p.status, 1);
  EXPECT_EQ(p.out, kFrameMessages +
                       "converting special chars and writing out... done\n"
                       "file /dev/full could not be written completely!\nfreeing memory... done\n");
  EXPECT_EQ(Slurp(err), "");
}

TEST_F(RunSequence, InputFromAPipeIsReadToItsEnd) {
  const std::string fo = Path("out.fo");
  // 200,000 bytes: more than any single read, and a pipe cannot seek.
  Process p = Shell("head -c 200000 /dev/zero | tr '\\0' 'a' | '" + kBinary + "' /dev/stdin '" + fo + "' debug");
  EXPECT_EQ(p.status, 0);
  const std::string prefix = "starting pagesmith - DebugMode 1\nparameter count: 4\n200000\n";
  EXPECT_EQ(p.out.substr(0, prefix.size()), prefix);
  const std::string closing = "\nall is done for file /dev/stdin\n";
  ASSERT_GE(p.out.size(), closing.size());
  EXPECT_EQ(p.out.substr(p.out.size() - closing.size()), closing);
  EXPECT_TRUE(IsOnePageDocument(Slurp(fo), std::string(200000, 'a')));
}

}  // namespace
}  // namespace ps

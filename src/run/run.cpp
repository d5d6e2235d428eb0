#include "run/run.h"

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "model/huge_pages.h"
#include "model/tables.h"
#include "model/tree.h"
#include "reader/reader.h"
#include "style/cascade.h"
#include "style/page.h"
#include "style/sheet_files.h"
#include "transform/pass.h"
#include "transform/styled.h"
#include "writer/writer.h"

namespace ps {

// Below this a tree's memory is cleared in milliseconds: no helper thread.
constexpr std::size_t kRoomFrom = std::size_t{4} << 20;

TagNode* CreateDocumentRoot(Context& ctx) {
  TagNode* root = NewNode(FindTagDef(nullptr, "XML-?"));
  CreateProperty(ctx, root, "XML-?-?");
  SetProperty(ctx, root, "XML-?-ENCODING", "ISO-8859-1");
  SetProperty(ctx, root, "XML-?-VERSION", "1.0");
  root->tail.assign("\r\n");
  return root;
}

namespace {

void FreeDocument(Context& ctx, bool processEnds) {
  ctx.msg().write("freeing memory...");
  ctx.msg().flush();
  // When the process ends right after the run, the system takes the memory
  // back at once; giving millions of blocks back one by one first only adds
  // a few per cent to the run's time.
  if (!processEnds) FreeTree(ctx.documentRoot);
  ctx.documentRoot = nullptr;
  ctx.msg().write(" done\n");
}

}  // namespace

int RunMain(int argc, const char* const* argv, OutStream& out, RunIo& io, bool processEnds) {
  Context ctx;
  ctx.message = &out;
  ctx.debug = &out;
  ctx.documentRoot = CreateDocumentRoot(ctx);

  // Options stand before the file names: --css FILE (repeatable), --sandbox DIR.
  StyleInput styleInput;
  std::vector<std::string> cssFiles;
  std::string sandbox;
  bool sandboxGiven = false;
  int first = 1;
  while (first < argc && argv[first][0] == '-' && argv[first][1] == '-') {
    const std::string_view opt = argv[first];
    if (opt != "--css" && opt != "--sandbox") break;
    if (first + 1 >= argc) {
      ctx.msg().printf("option %s needs a value\n", argv[first]);
      FreeTree(ctx.documentRoot);
      return 2;
    }
    if (opt == "--css") {
      cssFiles.emplace_back(argv[first + 1]);
    } else {
      sandbox = argv[first + 1];
      sandboxGiven = true;
    }
    first += 2;
  }
  if (sandboxGiven) {
    styleInput.sandbox = ResolveFolder(sandbox);
    if (styleInput.sandbox.empty()) {
      ctx.msg().printf("sandbox %s is not a readable folder!\n", sandbox.c_str());
      FreeTree(ctx.documentRoot);
      return 2;
    }
  }
  for (const std::string& name : cssFiles) {
    // The user names the sheet: the sandbox, which guards against the page, does not apply.
    SheetFile f = ReadSheetFile(name, "");
    if (!f.notice.empty()) {
      ctx.msg().printf("style sheet %s is not readable: %s!\n", name.c_str(), f.notice.c_str());
      FreeTree(ctx.documentRoot);
      return 2;
    }
    styleInput.userSheets.push_back({name, std::move(f.bytes)});
  }
  argv += first - 1;
  argc -= first - 1;

  const int args = argc - 1;
  OutStream nullSink = OutStream::Discard();
  std::FILE* nullDevice = nullptr;
  if (args == 3) {
    ctx.debugLevel = std::strcmp(argv[3], "debug2") == 0 ? 2 : 1;
  } else {
    ctx.debugLevel = 0;
    // The trace goes to the null device; nothing written there is ever seen,
    // so it is dropped without being formatted.
    nullDevice = std::fopen("/dev/null", "w");
    if (nullDevice) ctx.debug = &nullSink;
  }
  auto closeNull = [&] {
    if (nullDevice) std::fclose(nullDevice);
    nullDevice = nullptr;
  };
  if (ctx.debugLevel)
    ctx.dbg().printf("starting pagesmith - DebugMode %i\nparameter count: %i\n", ctx.debugLevel, argc);

  if (args != 2 && args != 3) {
    ctx.msg().write("pagesmith (HTML-file) (FO-file) [debug]\ndebug prints debugging messages to stderr.\n");
    FreeTree(ctx.documentRoot);
    ctx.msg().printf("\nall is done for file %s\n", "");
    closeNull();
    return 0;
  }

  const char* inName = argv[1];
  const char* outName = argv[2];
  if (!io.OpenInput(inName)) {
    ctx.msg().printf("file %s is not readable!\n", inName);
    FreeTree(ctx.documentRoot);
    closeNull();
    return 1;
  }
  ctx.inputName = inName;
  ctx.fileExists = [&io](const std::string& path) { return io.FileExists(path); };
  InputText html;
  bool readOk = io.ReadInput(html);
  io.CloseInput();
  if (!readOk) {
    ctx.msg().printf("file %s is not readable!\n", inName);
    FreeTree(ctx.documentRoot);
    closeNull();
    return 1;
  }

  // What the phases allocate beside the tree: four times the input on a
  // large page, up to eight with a large style sheet.
  HugeHeap heap(html.size() >= kRoomFrom ? html.size() * 8 : 0);
  std::unique_ptr<css::ComputedStyles> styles;
  css::PageSetup page;
  {
    // A large input's tree takes about seven times its size, nearly all of
    // it made while reading and transforming; room left over is only
    // address space, given back when the room ends. The room comes after
    // the input's buffer and the heap's growth: its helper holds the
    // address space's lock while it clears a page, and mapping or growing
    // memory waits for that, a few milliseconds each time on a slow host.
    PrefaultedRoom room(html.size() >= kRoomFrom ? html.size() * 8 : 0);
    ctx.keepUnknownElements = !styleInput.userSheets.empty();
    styleInput.documentEncoding = LoadHtmlText(ctx, html);
    InputText().swap(html);  // its pages serve the tree from here on
    styles = RunCascade(ctx, styleInput, &page);
    ctx.page = &page;
    ctx.styles = styles.get();
    if (styles) ApplyDisplay(ctx);
    ProcessChain(ctx, ctx.documentRoot);
  }

  OutStream* foStream = io.OpenOutput(outName);
  if (!foStream) {
    ctx.msg().printf("file %s seems to be write protected!\n", outName);
    FreeDocument(ctx, processEnds);
    closeNull();
    return 1;
  }
  bool written = WriteDocument(ctx, *foStream);
  if (!io.CloseOutput()) written = false;
  if (!written) {
    ctx.msg().printf("file %s could not be written completely!\n", outName);
    FreeDocument(ctx, processEnds);
    closeNull();
    return 1;
  }
  FreeDocument(ctx, processEnds);
  ctx.msg().printf("\nall is done for file %s\n", ctx.inputName.c_str());
  closeNull();
  return 0;
}

namespace {

class FileIo : public RunIo {
 public:
  ~FileIo() override {
    CloseInput();
    CloseOutput();
  }
  bool OpenInput(const char* path) override {
    in_ = std::fopen(path, "r");
    return in_ != nullptr;
  }
  bool ReadInput(InputText& data) override { return ReadWholeStream(in_, data); }
  void CloseInput() override {
    if (in_) std::fclose(in_);
    in_ = nullptr;
  }
  OutStream* OpenOutput(const char* path) override {
    out_ = std::fopen(path, "w");
    if (!out_) return nullptr;
    stream_ = OutStream::ToFile(out_);
    return &stream_;
  }
  bool FileExists(const std::string& path) override {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  }
  bool CloseOutput() override {
    if (!out_) return true;
    bool ok = !stream_.failed() && std::fclose(out_) == 0;
    out_ = nullptr;
    return ok;
  }

 private:
  std::FILE* in_ = nullptr;
  std::FILE* out_ = nullptr;
  OutStream stream_;
};

class MemoryIo : public RunIo {
 public:
  MemoryIo(std::string_view html, std::string* fo) : html_(html), fo_(fo) {}
  bool OpenInput(const char*) override { return true; }
  bool ReadInput(InputText& data) override {
    data.assign(html_);
    return true;
  }
  void CloseInput() override {}
  OutStream* OpenOutput(const char*) override {
    fo_->clear();
    stream_ = OutStream::ToString(fo_);
    return &stream_;
  }
  bool CloseOutput() override { return true; }

 private:
  std::string_view html_;
  std::string* fo_;
  OutStream stream_;
};

}  // namespace

int RunMain(int argc, const char* const* argv, OutStream& out, bool processEnds) {
  FileIo io;
  return RunMain(argc, argv, out, io, processEnds);
}

int ConvertBuffer(std::string_view html, std::string* fo, std::string* messages, const char* debugWord) {
  const char* argv[] = {"pagesmith", "input.html", "output.fo", debugWord, nullptr};
  MemoryIo io(html, fo);
  OutStream out = OutStream::ToString(messages);
  return RunMain(debugWord ? 4 : 3, argv, out, io);
}

}  // namespace ps

#include "run/run.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "model/tables.h"
#include "model/tree.h"
#include "reader/reader.h"
#include "transform/pass.h"
#include "writer/writer.h"

namespace ps {

TagNode* CreateDocumentRoot(Context& ctx) {
  TagNode* root = NewNode(FindTagDef(nullptr, "XML-?"));
  CreateProperty(ctx, root, "XML-?-?");
  SetProperty(ctx, root, "XML-?-ENCODING", "ISO-8859-1");
  SetProperty(ctx, root, "XML-?-VERSION", "1.0");
  root->tail.assign("\r\n");
  return root;
}

namespace {

void FreeDocument(Context& ctx) {
  ctx.msg().write("freeing memory...");
  ctx.msg().flush();
  FreeTree(ctx.documentRoot);
  ctx.documentRoot = nullptr;
  ctx.msg().write(" done\n");
}

}  // namespace

int RunMain(int argc, const char* const* argv, OutStream& out) {
  Context ctx;
  ctx.message = &out;
  ctx.debug = &out;
  ctx.documentRoot = CreateDocumentRoot(ctx);

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
  std::FILE* in = std::fopen(inName, "r");
  if (!in) {
    ctx.msg().printf("file %s is not readable!\n", inName);
    FreeTree(ctx.documentRoot);
    closeNull();
    return 1;
  }
  ctx.inputName = inName;
  bool readOk = LoadHtmlFile(ctx, in);
  std::fclose(in);
  if (!readOk) {
    ctx.msg().printf("file %s is not readable!\n", inName);
    FreeTree(ctx.documentRoot);
    closeNull();
    return 1;
  }

  ProcessChain(ctx, ctx.documentRoot);

  std::FILE* fo = std::fopen(outName, "w");
  if (!fo) {
    ctx.msg().printf("file %s seems to be write protected!\n", outName);
    FreeDocument(ctx);
    closeNull();
    return 1;
  }
  OutStream foStream = OutStream::ToFile(fo);
  bool written = WriteDocument(ctx, foStream);
  if (std::fclose(fo) != 0) written = false;
  if (!written) {
    ctx.msg().printf("file %s could not be written completely!\n", outName);
    FreeDocument(ctx);
    closeNull();
    return 1;
  }
  FreeDocument(ctx);
  ctx.msg().printf("\nall is done for file %s\n", ctx.inputName.c_str());
  closeNull();
  return 0;
}

}  // namespace ps

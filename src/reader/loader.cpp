#include <sys/stat.h>

#include <string>

#include "model/huge_pages.h"

#include "reader/reader.h"
#include "reader/encoding.h"

namespace ps {

bool ReadWholeStream(std::FILE* in, InputText& data) {
  // Read to the real end rather than trusting a seek: pipes and /dev/stdin
  // cannot seek, and a file may change size while it is read. The size of a
  // regular file only sizes the buffer, so a large file is not copied as it grows.
  data.clear();
  if (!in) return false;
  struct stat st;
  if (fstat(fileno(in), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
    data.reserve(static_cast<std::size_t>(st.st_size) + 1);
  // Read straight into the buffer, without a bounce through a small one.
  std::size_t have = 0;
  for (;;) {
    std::size_t room = data.capacity() - have;
    if (room < (1 << 16)) {
      data.reserve(2 * data.capacity() + (1 << 16));
      room = data.capacity() - have;
    }
    data.resize(have + room);
    const std::size_t n = std::fread(data.data() + have, 1, room, in);
    have += n;
    data.resize(have);
    if (n < room) break;
  }
  return !std::ferror(in);
}

const char* LoadHtmlText(Context& ctx, std::string_view data) {
  ctx.dbg().printf("%li\n", static_cast<long>(data.size()));
  ctx.inputBytes = data.size();
  DecodedInput input;
  DecodeInput(data, input);
  if (input.unknown) ctx.msg().printf("unknown encoding %s, read as windows-1252\n", input.unknown->c_str());
  // A page read as UTF-8 (or converted to it) is declared as such; a
  // windows-1252 page stays ISO-8859-1.
  if (input.utf8) {
    ctx.utf8Output = true;
    if (ctx.documentRoot) SetProperty(ctx, ctx.documentRoot, "XML-?-ENCODING", "UTF-8");
  }
  ParseHtml(ctx, input.text, true, input.positions.checkpoints() ? &input.positions : nullptr);
  return input.encoding ? input.encoding->name : "";
}

bool LoadHtmlFile(Context& ctx, std::FILE* in) {
  InputText data;
  if (!ReadWholeStream(in, data)) return false;
  LoadHtmlText(ctx, data);
  return true;
}

}  // namespace ps

#include <sys/stat.h>

#include <string>

#include "reader/reader.h"

namespace ps {

bool LoadHtmlFile(Context& ctx, std::FILE* in) {
  // Read to the real end rather than trusting a seek: pipes and /dev/stdin
  // cannot seek, and a file may change size while it is read. The size of a
  // regular file only sizes the buffer, so a large file is not copied as it grows.
  std::string data;
  struct stat st;
  if (fstat(fileno(in), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
    data.reserve(static_cast<std::size_t>(st.st_size) + 1);
  char buf[1 << 16];
  for (;;) {
    std::size_t n = std::fread(buf, 1, sizeof buf, in);
    data.append(buf, n);
    if (n < sizeof buf) break;
  }
  if (std::ferror(in)) return false;
  ctx.dbg().printf("%li\n", static_cast<long>(data.size()));
  ParseHtml(ctx, data);
  return true;
}

}  // namespace ps

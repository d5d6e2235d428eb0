#include <cstdio>
#include <exception>
#include <new>

#include <sys/stat.h>
#include <unistd.h>

#include "run/run.h"

int main(int argc, char** argv) {
  // A large page's messages run to megabytes: written 4 KB at a time (the C
  // library's buffer for a file or pipe) they cost thousands of system calls.
  // A terminal keeps its line buffering.
  // (glibc sizes a buffer it allocates itself by the file, so one is given.)
  static char buffer[std::size_t{1} << 20];
  if (!isatty(STDOUT_FILENO)) std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
  // Messages for the null device are dropped unformatted, as the trace is:
  // a large page's run to megabytes that nobody sees.
  struct stat to, null;
  const bool toNull = fstat(STDOUT_FILENO, &to) == 0 && S_ISCHR(to.st_mode) && stat("/dev/null", &null) == 0 &&
                      S_ISCHR(null.st_mode) && to.st_rdev == null.st_rdev;
  ps::OutStream out = toNull ? ps::OutStream::Discard() : ps::OutStream::ToFile(stdout);
  int status;
  try {
    status = ps::RunMain(argc, argv, out, /*processEnds=*/true);
  } catch (const std::bad_alloc&) {
    // A document larger than the memory the process may use: say so and
    // fail, rather than abort with the runtime's own words.
    out.printf("\nnot enough memory to convert %s!\n", argc > 1 ? argv[1] : "");
    status = 1;
  } catch (const std::exception& e) {
    out.printf("\nconversion of %s stopped: %s\n", argc > 1 ? argv[1] : "", e.what());
    status = 1;
  }
  std::fflush(stdout);
  return status;
}

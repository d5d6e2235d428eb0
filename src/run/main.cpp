#include <cstdio>
#include <exception>
#include <new>

#include "run/run.h"

int main(int argc, char** argv) {
  ps::OutStream out = ps::OutStream::ToFile(stdout);
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

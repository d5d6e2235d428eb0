#include <cstdio>

#include "run/run.h"

int main(int argc, char** argv) {
  ps::OutStream out = ps::OutStream::ToFile(stdout);
  int status = ps::RunMain(argc, argv, out);
  std::fflush(stdout);
  return status;
}

// tolba-sandbox: a local publisher server for developing and testing games
// against the SDK. See docs/sandbox.md.

#include <sys/resource.h>

#include <iostream>
#include <string>
#include <vector>

#include "command_line.h"

int main(int argc, char** argv) {
  // Each open connection is a file: serving thousands wants the hard limit.
  rlimit files{};
  if (getrlimit(RLIMIT_NOFILE, &files) == 0) {
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
  }
  std::vector<std::string> args(argv + 1, argv + argc);
  return tolba::sandbox::runCommandLine(args, std::cout, std::cerr);
}

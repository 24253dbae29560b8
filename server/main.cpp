// tolba-sandbox: a local publisher server for developing and testing games
// against the SDK. See docs/sandbox.md.

#include <iostream>
#include <string>
#include <vector>

#include "command_line.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return tolba::sandbox::runCommandLine(args, std::cout, std::cerr);
}

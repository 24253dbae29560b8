#include <iostream>
#include <string>
#include <vector>

#include "wire_tool.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return tolba::wire::run(args, std::cin, std::cout, std::cerr);
}

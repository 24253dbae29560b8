#include "tolba/platform/log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tolba::platform {
namespace {

TEST(LogTest, WhileOffNoLineIsWrittenAndNoLazyLineIsBuilt) {
  std::vector<std::string> lines;
  auto previous = setLogSink([&](const std::string& line) { lines.push_back(line); });
  int built = 0;
  auto make = [&] {
    ++built;
    return std::string("costly");
  };

  setLogEnabled(false);
  log("plain");
  logLazily(make);
  EXPECT_TRUE(lines.empty());
  EXPECT_EQ(built, 0);

  setLogEnabled(true);
  log("plain");
  logLazily(make);
  EXPECT_EQ(lines, (std::vector<std::string>{"plain", "costly"}));
  EXPECT_EQ(built, 1);
  setLogSink(std::move(previous));
}

}  // namespace
}  // namespace tolba::platform

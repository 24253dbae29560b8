#include <gtest/gtest.h>

#include <unistd.h>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "net/TolbaDataFunc.h"
#include "wire_tool.h"

namespace tolba {
namespace {

using Json = nlohmann::json;

struct Result {
  int status;
  std::string out;
  std::string err;
};

Result runTool(const std::vector<std::string>& args, const std::string& input = "") {
  std::istringstream in(input);
  std::ostringstream out, err;
  const int status = wire::run(args, in, out, err);
  return {status, out.str(), err.str()};
}

TEST(WireToolTest, EncodesAndDecodesThroughStandardInputAndFiles) {
  const auto encoded = runTool({"encode"}, R"({"a":"b"})");
  EXPECT_EQ(encoded.status, 0);
  EXPECT_EQ(encoded.out, "x168_223_177_179_130_221_189_202_134_225_129_179y\n");
  EXPECT_EQ(encoded.err, "");

  // A captured body in a file, with the line end an editor leaves.
  const auto path = std::filesystem::temp_directory_path() / ("wire-tool-" + std::to_string(::getpid()) + ".txt");
  std::ofstream(path) << encoded.out;
  const auto decoded = runTool({"decode", path.string()});
  std::filesystem::remove(path);
  EXPECT_EQ(decoded.status, 0);
  EXPECT_EQ(Json::parse(decoded.out), Json({{"a", "b"}}));
  EXPECT_NE(decoded.out.find("\n  \"a\""), std::string::npos);  // pretty printed
}

TEST(WireToolTest, LongBodiesNeedLenientDecoding) {
  const Json doc = {{"k", std::string(41, 'x')}, {"名", "值"}};
  const auto encoded = runTool({"encode", "-"}, doc.dump());
  ASSERT_EQ(encoded.status, 0);
  EXPECT_NE(encoded.err.find("--lenient"), std::string::npos);

  const auto strict = runTool({"decode"}, encoded.out);
  EXPECT_EQ(strict.status, 1);
  EXPECT_EQ(strict.out, "");
  EXPECT_NE(strict.err.find("does not decode"), std::string::npos);
  EXPECT_NE(strict.err.find("decode with --lenient"), std::string::npos);

  const auto lenient = runTool({"decode", "--lenient"}, encoded.out);
  EXPECT_EQ(lenient.status, 0);
  EXPECT_EQ(Json::parse(lenient.out), doc);
}

TEST(WireToolTest, AnotherKeyTableMustBeUsedOnBothSides) {
  std::string key(TolbaDataFunc::defaultKey());
  std::reverse(key.begin(), key.end());
  const auto encoded = runTool({"encode", "--key", key}, "[1,2]");
  ASSERT_EQ(encoded.status, 0);
  EXPECT_NE(encoded.out, runTool({"encode"}, "[1,2]").out);
  EXPECT_EQ(runTool({"decode", "--key=" + key}, encoded.out).out, "[\n  1,\n  2\n]\n");
  EXPECT_EQ(runTool({"decode"}, encoded.out).status, 1);
}

TEST(WireToolTest, BadInputIsAClearErrorWithStatusOne) {
  for (const std::string body : {"", "x", "x1_2_3y", "hello world"}) {
    const auto r = runTool({"decode"}, body);
    EXPECT_EQ(r.status, 1) << body;
    EXPECT_EQ(r.out, "") << body;
    EXPECT_EQ(r.err.rfind("tolba-wire: the body does not decode: ", 0), 0u) << r.err;
  }
  const auto notJson = runTool({"encode"}, "{\"a\":");
  EXPECT_EQ(notJson.status, 1);
  EXPECT_NE(notJson.err.find("not JSON"), std::string::npos);
  const auto bareString = runTool({"encode"}, "\"s\"");
  EXPECT_EQ(bareString.status, 1);
  EXPECT_NE(bareString.err.find("cannot encode"), std::string::npos);
  EXPECT_EQ(runTool({"decode", "/nonexistent/body.txt"}).status, 1);
}

TEST(WireToolTest, AWrongCommandLineShowsTheUsage) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{{},
                                                                                    {"squash"},
                                                                                    {"encode", "--lenient"},
                                                                                    {"decode", "--key", "short"},
                                                                                    {"decode", "--key"},
                                                                                    {"decode", "--frobnicate"},
                                                                                    {"decode", "a", "b"}}) {
    const auto r = runTool(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("usage: tolba-wire"), std::string::npos);
  }
  std::string twice(TolbaDataFunc::defaultKey());
  twice[1] = twice[0];
  EXPECT_NE(runTool({"encode", "--key", twice}).err.find("appears twice"), std::string::npos);
  EXPECT_EQ(runTool({"--help"}).status, 0);
}

}  // namespace
}  // namespace tolba

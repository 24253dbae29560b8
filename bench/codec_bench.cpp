// Throughput of the wire codec next to the JSON library's own work on the same
// document, in bytes of JSON per second. The codec's layers on top of JSON
// (escaping "/", base64, scrambling, writing and reading the decimal tokens) are
// the difference between each pair:
//   JsonSerialise  vs  CodecEncode  (codingJSON: request body)
//   JsonParse      vs  CodecDecode  (decodingJSON: reply body)
// CodecDecodeLenient reads a request body with its line breaks, as a server does.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "budget.h"
#include "net/TolbaDataFunc.h"

namespace {

using Json = nlohmann::json;
using tolba::TolbaDataFunc;

std::string text(const char* before, int n, const char* after) {
  std::string out(before);
  out += std::to_string(n);
  out += after;
  return out;
}

// A reply-like dictionary of about `size` bytes of JSON: short keys, ASCII and
// Chinese texts, a URL, integers and decimals.
Json documentOf(std::size_t size) {
  Json doc = Json::object();
  doc["z"] = 1;
  for (int i = 0; doc.dump().size() < size; ++i) {
    std::string k = "k";
    k += std::to_string(i);
    switch (i % 4) {
      case 0: doc[k] = text("value-", i * 7919, ""); break;
      case 1: doc[k] = i * 104729; break;
      case 2: doc[k] = text("充值", i, "元"); break;
      default: doc[k] = text("https://pay.example/h5?o=", i, ""); break;
    }
    if (i % 9 == 8) doc[text(k.c_str(), 0, "f")] = i + 0.25;
  }
  return doc;
}

const Json& document(std::int64_t size) {
  static const Json small = documentOf(100);
  static const Json kilo = documentOf(1024);
  static const Json large = documentOf(64 * 1024);
  return size <= 100 ? small : size <= 1024 ? kilo : large;
}

void setThroughput(benchmark::State& state, std::size_t jsonBytes) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(jsonBytes));
  state.counters["json_bytes"] = static_cast<double>(jsonBytes);
}

void JsonSerialise(benchmark::State& state) {
  const Json& doc = document(state.range(0));
  for (auto _ : state) {
    std::string text = doc.dump();
    benchmark::DoNotOptimize(text);
  }
  setThroughput(state, doc.dump().size());
}

void CodecEncode(benchmark::State& state) {
  const Json& doc = document(state.range(0));
  for (auto _ : state) {
    auto body = TolbaDataFunc::codingJSON(doc);
    benchmark::DoNotOptimize(body);
  }
  setThroughput(state, doc.dump().size());
}

void JsonParse(benchmark::State& state) {
  const std::string text = document(state.range(0)).dump();
  for (auto _ : state) {
    Json parsed = Json::parse(text);
    benchmark::DoNotOptimize(parsed);
  }
  setThroughput(state, text.size());
}

void CodecDecode(benchmark::State& state) {
  const Json& doc = document(state.range(0));
  const std::string body = *TolbaDataFunc::codingReplyJSON(doc);
  for (auto _ : state) {
    auto parsed = TolbaDataFunc::decodingJSON(body);
    benchmark::DoNotOptimize(parsed);
  }
  if (!TolbaDataFunc::decodingJSON(body)) state.SkipWithError("the reply body does not decode");
  setThroughput(state, doc.dump().size());
}

void CodecDecodeLenient(benchmark::State& state) {
  const Json& doc = document(state.range(0));
  const std::string body = *TolbaDataFunc::codingJSON(doc);
  for (auto _ : state) {
    auto parsed = TolbaDataFunc::decodingJSONLenient(body);
    benchmark::DoNotOptimize(parsed);
  }
  setThroughput(state, doc.dump().size());
}

#define TOLBA_SIZES Arg(100)->Arg(1024)->Arg(64 * 1024)
BENCHMARK(JsonSerialise)->TOLBA_SIZES;
BENCHMARK(CodecEncode)->TOLBA_SIZES;
BENCHMARK(JsonParse)->TOLBA_SIZES;
BENCHMARK(CodecDecode)->TOLBA_SIZES;
BENCHMARK(CodecDecodeLenient)->TOLBA_SIZES;

// CPU time of `codec` over that of `json`, measured in alternation (rounds of
// a few hundred calls each) so that a change of the machine's speed during the
// run weighs on both alike: the median of the rounds' ratios.
double pairedRatio(const std::function<void()>& codec, const std::function<void()>& json) {
  constexpr int kRounds = 41;
  constexpr int kCalls = 200;
  const auto cpuSeconds = [] {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
  };
  const auto timed = [&](const std::function<void()>& f) {
    const double start = cpuSeconds();
    for (int i = 0; i < kCalls; ++i) f();
    return cpuSeconds() - start;
  };
  timed(codec);
  timed(json);
  std::vector<double> ratios;
  for (int round = 0; round < kRounds; ++round) {
    const double c = timed(codec);
    const double j = timed(json);
    if (j > 0) ratios.push_back(c / j);
  }
  if (ratios.empty()) return -1;
  std::nth_element(ratios.begin(), ratios.begin() + static_cast<std::ptrdiff_t>(ratios.size() / 2), ratios.end());
  return ratios[ratios.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  // Three repetitions and their aggregates unless the command line says otherwise.
  std::vector<char*> args{argv[0]};
  std::string repetitions = "--benchmark_repetitions=3";
  std::string aggregates = "--benchmark_report_aggregates_only=true";
  std::string plain = "--benchmark_color=false";  // the budget lines must start their lines
  args.push_back(repetitions.data());
  args.push_back(aggregates.data());
  args.push_back(plain.data());
  for (int i = 1; i < argc; ++i) args.push_back(argv[i]);
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  // The budgets compare the codec with the JSON library on the 1 KiB document,
  // in alternation (the runs above are minutes apart on a busy machine).
  const Json& doc = document(1024);
  const std::string text = doc.dump();
  const std::string body = *TolbaDataFunc::codingReplyJSON(doc);
  const double decode = pairedRatio([&] { benchmark::DoNotOptimize(TolbaDataFunc::decodingJSON(body)); },
                                    [&] { benchmark::DoNotOptimize(Json::parse(text)); });
  const double encode = pairedRatio([&] { benchmark::DoNotOptimize(TolbaDataFunc::codingJSON(doc)); },
                                    [&] { benchmark::DoNotOptimize(doc.dump()); });
  if (decode >= 0) tolba::bench::printBudget("codec-decode-1k", decode, "x JSON parse", 1.2);
  if (encode >= 0) tolba::bench::printBudget("codec-encode-1k", encode, "x JSON dump", 1.3);
  return 0;
}

// Throughput of the wire codec next to the JSON library's own work on the same
// document, in bytes of JSON per second. The codec's layers on top of JSON
// (escaping "/", base64, scrambling, writing and reading the decimal tokens) are
// the difference between each pair:
//   JsonSerialise  vs  CodecEncode  (codingJSON: request body)
//   JsonParse      vs  CodecDecode  (decodingJSON: reply body)
// CodecDecodeLenient reads a request body with its line breaks, as a server does.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <map>
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
      case 0:
        doc[k] = text("value-", i * 7919, "");
        break;
      case 1:
        doc[k] = i * 104729;
        break;
      case 2:
        doc[k] = text("充值", i, "元");
        break;
      default:
        doc[k] = text("https://pay.example/h5?o=", i, "");
        break;
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

// Prints the runs as usual and keeps the CPU time of each (the median when
// the runs are repeated) for the budget lines.
class Keeper : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const auto& run : runs) {
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
      cpu[run.run_name.str()] = run.GetAdjustedCPUTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> cpu;
};

}  // namespace

int main(int argc, char** argv) {
  // Three repetitions and their aggregates, without colours, unless the command
  // line says otherwise.
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
  Keeper keeper;
  benchmark::RunSpecifiedBenchmarks(&keeper);
  benchmark::Shutdown();

  auto ratio = [&](const char* codec, const char* json) {
    const auto c = keeper.cpu.find(codec);
    const auto j = keeper.cpu.find(json);
    return c == keeper.cpu.end() || j == keeper.cpu.end() || j->second <= 0 ? -1.0 : c->second / j->second;
  };
  const double decode = ratio("CodecDecode/1024", "JsonParse/1024");
  const double encode = ratio("CodecEncode/1024", "JsonSerialise/1024");
  if (decode >= 0) tolba::bench::printBudget("codec-decode-1k", decode, "x JSON parse", 1.2);
  if (encode >= 0) tolba::bench::printBudget("codec-encode-1k", encode, "x JSON dump", 1.3);
  return 0;
}

// Throughput of the wire codec next to the JSON library's own work on the same
// document, in bytes of JSON per second. The codec's layers on top of JSON
// (escaping "/", base64, scrambling, writing and reading the decimal tokens) are
// the difference between each pair:
//   JsonSerialise  vs  CodecEncode  (codingJSON: request body)
//   JsonParse      vs  CodecDecode  (decodingJSON: reply body)
// CodecDecodeLenient reads a request body with its line breaks, as a server does.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <string>

#include <nlohmann/json.hpp>

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

}  // namespace

#include "fault_injector.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace tolba::sandbox {
namespace {

constexpr double kLongestDelay = 600;
constexpr int kMostRequests = 1000000;

struct ModeName {
  FaultMode mode;
  const char* name;
};
constexpr ModeName kModes[] = {
    {FaultMode::Delay, "delay"},
    {FaultMode::Status500Empty, "500-empty"},
    {FaultMode::Status500Valid, "500-valid"},
    {FaultMode::Garbage, "garbage"},
    {FaultMode::Close, "close"},
    {FaultMode::LineBreaks, "crlf"},
    {FaultMode::Refuse, "refuse"},
    {FaultMode::Trickle, "trickle"},
    {FaultMode::Oversized, "oversized"},
};

constexpr char kModeList[] = "delay, 500-empty, 500-valid, garbage, close, crlf, refuse, trickle, oversized";
constexpr std::size_t kLongestMessage = 256;

std::string normalisePath(std::string path) {
  while (!path.empty() && path.front() == '/') path.erase(path.begin());
  return path;
}

bool validRule(const FaultRule& rule, std::string* error) {
  if (rule.path.empty()) {
    if (error) *error = "a fault needs a path";
    return false;
  }
  if (rule.count < 1 || rule.count > kMostRequests) {
    if (error) *error = "a fault's count must be between 1 and " + std::to_string(kMostRequests);
    return false;
  }
  if (!std::isfinite(rule.seconds) || rule.seconds < 0 || rule.seconds > kLongestDelay) {
    if (error) *error = "a delay must be between 0 and 600 seconds";
    return false;
  }
  if (rule.mode == FaultMode::Delay && rule.seconds <= 0) {
    if (error) *error = "a delay fault needs a number of seconds";
    return false;
  }
  if (rule.message.size() > kLongestMessage) {
    if (error) *error = "a refusal message may hold at most 256 bytes";
    return false;
  }
  return true;
}

}  // namespace

const char* faultModeName(FaultMode mode) {
  for (const auto& m : kModes) {
    if (m.mode == mode) return m.name;
  }
  return "?";
}

std::optional<FaultMode> parseFaultMode(const std::string& name) {
  for (const auto& m : kModes) {
    if (name == m.name) return m.mode;
  }
  return std::nullopt;
}

std::optional<FaultRule> parseFaultFlag(const std::string& flag, std::string* error) {
  // At most four parts: the last takes the rest, so a refusal message may hold commas.
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = parts.size() == 3 ? std::string::npos : flag.find(',', start);
    parts.push_back(flag.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  if (parts.size() < 3) {
    if (error) *error = "a fault is PATH,MODE,COUNT[,SECONDS or MESSAGE], got \"" + flag + "\"";
    return std::nullopt;
  }
  FaultRule rule;
  rule.path = normalisePath(parts[0]);
  const auto mode = parseFaultMode(parts[1]);
  if (!mode) {
    if (error) *error = "unknown fault mode \"" + parts[1] + "\" (" + kModeList + ")";
    return std::nullopt;
  }
  rule.mode = *mode;
  const auto [end, ec] = std::from_chars(parts[2].data(), parts[2].data() + parts[2].size(), rule.count);
  if (ec != std::errc() || end != parts[2].data() + parts[2].size()) {
    if (error) *error = "a fault's count must be a whole number, got \"" + parts[2] + "\"";
    return std::nullopt;
  }
  if (parts.size() == 4 && rule.mode == FaultMode::Refuse) {
    rule.message = parts[3];
  } else if (parts.size() == 4) {
    char* stop = nullptr;
    rule.seconds = std::strtod(parts[3].c_str(), &stop);
    if (parts[3].empty() || *stop != '\0') {
      if (error) *error = "a delay must be a number of seconds, got \"" + parts[3] + "\"";
      return std::nullopt;
    }
  }
  if (!validRule(rule, error)) return std::nullopt;
  return rule;
}

std::optional<FaultRule> parseFaultJson(const nlohmann::json& body, std::string* error) {
  if (!body.is_object() || !body.contains("path") || !body["path"].is_string() || !body.contains("mode") ||
      !body["mode"].is_string()) {
    if (error) *error = "a fault is {\"path\": text, \"mode\": text, \"count\": N, \"seconds\": S}";
    return std::nullopt;
  }
  FaultRule rule;
  rule.path = normalisePath(body["path"].get<std::string>());
  const auto mode = parseFaultMode(body["mode"].get<std::string>());
  if (!mode) {
    if (error) *error = std::string("unknown fault mode (") + kModeList + ")";
    return std::nullopt;
  }
  rule.mode = *mode;
  if (body.contains("count")) {
    if (!body["count"].is_number_integer()) {
      if (error) *error = "\"count\" must be a whole number";
      return std::nullopt;
    }
    const auto count = body["count"].get<std::int64_t>();
    rule.count = count < 0 || count > kMostRequests ? -1 : static_cast<int>(count);
  }
  if (body.contains("seconds")) {
    if (!body["seconds"].is_number()) {
      if (error) *error = "\"seconds\" must be a number";
      return std::nullopt;
    }
    rule.seconds = body["seconds"].get<double>();
  }
  if (body.contains("message")) {
    if (!body["message"].is_string()) {
      if (error) *error = "\"message\" must be a text";
      return std::nullopt;
    }
    rule.message = body["message"].get<std::string>();
  }
  if (!validRule(rule, error)) return std::nullopt;
  return rule;
}

nlohmann::json faultToJson(const FaultRule& rule) {
  nlohmann::json j = {{"path", rule.path}, {"mode", faultModeName(rule.mode)}, {"count", rule.count}};
  if (rule.mode == FaultMode::Delay || (rule.mode == FaultMode::Trickle && rule.seconds > 0)) {
    j["seconds"] = rule.seconds;
  }
  if (rule.mode == FaultMode::Refuse) j["message"] = rule.message;
  return j;
}

void FaultInjector::add(FaultRule rule) {
  std::lock_guard lock(mutex_);
  rules_.push_back(std::move(rule));
}

void FaultInjector::clear() {
  std::lock_guard lock(mutex_);
  rules_.clear();
}

std::vector<FaultRule> FaultInjector::rules() const {
  std::lock_guard lock(mutex_);
  return rules_;
}

std::optional<FaultRule> FaultInjector::take(const std::string& path) {
  std::lock_guard lock(mutex_);
  auto pick = [&](auto matches) -> std::optional<FaultRule> {
    for (auto it = rules_.begin(); it != rules_.end(); ++it) {
      if (!matches(*it)) continue;
      FaultRule hit = *it;
      if (--it->count <= 0) rules_.erase(it);
      return hit;
    }
    return std::nullopt;
  };
  if (auto exact = pick([&](const FaultRule& r) { return r.path == path; })) return exact;
  return pick([](const FaultRule& r) { return r.path == "*"; });
}

}  // namespace tolba::sandbox

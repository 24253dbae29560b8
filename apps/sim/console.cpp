#include "console.h"

#include <cstdio>
#include <iostream>

namespace tolba::sim {
namespace {

constexpr std::size_t kKeptLines = 400;
constexpr std::size_t kShortLimit = 160;

std::string shortText(const nlohmann::json& value) {
  std::string text = value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  if (text.size() > kShortLimit) {
    // Cut on a character boundary.
    std::size_t cut = kShortLimit;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    text = text.substr(0, cut) + "...";
  }
  return text;
}

}  // namespace

Console::Console() : start_(std::chrono::steady_clock::now()) {}

void Console::add(LineKind kind, const char* label, const std::string& given) {
  // One line each: a two-line button title shows its break as "\n".
  std::string text;
  for (const char c : given) {
    if (c == '\n') {
      text += "\\n";
    } else {
      text += c;
    }
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  if (kind == LineKind::Section) {
    std::cout << "\n== " << text << std::endl;
  } else {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%7.3fs", seconds);
    std::cout << stamp << "  " << label << text << std::endl;
  }
  lines_.push_back({kind, text});
  while (lines_.size() > kKeptLines) lines_.pop_front();
  ++revision_;
}

void Console::section(const std::string& title) { add(LineKind::Section, "", title); }
void Console::action(const std::string& text) { add(LineKind::Action, "player   ", text); }
void Console::note(const std::string& text) { add(LineKind::Note, "          ", text); }

void Console::failure(const std::string& text) {
  ++failures_;
  add(LineKind::Failure, "FAILED   ", text);
}

void Console::traffic(const TolbaTrafficEvent& event) {
  if (event.kind == "request") {
    add(LineKind::Request, "request  ", event.path + " " + shortText(event.body));
  } else if (event.kind == "reply") {
    add(LineKind::Reply, "reply    ", event.path + " " + std::to_string(event.status) + " " + shortText(event.body));
  } else {
    add(LineKind::Reply, "reply    ",
        event.path + " " + (event.status ? std::to_string(event.status) + " " : std::string()) + event.error);
  }
}

void Console::notification(const std::string& name, const nlohmann::json& payload) {
  add(LineKind::Notification, "game     ", "<- " + name + " " + shortText(maskTolbaTraffic("", payload)));
}

}  // namespace tolba::sim

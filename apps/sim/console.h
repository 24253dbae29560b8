#pragma once
// What the game saw, as it happened: the player's actions, every request and
// reply, every notification. Printed on the terminal and kept for the side panel.

#include <chrono>
#include <cstdint>
#include <deque>
#include <string>

#include <nlohmann/json.hpp>

#include "tolba/TolbaTraffic.h"

namespace tolba::sim {

enum class LineKind { Section, Action, Request, Reply, Notification, Failure, Note };

struct ConsoleLine {
  LineKind kind;
  std::string text;
};

class Console {
 public:
  Console();

  void section(const std::string& title);
  void action(const std::string& text);
  void traffic(const TolbaTrafficEvent& event);
  void notification(const std::string& name, const nlohmann::json& payload);
  void failure(const std::string& text);
  void note(const std::string& text);

  // The most recent lines, oldest first.
  const std::deque<ConsoleLine>& lines() const { return lines_; }
  // Changes whenever a line is added (the side panel redraws then).
  std::uint64_t revision() const { return revision_; }
  int failures() const { return failures_; }

 private:
  void add(LineKind kind, const char* label, const std::string& text);

  std::deque<ConsoleLine> lines_;
  std::uint64_t revision_ = 0;
  int failures_ = 0;
  std::chrono::steady_clock::time_point start_;
};

}  // namespace tolba::sim

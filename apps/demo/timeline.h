#pragma once
// The demo's timeline: what the player did, each request and reply, and each
// notification the game received, printed as it happens, either as readable
// lines or as one JSON object per line.

#include <chrono>
#include <ostream>
#include <string>

#include <nlohmann/json.hpp>

#include "net/traffic_observer.h"

namespace tolba::demo {

class Timeline {
 public:
  Timeline(std::ostream& out, bool json);

  // A heading between the journey's parts (readable output only).
  void section(const std::string& title);
  void action(const std::string& text);
  void traffic(const TrafficEvent& event);
  void notification(const std::string& name, const nlohmann::json& payload);
  // A step that did not end as expected.
  void failure(const std::string& text);
  // A line of commentary (readable output only).
  void note(const std::string& text);

  int failures() const { return failures_; }

 private:
  double seconds() const;
  void emit(nlohmann::json line);
  void line(const char* kind, const std::string& text);

  std::ostream& out_;
  bool json_;
  int failures_ = 0;
  std::chrono::steady_clock::time_point start_;
};

}  // namespace tolba::demo

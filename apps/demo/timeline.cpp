#include "timeline.h"

#include <cstdio>

#include "net/log_masking.h"

namespace tolba::demo {
namespace {

constexpr std::size_t kShortLimit = 160;

std::string shortText(const nlohmann::json& value) {
  std::string text = value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  if (text.size() > kShortLimit) text = text.substr(0, kShortLimit) + "...";
  return text;
}

}  // namespace

Timeline::Timeline(std::ostream& out, bool json) : out_(out), json_(json), start_(std::chrono::steady_clock::now()) {}

double Timeline::seconds() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

void Timeline::emit(nlohmann::json line) {
  line["t"] = static_cast<double>(static_cast<long long>(seconds() * 1000)) / 1000.0;
  out_ << line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << std::endl;
}

void Timeline::line(const char* kind, const std::string& text) {
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%7.3fs", seconds());
  out_ << stamp << "  " << kind << text << std::endl;
}

void Timeline::section(const std::string& title) {
  if (!json_) out_ << "\n== " << title << std::endl;
}

void Timeline::note(const std::string& text) {
  if (!json_) out_ << "          " << text << std::endl;
}

void Timeline::action(const std::string& text) {
  if (json_) {
    emit({{"kind", "action"}, {"text", text}});
  } else {
    line("player   ", text);
  }
}

void Timeline::traffic(const TrafficEvent& event) {
  switch (event.kind) {
    case TrafficEvent::Kind::request: {
      // Passwords, signatures, tokens, identity card numbers and real names are masked.
      auto body = tolba::maskedRequest(event.path, event.body);
      if (json_) {
        emit({{"kind", "request"}, {"path", event.path}, {"body", body}});
      } else {
        line("request  ", event.path + " " + shortText(body));
      }
      break;
    }
    case TrafficEvent::Kind::reply: {
      const auto body = tolba::maskedReply(event.path, event.body);
      if (json_) {
        emit({{"kind", "reply"}, {"path", event.path}, {"status", event.status}, {"body", body}});
      } else {
        line("reply    ", event.path + " " + std::to_string(event.status) + " " + shortText(body));
      }
      break;
    }
    case TrafficEvent::Kind::undecodable:
      if (json_) {
        emit({{"kind", "reply"}, {"path", event.path}, {"status", event.status}, {"undecodable", event.raw}});
      } else {
        line("reply    ", event.path + " " + std::to_string(event.status) + " (does not decode) " + event.raw);
      }
      break;
    case TrafficEvent::Kind::failed:
      if (json_) {
        emit({{"kind", "reply"}, {"path", event.path}, {"failed", event.error}});
      } else {
        line("reply    ", event.path + " no reply: " + event.error);
      }
      break;
  }
}

void Timeline::notification(const std::string& name, const nlohmann::json& rawPayload) {
  // The login notification carries the session token: masked like the traffic.
  const auto payload = tolba::maskedDictionary(rawPayload);
  if (json_) {
    emit({{"kind", "notification"}, {"name", name}, {"payload", payload}});
  } else {
    line("game     ", "<- " + name + " " + shortText(payload));
  }
}

void Timeline::failure(const std::string& text) {
  ++failures_;
  if (json_) {
    emit({{"kind", "failure"}, {"text", text}});
  } else {
    line("FAILED   ", text);
  }
}

}  // namespace tolba::demo

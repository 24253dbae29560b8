#include "wire_tool.h"

#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "net/TolbaDataFunc.h"
#include "tolba/platform/scoped_log_sink.h"

namespace tolba::wire {
namespace {

using Json = nlohmann::json;

constexpr char kUsage[] =
    "usage: tolba-wire encode [--key KEY] [FILE]\n"
    "       tolba-wire decode [--key KEY] [--lenient] [FILE]\n"
    "\n"
    "encode  reads a JSON object or array and prints its request body\n"
    "decode  reads a body (surrounding blanks and line ends are ignored) and\n"
    "        prints its JSON\n"
    "\n"
    "  --key KEY   the 64-character key table (default: the one built in)\n"
    "  --lenient   accept the CR LF pairs that bodies of more than 45 JSON\n"
    "              bytes carry (requests); replies never have them\n"
    "  FILE        read from FILE instead of standard input (\"-\": standard input)\n";

struct Options {
  std::string command;
  std::string key{TolbaDataFunc::defaultKey()};
  bool lenient = false;
  std::optional<std::string> file;
};

// Collects the codec's log lines while alive, so a failure can say why.
class LogCollector {
 public:
  LogCollector() = default;

  // The reason part of the codec's last line ("...----reason"), or "".
  std::string reason() const {
    if (lines_.empty()) return "";
    const std::string& line = lines_.back();
    const auto dash = line.rfind("----");
    return dash == std::string::npos ? line : line.substr(dash + 4);
  }

 private:
  std::vector<std::string> lines_;
  platform::ScopedLogSink sink_{[this](const std::string& line) { lines_.push_back(line); }};
};

// Empty when `key` can serve as the key table, else what is wrong with it.
std::string keyProblem(std::string_view key) {
  if (key.size() != 64) return "it has " + std::to_string(key.size()) + " characters, not 64";
  for (std::size_t i = 0; i < key.size(); ++i) {
    const char c = key[i];
    if (c < '!' || c > '~') return "character " + std::to_string(i + 1) + " is not printable ASCII";
    if (key.find(c) != i) return std::string("the character '") + c + "' appears twice";
  }
  return "";
}

// Parses the command line; on failure writes the reason to `err` and returns
// nullopt.
std::optional<Options> parse(const std::vector<std::string>& args, std::ostream& err) {
  Options o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--lenient") {
      o.lenient = true;
    } else if (a == "--key" || a.rfind("--key=", 0) == 0) {
      if (a == "--key") {
        if (i + 1 >= args.size()) {
          err << "tolba-wire: --key needs a value\n";
          return std::nullopt;
        }
        o.key = args[++i];
      } else {
        o.key = a.substr(6);
      }
      if (const auto problem = keyProblem(o.key); !problem.empty()) {
        err << "tolba-wire: unusable --key: " << problem << "\n";
        return std::nullopt;
      }
    } else if (a.size() > 1 && a[0] == '-' && a != "-") {
      err << "tolba-wire: unknown option " << a << "\n";
      return std::nullopt;
    } else if (o.command.empty()) {
      o.command = a;
    } else if (!o.file) {
      o.file = a;
    } else {
      err << "tolba-wire: more than one input file\n";
      return std::nullopt;
    }
  }
  if (o.command != "encode" && o.command != "decode") {
    err << (o.command.empty() ? std::string("tolba-wire: no command given\n")
                              : "tolba-wire: unknown command " + o.command + "\n");
    return std::nullopt;
  }
  if (o.lenient && o.command != "decode") {
    err << "tolba-wire: --lenient applies to decode only\n";
    return std::nullopt;
  }
  return o;
}

// Appends everything left in `in` to `data`; false on a read error.
bool readAll(std::istream& in, std::string& data) {
  char chunk[1 << 16];
  while (in.read(chunk, sizeof chunk) || in.gcount() > 0) data.append(chunk, static_cast<std::size_t>(in.gcount()));
  return !in.bad();
}

bool readInput(const Options& o, std::istream& in, std::string& data, std::ostream& err) {
  if (!o.file || *o.file == "-") {
    if (!readAll(in, data)) {
      err << "tolba-wire: cannot read standard input\n";
      return false;
    }
    return true;
  }
  std::ifstream file(*o.file, std::ios::binary);
  if (!file) {
    err << "tolba-wire: cannot open " << *o.file << "\n";
    return false;
  }
  if (!readAll(file, data)) {
    err << "tolba-wire: cannot read " << *o.file << "\n";
    return false;
  }
  return true;
}

std::string_view trimmed(std::string_view s) {
  constexpr std::string_view blanks = " \t\r\n\f\v";
  const auto b = s.find_first_not_of(blanks);
  if (b == std::string_view::npos) return {};
  return s.substr(b, s.find_last_not_of(blanks) - b + 1);
}

int encode(const Options& o, const std::string& input, std::ostream& out, std::ostream& err) {
  Json doc;
  try {
    doc = Json::parse(input);
  } catch (const Json::parse_error& e) {
    err << "tolba-wire: the input is not JSON: " << e.what() << "\n";
    return 1;
  }
  std::optional<std::string> body;
  std::string reason;
  {
    LogCollector log;
    body = TolbaDataFunc::codingJSON(doc, o.key);
    reason = log.reason();
  }
  if (!body) {
    err << "tolba-wire: cannot encode: " << (reason.empty() ? "the JSON writer refused the document" : reason) << "\n";
    return 1;
  }
  out << *body << "\n";
  // A body longer than one base64 line carries CR LF pairs; say how to read it.
  LogCollector quiet;
  if (!TolbaDataFunc::decodingJSON(*body, o.key)) {
    err << "tolba-wire: note: the body carries line breaks (more than 45 JSON bytes); decode it with --lenient\n";
  }
  return 0;
}

int decode(const Options& o, const std::string& input, std::ostream& out, std::ostream& err) {
  const std::string_view body = trimmed(input);
  std::optional<Json> doc;
  std::string reason;
  {
    LogCollector log;
    doc = o.lenient ? TolbaDataFunc::decodingJSONLenient(body, o.key) : TolbaDataFunc::decodingJSON(body, o.key);
    reason = log.reason();
  }
  if (!doc) {
    if (reason.empty()) reason = body.empty() ? "the body is empty" : "the body is too short or not UTF-8 text";
    err << "tolba-wire: the body does not decode: " << reason << "\n";
    if (!o.lenient) {
      LogCollector quiet;
      if (TolbaDataFunc::decodingJSONLenient(body, o.key)) {
        err << "tolba-wire: it does decode with --lenient (its base64 text has line breaks, as long requests do)\n";
      }
    }
    return 1;
  }
  out << doc->dump(2, ' ', false, Json::error_handler_t::replace) << "\n";
  return 0;
}

}  // namespace

int run(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err) {
  for (const auto& a : args) {
    if (a == "-h" || a == "--help") {
      out << kUsage;
      return 0;
    }
  }
  const auto options = parse(args, err);
  if (!options) {
    err << kUsage;
    return 2;
  }
  std::string input;
  if (!readInput(*options, in, input, err)) return 1;
  return options->command == "encode" ? encode(*options, input, out, err) : decode(*options, input, out, err);
}

}  // namespace tolba::wire

#include "command_line.h"

#include <pthread.h>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <iomanip>
#include <ostream>

#include "account_name.h"
#include "crypto.h"
#include "id_card.h"
#include "load_bench.h"
#include "payment_callback.h"
#include "sandbox_server.h"
#include "sandbox_store.h"

namespace tolba::sandbox {
namespace {

bool parseInt(const std::string& text, int low, int high, int* out) {
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || v < low || v > high) return false;
  *out = static_cast<int>(v);
  return true;
}

// A coin amount: whole coins or up to two decimals; zero allowed.
std::optional<Cents> parseCoins(const std::string& text) {
  if (text == "0") return 0;
  return parseAmount(std::string_view(text)).cents;
}

std::string timeText(std::int64_t ms) {
  const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char buffer[32];
  std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", &utc);
  return buffer;
}

std::vector<std::string> splitList(const std::string& text) {
  std::vector<std::string> out;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = text.find(',', start);
    std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    if (!item.empty()) out.push_back(item);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return out;
}

// Pulls "--db PATH" out of `args`; the rest stay in order.
std::string takeDb(std::vector<std::string>& args, std::string* error) {
  std::string db = "sandbox.db";
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--db") {
      if (i + 1 >= args.size()) {
        *error = "--db needs a path";
        return db;
      }
      db = args[i + 1];
      args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
      --i;
    }
  }
  return db;
}

int serve(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string why;
  auto options = parseServeOptions(args, &why);
  if (!options) {
    err << "tolba-sandbox: " << why << "\n" << usageText();
    return 2;
  }
  // Block the stop signals in every thread, so they are taken here by sigwait.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  SandboxServer server(*options);
  if (!server.start(&why)) {
    err << "tolba-sandbox: " << why << "\n";
    return 1;
  }
  out << "tolba-sandbox serving " << server.baseUrl() << " (database " << options->dbPath << "); Ctrl-C stops it"
      << std::endl;
  int received = 0;
  sigwait(&stopSignals, &received);
  out << "tolba-sandbox: " << (received == SIGINT ? "SIGINT" : "SIGTERM") << ", stopping" << std::endl;
  server.stop();
  out << "tolba-sandbox: stopped" << std::endl;
  return 0;
}

int accountCommand(std::vector<std::string> args, std::ostream& out, std::ostream& err) {
  std::string why;
  const std::string db = takeDb(args, &why);
  if (!why.empty()) {
    err << "tolba-sandbox: " << why << "\n";
    return 2;
  }
  if (args.empty()) {
    err << usageText();
    return 2;
  }
  const std::string verb = args[0];
  if (verb == "add") {
    Cents coins = 100 * 100;
    std::string idCard;
    std::string realName = "测试玩家";
    std::vector<std::string> rest;
    for (std::size_t i = 1; i < args.size(); ++i) {
      if (args[i] == "--id-card" && i + 1 < args.size()) {
        idCard = args[++i];
      } else if (args[i] == "--real-name" && i + 1 < args.size()) {
        realName = args[++i];
      } else if (args[i] == "--coins" && i + 1 < args.size()) {
        const auto c = parseCoins(args[++i]);
        if (!c) {
          err << "tolba-sandbox: --coins needs an amount such as 100 or 12.5\n";
          return 2;
        }
        coins = *c;
      } else {
        rest.push_back(args[i]);
      }
    }
    if (rest.size() != 2 || rest[0].empty() || rest[1].empty()) {
      err << "tolba-sandbox: account add NAME PASSWORD [--coins N] [--id-card NUMBER [--real-name NAME]]\n";
      return 2;
    }
    std::optional<BirthDate> birth;
    if (!idCard.empty()) {
      birth = parseIdCard(idCard, todayInChina(), &why);
      if (!birth) {
        err << "tolba-sandbox: the identity card number is refused: " << why << "\n";
        return 2;
      }
    }
    const auto name = normaliseAccountName(rest[0], &why);
    if (!name) {
      err << "tolba-sandbox: the account name is refused: " << why << "\n";
      return 2;
    }
    rest[0] = *name;
    auto store = Store::open(db, &why);
    if (!store) {
      err << "tolba-sandbox: " << why << "\n";
      return 1;
    }
    bool taken = false;
    const auto uid = store->addAccount(rest[0], hashPassword(rest[1], kDefaultPasswordIterations), coins, &taken);
    if (!uid) {
      err << "tolba-sandbox: " << (taken ? "the account name is taken" : "cannot add the account") << "\n";
      return 1;
    }
    out << "account " << rest[0] << " has user id " << *uid << " and " << centsText(coins) << " coins";
    if (birth) {
      const int age = ageOn(*birth, todayInChina());
      store->setRealName(*uid, realName, maskIdCard(idCard), birthDateText(*birth), age >= 18 ? 1 : 2);
      out << ", verified identity " << maskIdCard(idCard) << " (age " << age << " today)";
    }
    out << "\n";
    return 0;
  }
  if (verb == "topup") {
    if (args.size() != 3) {
      err << "tolba-sandbox: account topup NAME N\n";
      return 2;
    }
    const auto coins = parseAmount(std::string_view(args[2])).cents;
    if (!coins) {
      err << "tolba-sandbox: the amount must be positive, such as 100 or 12.5\n";
      return 2;
    }
    auto store = Store::open(db, &why);
    if (!store) {
      err << "tolba-sandbox: " << why << "\n";
      return 1;
    }
    if (const auto name = normaliseAccountName(args[1])) args[1] = *name;
    if (!store->topUp(args[1], *coins)) {
      err << "tolba-sandbox: no account named " << args[1] << "\n";
      return 1;
    }
    const auto account = store->accountByName(args[1]);
    out << "account " << args[1] << " now has " << centsText(account ? account->balance : 0) << " coins\n";
    return 0;
  }
  err << usageText();
  return 2;
}

int gameCommand(std::vector<std::string> args, std::ostream& out, std::ostream& err) {
  std::string why;
  const std::string db = takeDb(args, &why);
  const char* usage = "tolba-sandbox: game set --gameid ID --notify-url URL --secret SECRET [--db PATH]\n";
  if (!why.empty() || args.empty() || args[0] != "set") {
    err << usage;
    return 2;
  }
  GameSettings game;
  for (std::size_t i = 1; i < args.size(); ++i) {
    std::string* target = args[i] == "--gameid"       ? &game.gameId
                          : args[i] == "--notify-url" ? &game.notifyUrl
                          : args[i] == "--secret"     ? &game.secret
                                                      : nullptr;
    if (!target || i + 1 >= args.size()) {
      err << usage;
      return 2;
    }
    *target = args[++i];
  }
  if (game.gameId.empty() || game.notifyUrl.empty() || game.secret.empty()) {
    err << usage;
    return 2;
  }
  if (!validCallbackUrl(game.notifyUrl)) {
    err << "tolba-sandbox: --notify-url must be an http:// or https:// address\n";
    return 2;
  }
  auto store = Store::open(db, &why);
  if (!store) {
    err << "tolba-sandbox: " << why << "\n";
    return 1;
  }
  if (!store->setGame(game)) {
    err << "tolba-sandbox: cannot store the game's settings\n";
    return 1;
  }
  out << "game " << game.gameId << ": paid orders are reported to " << game.notifyUrl
      << " (signed with its app secret)\n";
  return 0;
}

int calendarCommand(std::vector<std::string> args, std::ostream& out, std::ostream& err) {
  std::string why;
  const std::string db = takeDb(args, &why);
  const char* usage =
      "tolba-sandbox: calendar add YYYY-MM-DD [NAME] | calendar remove YYYY-MM-DD | calendar list [--db PATH]\n";
  if (!why.empty() || args.empty()) {
    err << usage;
    return 2;
  }
  const std::string verb = args[0];
  const bool dated = verb == "add" || verb == "remove";
  if ((verb != "list" && !dated) || (dated && args.size() < 2) || (verb == "list" && args.size() != 1) ||
      (verb == "remove" && args.size() != 2)) {
    err << usage;
    return 2;
  }
  // A date is checked by reading it as a moment of that day.
  if (dated && (args[1].size() != 10 || !parseMoment(args[1] + "T00:00:00"))) {
    err << "tolba-sandbox: " << args[1] << " is not a date of the form YYYY-MM-DD\n";
    return 2;
  }
  auto store = Store::open(db, &why);
  if (!store) {
    err << "tolba-sandbox: " << why << "\n";
    return 1;
  }
  if (verb == "add") {
    std::string name;
    for (std::size_t i = 2; i < args.size(); ++i) name += (i > 2 ? " " : "") + args[i];
    if (!store->addHoliday(args[1], name)) {
      err << "tolba-sandbox: cannot store the holiday\n";
      return 1;
    }
    out << args[1] << " is a statutory holiday" << (name.empty() ? "" : " (" + name + ")") << "\n";
    return 0;
  }
  if (verb == "remove") {
    if (!store->removeHoliday(args[1])) {
      err << "tolba-sandbox: " << args[1] << " is not in the calendar\n";
      return 1;
    }
    out << args[1] << " removed from the calendar\n";
    return 0;
  }
  const auto days = store->holidays();
  for (const auto& [date, name] : days) out << date << (name.empty() ? "" : "  " + name) << "\n";
  out << days.size() << (days.size() == 1 ? " holiday\n" : " holidays\n");
  return 0;
}

int ordersCommand(std::vector<std::string> args, std::ostream& out, std::ostream& err) {
  std::string why;
  const std::string db = takeDb(args, &why);
  if (!why.empty() || !args.empty()) {
    err << "tolba-sandbox: orders [--db PATH]\n";
    return 2;
  }
  auto store = Store::open(db, &why);
  if (!store) {
    err << "tolba-sandbox: " << why << "\n";
    return 1;
  }
  const auto orders = store->orders();
  out << std::left << std::setw(26) << "ORDER" << std::setw(10) << "USER" << std::setw(10) << "GAME" << std::setw(20)
      << "GAME ORDER" << std::setw(12) << "AMOUNT" << std::setw(8) << "STATE"
      << "METHOD\n";
  for (const auto& o : orders) {
    out << std::left << std::setw(26) << o.orderId << std::setw(10) << o.uid << std::setw(10) << o.gameId
        << std::setw(20) << o.cpOrderId << std::setw(12) << centsText(o.amount) << std::setw(8) << o.state
        << (o.method.empty() ? "-" : o.method) << "\n";
    // The callback to the game's server, with every attempt.
    const auto callback = store->callback(o.orderId);
    if (!callback) continue;
    out << "    callback " << callback->url << ": " << callback->state << " after " << callback->attempts
        << (callback->attempts == 1 ? " attempt" : " attempts");
    if (callback->state == "pending") out << ", next at " << timeText(callback->nextAtMs) << " UTC";
    out << "\n";
    for (const auto& a : store->callbackAttempts(o.orderId)) {
      out << "      #" << a.attempt << " " << timeText(a.atMs) << " UTC  " << a.outcome << "\n";
    }
  }
  out << orders.size() << (orders.size() == 1 ? " order\n" : " orders\n");
  return 0;
}

}  // namespace

std::string usageText() {
  return "usage:\n"
         "  tolba-sandbox serve [--port N] [--bind ADDR] [--db PATH] [--origin URL] [--key TABLE]\n"
         "                      [--public-origin URL]\n"
         "                      [--tls-cert FILE --tls-key FILE] [--coins N] [--no-wechat]\n"
         "                      [--wechat-games ID,ID] [--threads N] [--quiet] [--secret-file PATH]\n"
         "                      [--admin-token TOKEN] [--session-hours N] [--callback-base-ms N]\n"
         "                      [--max-connections N] [--max-per-address N] [--request-seconds N]\n"
         "                      [--clock 2026-12-11T20:30:00+08:00] [--no-minor-rules] [--allow-unverified]\n"
         "                      [--fault PATH,MODE,COUNT[,SECONDS|MESSAGE]]...\n"
         "      fault modes: delay (SECONDS), 500-empty, 500-valid, garbage, close, crlf,\n"
         "      refuse (MESSAGE), trickle (SECONDS between bytes), oversized; PATH * is every endpoint\n"
         "  tolba-sandbox account add NAME PASSWORD [--coins N] [--id-card NUMBER [--real-name NAME]] [--db PATH]\n"
         "  tolba-sandbox account topup NAME N [--db PATH]\n"
         "  tolba-sandbox game set --gameid ID --notify-url URL --secret SECRET [--db PATH]\n"
         "  tolba-sandbox orders [--db PATH]\n"
         "  tolba-sandbox calendar add YYYY-MM-DD [NAME] | remove YYYY-MM-DD | list [--db PATH]\n"
         "  tolba-sandbox bench [--clients N] [--logins N] [--balances N] [--iterations N]\n"
         "      (starts its own server on a free loopback port with a fresh database)\n";
}

std::optional<SandboxOptions> parseServeOptions(const std::vector<std::string>& args, std::string* error) {
  SandboxOptions o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> const std::string* {
      if (i + 1 >= args.size()) return nullptr;
      return &args[++i];
    };
    auto missing = [&]() {
      *error = a + " needs a value";
      return std::nullopt;
    };
    if (a == "--port") {
      const auto* v = value();
      if (!v) return missing();
      if (!parseInt(*v, 0, 65535, &o.port)) {
        *error = "--port must be 0 to 65535";
        return std::nullopt;
      }
    } else if (a == "--bind" || a == "--db" || a == "--origin" || a == "--key" || a == "--tls-cert" ||
               a == "--tls-key" || a == "--secret-file" || a == "--admin-token" || a == "--public-origin") {
      const auto* v = value();
      if (!v) return missing();
      std::string& target = a == "--bind"            ? o.bind
                            : a == "--db"            ? o.dbPath
                            : a == "--origin"        ? o.origin
                            : a == "--key"           ? o.key
                            : a == "--tls-cert"      ? o.tlsCert
                            : a == "--secret-file"   ? o.secretPath
                            : a == "--admin-token"   ? o.adminToken
                            : a == "--public-origin" ? o.publicOrigin
                                                     : o.tlsKey;
      target = *v;
    } else if (a == "--session-hours" || a == "--callback-base-ms" || a == "--max-connections" ||
               a == "--max-per-address" || a == "--request-seconds") {
      const auto* v = value();
      if (!v) return missing();
      int n = 0;
      if (!parseInt(*v, 1, 1000000, &n)) {
        *error = a + " must be a whole number from 1 to 1000000";
        return std::nullopt;
      }
      if (a == "--session-hours") o.sessionSeconds = std::int64_t{n} * 3600;
      if (a == "--callback-base-ms") o.callbackBaseDelayMs = n;
      if (a == "--max-connections") o.maxConnections = n;
      if (a == "--max-per-address") o.maxConnectionsPerAddress = n;
      if (a == "--request-seconds") o.requestSeconds = n;
    } else if (a == "--coins") {
      const auto* v = value();
      if (!v) return missing();
      const auto coins = parseCoins(*v);
      if (!coins) {
        *error = "--coins needs an amount such as 100 or 12.5";
        return std::nullopt;
      }
      o.startingCoins = *coins;
    } else if (a == "--threads") {
      const auto* v = value();
      if (!v) return missing();
      if (!parseInt(*v, 2, 1024, &o.threads)) {
        *error = "--threads must be 2 to 1024";
        return std::nullopt;
      }
    } else if (a == "--clock") {
      const auto* v = value();
      if (!v) return missing();
      o.clockStart = parseMoment(*v);
      if (!o.clockStart) {
        *error = "--clock needs a moment such as 2026-12-11T20:30:00+08:00";
        return std::nullopt;
      }
    } else if (a == "--no-minor-rules") {
      o.minorRules = false;
    } else if (a == "--allow-unverified") {
      o.allowUnverified = true;
    } else if (a == "--no-wechat") {
      o.wechat = false;
    } else if (a == "--wechat-games") {
      const auto* v = value();
      if (!v) return missing();
      o.wechatGames = splitList(*v);
    } else if (a == "--quiet") {
      o.logRequests = false;
    } else if (a == "--fault") {
      const auto* v = value();
      if (!v) return missing();
      auto rule = parseFaultFlag(*v, error);
      if (!rule) return std::nullopt;
      o.faults.push_back(*rule);
    } else {
      *error = "unknown argument " + a;
      return std::nullopt;
    }
  }
  if (o.key.size() != 64) {
    *error = "--key must be 64 characters";
    return std::nullopt;
  }
  if (o.tlsCert.empty() != o.tlsKey.empty()) {
    *error = "--tls-cert and --tls-key go together";
    return std::nullopt;
  }
  return o;
}

int runCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty() || args[0] == "help" || args[0] == "--help" || args[0] == "-h") {
    (args.empty() ? err : out) << usageText();
    return args.empty() ? 2 : 0;
  }
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  if (args[0] == "serve") return serve(rest, out, err);
  if (args[0] == "account") return accountCommand(rest, out, err);
  if (args[0] == "orders") return ordersCommand(rest, out, err);
  if (args[0] == "game") return gameCommand(rest, out, err);
  if (args[0] == "calendar") return calendarCommand(rest, out, err);
  if (args[0] == "bench") return benchCommand(rest, out, err);
  err << "tolba-sandbox: unknown command " << args[0] << "\n" << usageText();
  return 2;
}

}  // namespace tolba::sandbox

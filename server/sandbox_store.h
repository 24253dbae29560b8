#pragma once
// The sandbox's persistent state in one SQLite file: accounts with their coin
// balances, real-name records and sessions, roles, orders, WeChat payment
// tickets, and the outbox of payment callbacks to the games' servers. The file
// and its journal are readable by their owner only; login signatures and tokens
// are kept as keyed hashes, never as they were issued. Every statement is prepared once, with bound parameters. One
// connection, used under a lock; payments also run in an immediate transaction with conditional updates, so a second
// process (the command line) cannot break them.

#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "amount.h"
#include "server_clock.h"
#include "statement_cache.h"

namespace tolba::sandbox {

struct Account {
  std::int64_t uid = 0;
  std::string name;
  std::string passwordHash;
  Cents balance = 0;
  int realNameState = 0;      // 0 none, 1 adult, 2 minor
  std::string birthDate;      // YYYYMMDD when there is a real-name record
  std::string loginSignHash;  // keyed hash of the current login's signature; empty when none
  std::string loginTime;
  std::string tokenHash;  // keyed hash of the current sign-in's token
};

struct Order {
  std::string orderId;
  std::int64_t uid = 0;
  std::string gameId;
  std::string cpOrderId;
  Cents amount = 0;
  std::string count;
  std::string goodsName;
  std::string roleId;
  std::string serverId;
  std::string device;  // the device that submitted it: only that device may pay it
  std::string state;   // "unpaid" or "paid"
  std::string method;  // "coin" or "wechat" once paid
  std::int64_t createdAt = 0;
  std::int64_t paidAt = 0;
};

struct RoleRecord {
  std::int64_t uid = 0;
  std::string gameId;
  std::string serverId;
  std::string roleId;
  std::string roleName;
  std::string roleLevel;
  std::string serverName;
  std::string vipLevel;
  std::string partyName;
};

// Where a game's server hears that an order was paid, and the secret its
// callbacks are signed with.
struct GameSettings {
  std::string gameId;
  std::string notifyUrl;
  std::string secret;
};

// One payment callback in the outbox: the signed form, kept as first made so
// that every attempt sends the same bytes.
struct Callback {
  std::string orderId;
  std::string url;
  std::string body;
  std::string state;  // "pending" or "delivered"
  int attempts = 0;
  std::int64_t nextAtMs = 0;  // when a pending callback is tried next
  std::int64_t deliveredAt = 0;
};

struct CallbackAttempt {
  int attempt = 0;
  std::int64_t atMs = 0;
  std::string outcome;  // "success", or what went wrong ("HTTP 500", "answered \"fail\"", ...)
};

// Builds the outbox entry of a paid order for its game (url and form); set by
// the server. Called inside the payment's transaction.
using CallbackMaker = std::function<std::optional<Callback>(const Order& order, const GameSettings& game)>;

enum class PayResult { Paid, UnknownOrder, NotYourOrder, AlreadyPaid, AmountMismatch, TooFewCoins, Failed };

enum class OrderResult { Created, Existing, Conflict, Failed };

class Store {
 public:
  // The version of the tables this code reads and writes.
  static constexpr int kSchemaVersion = 4;

  // Opens (creating when needed) the database at `path` and brings its tables
  // up to date. nullptr with `error` set when that is impossible, for example
  // a file written by a newer version. A file database and its journal are
  // made readable by their owner only.
  static std::unique_ptr<Store> open(const std::string& path, std::string* error);
  ~Store();
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;

  int schemaVersion();
  // The clock that stamps sessions, orders and payments (the wall clock unless
  // set). Set before serving; the clock outlives the store.
  void setClock(const ServerClock& clock) { clock_ = &clock; }

  // Accounts. addAccount gives nullopt with `nameTaken` set when the name, or a
  // look-alike of it, is used.
  std::optional<std::int64_t> addAccount(const std::string& name, const std::string& passwordHash, Cents balance,
                                         bool* nameTaken = nullptr);
  std::optional<Account> accountByName(const std::string& name);
  std::optional<Account> accountByUid(std::int64_t uid);
  // Adds `amount` coins; false for an unknown account.
  bool topUp(const std::string& name, Cents amount);
  // A channel login: keeps the hash of its signature and opens a session for the
  // account on `gameId` from `device` until `expiresAt` (seconds).
  bool recordLogin(std::int64_t uid, const std::string& signHash, const std::string& loginTime,
                   const std::string& gameId, const std::string& device, std::int64_t expiresAt);
  // The aggregation sign-in: keeps the hash of its token and extends the session.
  bool recordSignIn(std::int64_t uid, const std::string& tokenHash, std::int64_t at, const std::string& gameId,
                    const std::string& device, std::int64_t expiresAt);
  // Ends the account's login and closes its sessions on `gameId`: the login
  // signature and the token are no longer accepted. The number of sessions closed.
  int recordLogout(std::int64_t uid, const std::string& gameId, std::int64_t at);
  // The account, when it has a session on `gameId` open at `now` from `device`
  // (from any device when `device` is empty).
  std::optional<Account> accountInSession(std::int64_t uid, const std::string& gameId, const std::string& device,
                                          std::int64_t now);
  // Stores a real-name record unless the account already has one; returns the
  // account's state afterwards (0 when the account is unknown).
  int setRealName(std::int64_t uid, const std::string& realName, const std::string& maskedIdCard,
                  const std::string& birthDate, int state);

  // Adds the role or updates it; an empty field keeps what an earlier report
  // said (the two servers' reports carry different fields).
  bool upsertRole(const RoleRecord& role, const std::string& source, std::int64_t at);
  std::vector<RoleRecord> roles(std::int64_t uid);

  // Orders are unique per game and game order id: submitting the same pair again
  // by the same account and device with the same amount gives back the first order.
  std::optional<Order> createOrder(const Order& order, OrderResult* result);
  std::optional<Order> orderById(const std::string& orderId);
  std::optional<Order> orderByCpOrderId(const std::string& gameId, const std::string& cpOrderId);
  // What the account paid on `gameId` with `from` <= paid time < `to`.
  Cents paidBetween(std::int64_t uid, const std::string& gameId, std::int64_t from, std::int64_t to);
  std::vector<Order> orders();

  // Pays `orderId` for `uid` on `device` with coins, all or nothing; the order
  // must have been submitted by that account from that device. On Paid
  // `balanceAfter` holds the new balance.
  PayResult payWithCoins(const std::string& orderId, std::int64_t uid, const std::string& device, Cents amount,
                         Cents* balanceAfter);

  // WeChat payment tickets: one per payment page.
  bool addWeChatTicket(const std::string& ticket, const std::string& orderId, std::int64_t at);
  std::optional<std::string> orderOfWeChatTicket(const std::string& ticket);
  // Marks the ticket's order paid by WeChat; UnknownOrder for an unknown ticket.
  PayResult payByWeChat(const std::string& ticket, std::string* orderId);

  // The statutory-holiday calendar: dates as "YYYY-MM-DD" (China), with a name.
  bool addHoliday(const std::string& date, const std::string& name);
  bool removeHoliday(const std::string& date);
  bool isHoliday(const std::string& date);
  std::vector<std::pair<std::string, std::string>> holidays();

  // Game settings for payment callbacks.
  bool setGame(const GameSettings& game);
  std::optional<GameSettings> game(const std::string& gameId);
  // Set once by the server: a payment then puts its order's callback in the
  // outbox in the same transaction (nothing is queued while unset).
  void setCallbackMaker(CallbackMaker maker);

  // The outbox. Pending callbacks due at `nowMs`, oldest first.
  std::vector<Callback> dueCallbacks(std::int64_t nowMs, int limit);
  // When the next pending callback is due; nullopt when none is pending.
  std::optional<std::int64_t> nextCallbackAt();
  // Makes every pending callback due at `nowMs` (a restarted server retries at once).
  void rescheduleCallbacks(std::int64_t nowMs);
  // Records an attempt; a delivered callback is never sent again.
  bool recordCallbackAttempt(const std::string& orderId, std::int64_t atMs, const std::string& outcome, bool delivered,
                             std::int64_t nextAtMs);
  std::optional<Callback> callback(const std::string& orderId);
  std::vector<CallbackAttempt> callbackAttempts(const std::string& orderId);

 private:
  explicit Store(sqlite3* db) : db_(db), statements_(db) {}
  bool migrate(std::string* error);
  // Queues the callback of `orderId`, just paid (inside the payment's transaction).
  bool queueCallback(const std::string& orderId);

  std::mutex mutex_;
  sqlite3* db_;
  // Every statement is kept prepared between uses (under mutex_).
  StatementCache statements_;
  CallbackMaker callbackMaker_;
  const ServerClock* clock_ = &ServerClock::wall();
};

const char* payResultName(PayResult result);

// "6", "0.5", "12.34": a fen amount as yuan text.
std::string centsText(Cents cents);

}  // namespace tolba::sandbox

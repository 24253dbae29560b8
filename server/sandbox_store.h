#pragma once
// The sandbox's persistent state in one SQLite file: accounts with their coin
// balances, real-name records and sessions, roles, orders and WeChat payment
// tickets. Every statement is prepared with bound parameters. One connection,
// used under a lock; payments also run in an immediate transaction with
// conditional updates, so a second process (the command line) cannot break them.

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tolba::sandbox {

// Amounts and balances are kept in fen (hundredths of a yuan or of a coin).
using Cents = std::int64_t;

struct Account {
  std::int64_t uid = 0;
  std::string name;
  std::string passwordHash;
  Cents balance = 0;
  int realNameState = 0;  // 0 none, 1 adult, 2 minor
  std::string birthDate;  // YYYYMMDD when there is a real-name record
  std::string loginSign;  // empty when no channel login is current
  std::string loginTime;
  std::string token;
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

enum class PayResult { Paid, UnknownOrder, NotYourOrder, AlreadyPaid, AmountMismatch, TooFewCoins, Failed };

enum class OrderResult { Created, Existing, Conflict, Failed };

class Store {
 public:
  // The version of the tables this code reads and writes.
  static constexpr int kSchemaVersion = 1;

  // Opens (creating when needed) the database at `path` and brings its tables
  // up to date. nullptr with `error` set when that is impossible, for example
  // a file written by a newer version.
  static std::unique_ptr<Store> open(const std::string& path, std::string* error);
  ~Store();
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;

  int schemaVersion();

  // A server-wide secret, created on first use and kept across restarts.
  std::string secret(const std::string& name);

  // Accounts. addAccount gives nullopt with `nameTaken` set when the name is used.
  std::optional<std::int64_t> addAccount(const std::string& name, const std::string& passwordHash, Cents balance,
                                         bool* nameTaken = nullptr);
  std::optional<Account> accountByName(const std::string& name);
  std::optional<Account> accountByUid(std::int64_t uid);
  // Adds `amount` coins; false for an unknown account.
  bool topUp(const std::string& name, Cents amount);
  bool recordLogin(std::int64_t uid, const std::string& sign, const std::string& loginTime, const std::string& device);
  bool recordSignIn(std::int64_t uid, const std::string& token, std::int64_t at);
  // Ends the session: the login signature and the token are no longer accepted.
  bool recordLogout(std::int64_t uid, std::int64_t at);
  // Stores a real-name record unless the account already has one; returns the
  // account's state afterwards (0 when the account is unknown).
  int setRealName(std::int64_t uid, const std::string& realName, const std::string& maskedIdCard,
                  const std::string& birthDate, int state);

  // Adds the role or updates it; an empty field keeps what an earlier report
  // said (the two servers' reports carry different fields).
  bool upsertRole(const RoleRecord& role, const std::string& source, std::int64_t at);
  std::vector<RoleRecord> roles(std::int64_t uid);

  // Orders are unique per game and game order id: submitting the same pair again
  // by the same account with the same amount gives back the first order.
  std::optional<Order> createOrder(const Order& order, OrderResult* result);
  std::optional<Order> orderById(const std::string& orderId);
  std::vector<Order> orders();

  // Pays `orderId` for `uid` with coins, all or nothing. On Paid `balanceAfter`
  // holds the new balance.
  PayResult payWithCoins(const std::string& orderId, std::int64_t uid, Cents amount, Cents* balanceAfter);

  // WeChat payment tickets: one per payment page.
  bool addWeChatTicket(const std::string& ticket, const std::string& orderId, std::int64_t at);
  std::optional<std::string> orderOfWeChatTicket(const std::string& ticket);
  // Marks the ticket's order paid by WeChat; UnknownOrder for an unknown ticket.
  PayResult payByWeChat(const std::string& ticket, std::string* orderId);

 private:
  explicit Store(sqlite3* db) : db_(db) {}
  bool migrate(std::string* error);

  std::mutex mutex_;
  sqlite3* db_;
};

const char* payResultName(PayResult result);

// "6", "0.5", "12.34": a fen amount as yuan text.
std::string centsText(Cents cents);
// The fen of a positive amount written as text ("6", "0.01", "12.5"); nullopt
// for anything else, including amounts finer than a fen.
std::optional<Cents> parseAmountText(const std::string& text);
// The fen nearest to a positive number; nullopt when not positive or too large.
std::optional<Cents> amountOfNumber(double value);

}  // namespace tolba::sandbox

#include "sandbox_store.h"

#include "account_name.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "account_name.h"
#include "crypto.h"
#include "secret_file.h"

namespace tolba::sandbox {
namespace {

// A prepared statement with bound parameters, taken from the store's cache and
// given back (reset) on scope exit.
class Statement {
 public:
  Statement(StatementCache& cache, std::string_view sql) : cache_(cache) {
    stmt_ = cache_.take(sql, &key_);
    ok_ = stmt_ != nullptr;
  }
  ~Statement() { cache_.give(key_, stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& bind(int index, const std::string& text) {
    if (ok_)
      ok_ = sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT) == SQLITE_OK;
    return *this;
  }
  Statement& bind(int index, std::int64_t value) {
    if (ok_) ok_ = sqlite3_bind_int64(stmt_, index, value) == SQLITE_OK;
    return *this;
  }
  // SQLITE_ROW, SQLITE_DONE or an error code.
  int step() { return ok_ ? sqlite3_step(stmt_) : SQLITE_ERROR; }
  bool run() { return step() == SQLITE_DONE; }
  std::string text(int column) const {
    const auto* p = sqlite3_column_text(stmt_, column);
    return p ? std::string(reinterpret_cast<const char*>(p),
                           static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column)))
             : std::string();
  }
  std::int64_t integer(int column) const { return sqlite3_column_int64(stmt_, column); }
  sqlite3_stmt* raw() const { return stmt_; }

 private:
  StatementCache& cache_;
  std::string_view key_;
  sqlite3_stmt* stmt_ = nullptr;
  bool ok_ = false;
};

bool exec(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

// A database kept in a file (not ":memory:" or a URI).
bool isFile(const std::string& path) { return !path.empty() && path != ":memory:" && path.rfind("file:", 0) != 0; }

// Rolls back unless committed.
class Transaction {
 public:
  explicit Transaction(sqlite3* db) : db_(db) { began_ = exec(db_, "BEGIN IMMEDIATE"); }
  ~Transaction() {
    if (began_ && !done_) exec(db_, "ROLLBACK");
  }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  bool began() const { return began_; }
  bool commit() {
    done_ = exec(db_, "COMMIT");
    return done_;
  }

 private:
  sqlite3* db_;
  bool began_ = false;
  bool done_ = false;
};

constexpr const char* kMigrations[] = {
    // version 1
    "CREATE TABLE settings(key TEXT PRIMARY KEY, value TEXT NOT NULL);"
    "CREATE TABLE accounts("
    "  uid INTEGER PRIMARY KEY AUTOINCREMENT,"
    "  name TEXT NOT NULL UNIQUE,"
    "  password_hash TEXT NOT NULL,"
    "  balance_cents INTEGER NOT NULL DEFAULT 0 CHECK(balance_cents >= 0),"
    "  created_at INTEGER NOT NULL,"
    "  real_name TEXT, id_card TEXT, birth_date TEXT,"
    "  real_name_state INTEGER NOT NULL DEFAULT 0,"
    "  login_sign TEXT, login_time TEXT, login_device TEXT,"
    "  token TEXT, signed_in_at INTEGER, logged_out_at INTEGER);"
    "INSERT INTO sqlite_sequence(name, seq) VALUES('accounts', 100000);"
    "CREATE TABLE roles("
    "  uid INTEGER NOT NULL REFERENCES accounts(uid),"
    "  game_id TEXT NOT NULL, server_id TEXT NOT NULL, role_id TEXT NOT NULL,"
    "  role_name TEXT, role_level TEXT, server_name TEXT, vip_level TEXT, party_name TEXT,"
    "  source TEXT NOT NULL, updated_at INTEGER NOT NULL,"
    "  PRIMARY KEY(uid, game_id, server_id, role_id));"
    "CREATE TABLE orders("
    "  order_id TEXT PRIMARY KEY,"
    "  uid INTEGER NOT NULL REFERENCES accounts(uid),"
    "  game_id TEXT NOT NULL, cp_order_id TEXT NOT NULL,"
    "  amount_cents INTEGER NOT NULL CHECK(amount_cents > 0),"
    "  count TEXT, goods_name TEXT, role_id TEXT, server_id TEXT,"
    "  state TEXT NOT NULL DEFAULT 'unpaid' CHECK(state IN ('unpaid', 'paid')),"
    "  method TEXT, created_at INTEGER NOT NULL, paid_at INTEGER,"
    "  UNIQUE(game_id, cp_order_id));"
    "CREATE TABLE wechat_tickets("
    "  ticket TEXT PRIMARY KEY,"
    "  order_id TEXT NOT NULL REFERENCES orders(order_id),"
    "  created_at INTEGER NOT NULL);",
    // version 2: sessions bound to a device, orders bound to their device, hashed
    // credentials (those kept in the clear are dropped: their holders log in
    // again), and payment callbacks to the games' servers.
    "CREATE TABLE sessions("
    "  uid INTEGER NOT NULL REFERENCES accounts(uid),"
    "  game_id TEXT NOT NULL, device TEXT NOT NULL,"
    "  opened_at INTEGER NOT NULL, expires_at INTEGER NOT NULL,"
    "  PRIMARY KEY(uid, game_id, device));"
    "ALTER TABLE orders ADD COLUMN device TEXT NOT NULL DEFAULT '';"
    "UPDATE accounts SET login_sign = NULL, token = NULL;"
    "DELETE FROM settings WHERE key = 'login-signature';"
    "CREATE TABLE games("
    "  game_id TEXT PRIMARY KEY, notify_url TEXT NOT NULL, secret TEXT NOT NULL, updated_at INTEGER NOT NULL);"
    "CREATE TABLE callbacks("
    "  order_id TEXT PRIMARY KEY REFERENCES orders(order_id),"
    "  url TEXT NOT NULL, body TEXT NOT NULL,"
    "  state TEXT NOT NULL DEFAULT 'pending' CHECK(state IN ('pending', 'delivered')),"
    "  attempts INTEGER NOT NULL DEFAULT 0, next_at_ms INTEGER NOT NULL,"
    "  created_at INTEGER NOT NULL, delivered_at INTEGER);"
    "CREATE INDEX callbacks_due ON callbacks(state, next_at_ms);"
    "CREATE TABLE callback_attempts("
    "  order_id TEXT NOT NULL REFERENCES callbacks(order_id),"
    "  attempt INTEGER NOT NULL, at_ms INTEGER NOT NULL, outcome TEXT NOT NULL,"
    "  PRIMARY KEY(order_id, attempt));",
    // version 3: the statutory-holiday calendar of the minors' play-time rules.
    "CREATE TABLE holidays(date TEXT PRIMARY KEY, name TEXT NOT NULL DEFAULT '');"
    "CREATE INDEX orders_paid ON orders(uid, game_id, paid_at);",
    // version 4: look-alike account names share a skeleton (not unique: older
    // databases may hold look-alikes already; new ones are refused).
    "ALTER TABLE accounts ADD COLUMN skeleton TEXT;"
    "UPDATE accounts SET skeleton = account_name_skeleton(name);"
    "CREATE INDEX accounts_skeleton ON accounts(skeleton);",
};

void skeletonFunction(sqlite3_context* context, int, sqlite3_value** values) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(values[0]));
  const std::string skeleton = accountNameSkeleton(text ? text : "");
  sqlite3_result_text(context, skeleton.c_str(), static_cast<int>(skeleton.size()), SQLITE_TRANSIENT);
}

Order readOrder(const Statement& s) {
  Order o;
  o.orderId = s.text(0);
  o.uid = s.integer(1);
  o.gameId = s.text(2);
  o.cpOrderId = s.text(3);
  o.amount = s.integer(4);
  o.count = s.text(5);
  o.goodsName = s.text(6);
  o.roleId = s.text(7);
  o.serverId = s.text(8);
  o.state = s.text(9);
  o.method = s.text(10);
  o.createdAt = s.integer(11);
  o.paidAt = s.integer(12);
  o.device = s.text(13);
  return o;
}

constexpr char kOrderColumns[] =
    "SELECT order_id, uid, game_id, cp_order_id, amount_cents, count, goods_name, role_id, server_id, state, "
    "COALESCE(method, ''), created_at, COALESCE(paid_at, 0), device FROM orders ";

constexpr char kAccountColumns[] =
    "SELECT uid, name, password_hash, balance_cents, real_name_state, COALESCE(birth_date, ''), "
    "COALESCE(login_sign, ''), COALESCE(login_time, ''), COALESCE(token, '') FROM accounts ";

const std::string kAccountByName = std::string(kAccountColumns) + "WHERE name = ?";
const std::string kAccountByUid = std::string(kAccountColumns) + "WHERE uid = ?";

const std::string kAccountInSession =
    std::string(kAccountColumns) +
    "WHERE uid = ?1 AND EXISTS(SELECT 1 FROM sessions WHERE sessions.uid = ?1 AND game_id = ?2 "
    "AND (?3 = '' OR device = ?3) AND expires_at > ?4)";

std::optional<Account> readAccount(Statement& s) {
  if (s.step() != SQLITE_ROW) return std::nullopt;
  Account a;
  a.uid = s.integer(0);
  a.name = s.text(1);
  a.passwordHash = s.text(2);
  a.balance = s.integer(3);
  a.realNameState = static_cast<int>(s.integer(4));
  a.birthDate = s.text(5);
  a.loginSignHash = s.text(6);
  a.loginTime = s.text(7);
  a.tokenHash = s.text(8);
  return a;
}

}  // namespace

std::unique_ptr<Store> Store::open(const std::string& path, std::string* error) {
  // SQLite gives the journal and WAL files the mode of the database file, so an
  // owner-only database keeps them owner-only too.
  if (isFile(path)) {
    if (!makeOwnerOnly(path, true)) {
      if (error) *error = "cannot open database " + path + ": " + std::strerror(errno);
      return nullptr;
    }
    for (const char* suffix : {"-journal", "-wal", "-shm"}) makeOwnerOnly(path + suffix, false);
  }
  sqlite3* db = nullptr;
  const int rc =
      sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    if (error) *error = "cannot open database " + path + ": " + (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
    sqlite3_close(db);
    return nullptr;
  }
  sqlite3_busy_timeout(db, 5000);
  sqlite3_create_function(db, "account_name_skeleton", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                          &skeletonFunction, nullptr, nullptr);
  exec(db, "PRAGMA journal_mode=WAL");
  exec(db, "PRAGMA synchronous=NORMAL");
  exec(db, "PRAGMA foreign_keys=ON");
  std::unique_ptr<Store> store(new Store(db));
  if (!store->migrate(error)) return nullptr;
  return store;
}

Store::~Store() {
  statements_.clear();
  sqlite3_close(db_);
}

bool Store::migrate(std::string* error) {
  std::lock_guard lock(mutex_);
  if (!exec(db_, "CREATE TABLE IF NOT EXISTS schema_version(version INTEGER NOT NULL)")) {
    if (error) *error = std::string("cannot prepare the database: ") + sqlite3_errmsg(db_);
    return false;
  }
  Transaction tx(db_);
  if (!tx.began()) {
    if (error) *error = std::string("cannot lock the database: ") + sqlite3_errmsg(db_);
    return false;
  }
  int version = 0;
  {
    Statement s(statements_, "SELECT version FROM schema_version");
    if (s.step() == SQLITE_ROW) {
      version = static_cast<int>(s.integer(0));
    } else if (!Statement(statements_, "INSERT INTO schema_version(version) VALUES(0)").run()) {
      if (error) *error = std::string("cannot write the schema version: ") + sqlite3_errmsg(db_);
      return false;
    }
  }
  if (version > kSchemaVersion) {
    if (error) {
      *error = "the database has schema version " + std::to_string(version) + ", newer than this server's " +
               std::to_string(kSchemaVersion);
    }
    return false;
  }
  for (int v = version; v < kSchemaVersion; ++v) {
    if (!exec(db_, kMigrations[v])) {
      if (error)
        *error = "cannot upgrade the database to version " + std::to_string(v + 1) + ": " + sqlite3_errmsg(db_);
      return false;
    }
  }
  if (!Statement(statements_, "UPDATE schema_version SET version = ?").bind(1, std::int64_t{kSchemaVersion}).run() ||
      !tx.commit()) {
    if (error) *error = std::string("cannot store the schema version: ") + sqlite3_errmsg(db_);
    return false;
  }
  return true;
}

int Store::schemaVersion() {
  std::lock_guard lock(mutex_);
  Statement s(statements_, "SELECT version FROM schema_version");
  return s.step() == SQLITE_ROW ? static_cast<int>(s.integer(0)) : 0;
}

std::optional<std::int64_t> Store::addAccount(const std::string& name, const std::string& passwordHash, Cents balance,
                                              bool* nameTaken) {
  std::lock_guard lock(mutex_);
  if (nameTaken) *nameTaken = false;
  const std::string skeleton = accountNameSkeleton(name);
  {
    Statement lookAlike(statements_, "SELECT 1 FROM accounts WHERE skeleton = ?");
    lookAlike.bind(1, skeleton);
    if (lookAlike.step() == SQLITE_ROW) {
      if (nameTaken) *nameTaken = true;
      return std::nullopt;
    }
  }
  Statement s(statements_,
              "INSERT INTO accounts(name, password_hash, balance_cents, created_at, skeleton) VALUES(?, ?, ?, ?, ?)");
  s.bind(1, name).bind(2, passwordHash).bind(3, balance).bind(4, clock_->nowSeconds()).bind(5, skeleton);
  const int rc = s.step();
  if (rc == SQLITE_DONE) return sqlite3_last_insert_rowid(db_);
  if (nameTaken && sqlite3_extended_errcode(db_) == SQLITE_CONSTRAINT_UNIQUE) *nameTaken = true;
  return std::nullopt;
}

std::optional<Account> Store::accountByName(const std::string& name) {
  std::lock_guard lock(mutex_);
  Statement s(statements_, kAccountByName);
  s.bind(1, name);
  return readAccount(s);
}

std::optional<Account> Store::accountByUid(std::int64_t uid) {
  std::lock_guard lock(mutex_);
  Statement s(statements_, kAccountByUid);
  s.bind(1, uid);
  return readAccount(s);
}

bool Store::topUp(const std::string& name, Cents amount) {
  std::lock_guard lock(mutex_);
  Statement s(statements_, "UPDATE accounts SET balance_cents = balance_cents + ? WHERE name = ?");
  s.bind(1, amount).bind(2, name);
  return s.run() && sqlite3_changes(db_) == 1;
}

namespace {

bool openSession(StatementCache& statements, std::int64_t uid, const std::string& gameId, const std::string& device,
                 std::int64_t at, std::int64_t expiresAt) {
  return Statement(statements,
                   "INSERT INTO sessions(uid, game_id, device, opened_at, expires_at) VALUES(?, ?, ?, ?, ?) "
                   "ON CONFLICT(uid, game_id, device) DO UPDATE SET expires_at = excluded.expires_at")
      .bind(1, uid)
      .bind(2, gameId)
      .bind(3, device)
      .bind(4, at)
      .bind(5, expiresAt)
      .run();
}

}  // namespace

bool Store::recordLogin(std::int64_t uid, const std::string& signHash, const std::string& loginTime,
                        const std::string& gameId, const std::string& device, std::int64_t expiresAt) {
  std::lock_guard lock(mutex_);
  Transaction tx(db_);
  if (!tx.began()) return false;
  Statement s(statements_, "UPDATE accounts SET login_sign = ?, login_time = ?, login_device = ? WHERE uid = ?");
  s.bind(1, signHash).bind(2, loginTime).bind(3, device).bind(4, uid);
  if (!s.run() || sqlite3_changes(db_) != 1) return false;
  // Expired sessions of the account go when it logs in again.
  Statement(statements_, "DELETE FROM sessions WHERE uid = ? AND expires_at <= ?")
      .bind(1, uid)
      .bind(2, clock_->nowSeconds())
      .run();
  return openSession(statements_, uid, gameId, device, clock_->nowSeconds(), expiresAt) && tx.commit();
}

bool Store::recordSignIn(std::int64_t uid, const std::string& tokenHash, std::int64_t at, const std::string& gameId,
                         const std::string& device, std::int64_t expiresAt) {
  std::lock_guard lock(mutex_);
  Transaction tx(db_);
  if (!tx.began()) return false;
  Statement s(statements_, "UPDATE accounts SET token = ?, signed_in_at = ? WHERE uid = ?");
  s.bind(1, tokenHash).bind(2, at).bind(3, uid);
  if (!s.run() || sqlite3_changes(db_) != 1) return false;
  return openSession(statements_, uid, gameId, device, clock_->nowSeconds(), expiresAt) && tx.commit();
}

int Store::recordLogout(std::int64_t uid, const std::string& gameId, std::int64_t at) {
  std::lock_guard lock(mutex_);
  Transaction tx(db_);
  if (!tx.began()) return 0;
  Statement s(statements_, "DELETE FROM sessions WHERE uid = ? AND game_id = ?");
  s.bind(1, uid).bind(2, gameId);
  if (!s.run()) return 0;
  const int closed = sqlite3_changes(db_);
  Statement(statements_, "UPDATE accounts SET login_sign = NULL, token = NULL, logged_out_at = ? WHERE uid = ?")
      .bind(1, at)
      .bind(2, uid)
      .run();
  return tx.commit() ? closed : 0;
}

std::optional<Account> Store::accountInSession(std::int64_t uid, const std::string& gameId, const std::string& device,
                                               std::int64_t now) {
  std::lock_guard lock(mutex_);
  // One statement: the balance query, the busiest request, pays for one lookup.
  Statement s(statements_, kAccountInSession);
  s.bind(1, uid).bind(2, gameId).bind(3, device).bind(4, now);
  return readAccount(s);
}

int Store::setRealName(std::int64_t uid, const std::string& realName, const std::string& maskedIdCard,
                       const std::string& birthDate, int state) {
  std::lock_guard lock(mutex_);
  Statement(statements_,
            "UPDATE accounts SET real_name = ?, id_card = ?, birth_date = ?, real_name_state = ? "
            "WHERE uid = ? AND real_name_state = 0")
      .bind(1, realName)
      .bind(2, maskedIdCard)
      .bind(3, birthDate)
      .bind(4, std::int64_t{state})
      .bind(5, uid)
      .run();
  Statement s(statements_, "SELECT real_name_state FROM accounts WHERE uid = ?");
  s.bind(1, uid);
  return s.step() == SQLITE_ROW ? static_cast<int>(s.integer(0)) : 0;
}

bool Store::upsertRole(const RoleRecord& role, const std::string& source, std::int64_t at) {
  std::lock_guard lock(mutex_);
  Statement s(statements_,
              "INSERT INTO roles(uid, game_id, server_id, role_id, role_name, role_level, server_name, vip_level, "
              "party_name, source, updated_at) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) "
              "ON CONFLICT(uid, game_id, server_id, role_id) DO UPDATE SET "
              "role_name = COALESCE(NULLIF(excluded.role_name, ''), role_name), "
              "role_level = COALESCE(NULLIF(excluded.role_level, ''), role_level), "
              "server_name = COALESCE(NULLIF(excluded.server_name, ''), server_name), "
              "vip_level = COALESCE(NULLIF(excluded.vip_level, ''), vip_level), "
              "party_name = COALESCE(NULLIF(excluded.party_name, ''), party_name), source = excluded.source, "
              "updated_at = excluded.updated_at");
  s.bind(1, role.uid).bind(2, role.gameId).bind(3, role.serverId).bind(4, role.roleId).bind(5, role.roleName);
  s.bind(6, role.roleLevel).bind(7, role.serverName).bind(8, role.vipLevel).bind(9, role.partyName);
  s.bind(10, source).bind(11, at);
  return s.run();
}

std::vector<RoleRecord> Store::roles(std::int64_t uid) {
  std::lock_guard lock(mutex_);
  Statement s(statements_,
              "SELECT game_id, server_id, role_id, COALESCE(role_name, ''), COALESCE(role_level, ''), "
              "COALESCE(server_name, ''), COALESCE(vip_level, ''), COALESCE(party_name, '') FROM roles "
              "WHERE uid = ? ORDER BY game_id, server_id, role_id");
  s.bind(1, uid);
  std::vector<RoleRecord> out;
  while (s.step() == SQLITE_ROW) {
    RoleRecord r;
    r.uid = uid;
    r.gameId = s.text(0);
    r.serverId = s.text(1);
    r.roleId = s.text(2);
    r.roleName = s.text(3);
    r.roleLevel = s.text(4);
    r.serverName = s.text(5);
    r.vipLevel = s.text(6);
    r.partyName = s.text(7);
    out.push_back(std::move(r));
  }
  return out;
}

std::optional<Order> Store::createOrder(const Order& order, OrderResult* result) {
  std::lock_guard lock(mutex_);
  *result = OrderResult::Failed;
  Transaction tx(db_);
  if (!tx.began()) return std::nullopt;
  {
    Statement s(statements_, (std::string(kOrderColumns) + "WHERE game_id = ? AND cp_order_id = ?"));
    s.bind(1, order.gameId).bind(2, order.cpOrderId);
    if (s.step() == SQLITE_ROW) {
      Order existing = readOrder(s);
      if (existing.uid != order.uid || existing.device != order.device || existing.amount != order.amount) {
        *result = OrderResult::Conflict;
        return std::nullopt;
      }
      *result = OrderResult::Existing;
      return existing;
    }
  }
  Order created = order;
  created.state = "unpaid";
  created.createdAt = clock_->nowSeconds();
  // A short date-free number that cannot be guessed from the one before.
  for (int attempt = 0; attempt < 5; ++attempt) {
    created.orderId = "TB" + std::to_string(created.createdAt) + randomHex(5);
    Statement s(statements_,
                "INSERT INTO orders(order_id, uid, game_id, cp_order_id, amount_cents, count, goods_name, role_id, "
                "server_id, state, created_at, device) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, 'unpaid', ?, ?)");
    s.bind(1, created.orderId).bind(2, created.uid).bind(3, created.gameId).bind(4, created.cpOrderId);
    s.bind(5, created.amount).bind(6, created.count).bind(7, created.goodsName).bind(8, created.roleId);
    s.bind(9, created.serverId).bind(10, created.createdAt).bind(11, created.device);
    if (s.run()) {
      if (!tx.commit()) return std::nullopt;
      *result = OrderResult::Created;
      return created;
    }
    if (sqlite3_extended_errcode(db_) != SQLITE_CONSTRAINT_PRIMARYKEY) return std::nullopt;
  }
  return std::nullopt;
}

std::optional<Order> Store::orderById(const std::string& orderId) {
  std::lock_guard lock(mutex_);
  Statement s(statements_, (std::string(kOrderColumns) + "WHERE order_id = ?"));
  s.bind(1, orderId);
  if (s.step() != SQLITE_ROW) return std::nullopt;
  return readOrder(s);
}

std::optional<Order> Store::orderByCpOrderId(const std::string& gameId, const std::string& cpOrderId) {
  std::lock_guard lock(mutex_);
  Statement s(statements_, (std::string(kOrderColumns) + "WHERE game_id = ? AND cp_order_id = ?"));
  s.bind(1, gameId).bind(2, cpOrderId);
  if (s.step() != SQLITE_ROW) return std::nullopt;
  return readOrder(s);
}

Cents Store::paidBetween(std::int64_t uid, const std::string& gameId, std::int64_t from, std::int64_t to) {
  std::lock_guard lock(mutex_);
  Statement s(statements_,
              "SELECT COALESCE(SUM(amount_cents), 0) FROM orders WHERE uid = ? AND game_id = ? AND state = 'paid' "
              "AND paid_at >= ? AND paid_at < ?");
  s.bind(1, uid).bind(2, gameId).bind(3, from).bind(4, to);
  return s.step() == SQLITE_ROW ? s.integer(0) : 0;
}

bool Store::addHoliday(const std::string& date, const std::string& name) {
  std::lock_guard lock(mutex_);
  return Statement(statements_,
                   "INSERT INTO holidays(date, name) VALUES(?, ?) ON CONFLICT(date) DO UPDATE SET name = excluded.name")
      .bind(1, date)
      .bind(2, name)
      .run();
}

bool Store::removeHoliday(const std::string& date) {
  std::lock_guard lock(mutex_);
  Statement s(statements_, "DELETE FROM holidays WHERE date = ?");
  s.bind(1, date);
  return s.run() && sqlite3_changes(db_) == 1;
}

bool Store::isHoliday(const std::string& date) {
  std::lock_guard lock(mutex_);
  Statement s(statements_, "SELECT 1 FROM holidays WHERE date = ?");
  s.bind(1, date);
  return s.step() == SQLITE_ROW;
}

std::vector<std::pair<std::string, std::string>> Store::holidays() {
  std::lock_guard lock(mutex_);
  Statement s(statements_, "SELECT date, name FROM holidays ORDER BY date");
  std::vector<std::pair<std::string, std::string>> out;
  while (s.step() == SQLITE_ROW) out.emplace_back(s.text(0), s.text(1));
  return out;
}

std::vector<Order> Store::orders() {
  std::lock_guard lock(mutex_);
  Statement s(statements_, (std::string(kOrderColumns) + "ORDER BY created_at, order_id"));
  std::vector<Order> out;
  while (s.step() == SQLITE_ROW) out.push_back(readOrder(s));
  return out;
}

PayResult Store::payWithCoins(const std::string& orderId, std::int64_t uid, const std::string& device, Cents amount,
                              Cents* balanceAfter) {
  std::lock_guard lock(mutex_);
  Transaction tx(db_);
  if (!tx.began()) return PayResult::Failed;
  Order order;
  {
    Statement s(statements_, (std::string(kOrderColumns) + "WHERE order_id = ?"));
    s.bind(1, orderId);
    if (s.step() != SQLITE_ROW) return PayResult::UnknownOrder;
    order = readOrder(s);
  }
  if (order.uid != uid || order.device != device) return PayResult::NotYourOrder;
  if (order.state != "unpaid") return PayResult::AlreadyPaid;
  if (order.amount != amount) return PayResult::AmountMismatch;
  // Both updates are conditional, so a payment that races another process
  // changes nothing rather than paying twice or overdrawing.
  {
    Statement s(statements_,
                "UPDATE accounts SET balance_cents = balance_cents - ? WHERE uid = ? AND balance_cents >= ?");
    s.bind(1, amount).bind(2, uid).bind(3, amount);
    if (!s.run()) return PayResult::Failed;
    if (sqlite3_changes(db_) != 1) return PayResult::TooFewCoins;
  }
  {
    Statement s(
        statements_,
        "UPDATE orders SET state = 'paid', method = 'coin', paid_at = ? WHERE order_id = ? AND state = 'unpaid'");
    s.bind(1, clock_->nowSeconds()).bind(2, orderId);
    if (!s.run()) return PayResult::Failed;
    if (sqlite3_changes(db_) != 1) return PayResult::AlreadyPaid;
  }
  if (!queueCallback(orderId)) return PayResult::Failed;
  Statement s(statements_, "SELECT balance_cents FROM accounts WHERE uid = ?");
  s.bind(1, uid);
  if (s.step() != SQLITE_ROW) return PayResult::Failed;
  const Cents balance = s.integer(0);
  if (!tx.commit()) return PayResult::Failed;
  if (balanceAfter) *balanceAfter = balance;
  return PayResult::Paid;
}

bool Store::addWeChatTicket(const std::string& ticket, const std::string& orderId, std::int64_t at) {
  std::lock_guard lock(mutex_);
  return Statement(statements_, "INSERT INTO wechat_tickets(ticket, order_id, created_at) VALUES(?, ?, ?)")
      .bind(1, ticket)
      .bind(2, orderId)
      .bind(3, at)
      .run();
}

std::optional<std::string> Store::orderOfWeChatTicket(const std::string& ticket) {
  std::lock_guard lock(mutex_);
  Statement s(statements_, "SELECT order_id FROM wechat_tickets WHERE ticket = ?");
  s.bind(1, ticket);
  if (s.step() != SQLITE_ROW) return std::nullopt;
  return s.text(0);
}

PayResult Store::payByWeChat(const std::string& ticket, std::string* orderId) {
  std::lock_guard lock(mutex_);
  Transaction tx(db_);
  if (!tx.began()) return PayResult::Failed;
  std::string id;
  {
    Statement s(statements_, "SELECT order_id FROM wechat_tickets WHERE ticket = ?");
    s.bind(1, ticket);
    if (s.step() != SQLITE_ROW) return PayResult::UnknownOrder;
    id = s.text(0);
  }
  if (orderId) *orderId = id;
  Statement s(
      statements_,
      "UPDATE orders SET state = 'paid', method = 'wechat', paid_at = ? WHERE order_id = ? AND state = 'unpaid'");
  s.bind(1, clock_->nowSeconds()).bind(2, id);
  if (!s.run()) return PayResult::Failed;
  if (sqlite3_changes(db_) != 1) return PayResult::AlreadyPaid;
  if (!queueCallback(id)) return PayResult::Failed;
  return tx.commit() ? PayResult::Paid : PayResult::Failed;
}

bool Store::setGame(const GameSettings& game) {
  std::lock_guard lock(mutex_);
  return Statement(statements_,
                   "INSERT INTO games(game_id, notify_url, secret, updated_at) VALUES(?, ?, ?, ?) "
                   "ON CONFLICT(game_id) DO UPDATE SET notify_url = excluded.notify_url, secret = excluded.secret, "
                   "updated_at = excluded.updated_at")
      .bind(1, game.gameId)
      .bind(2, game.notifyUrl)
      .bind(3, game.secret)
      .bind(4, clock_->nowSeconds())
      .run();
}

std::optional<GameSettings> Store::game(const std::string& gameId) {
  std::lock_guard lock(mutex_);
  Statement s(statements_, "SELECT game_id, notify_url, secret FROM games WHERE game_id = ?");
  s.bind(1, gameId);
  if (s.step() != SQLITE_ROW) return std::nullopt;
  return GameSettings{s.text(0), s.text(1), s.text(2)};
}

void Store::setCallbackMaker(CallbackMaker maker) {
  std::lock_guard lock(mutex_);
  callbackMaker_ = std::move(maker);
}

bool Store::queueCallback(const std::string& orderId) {
  if (!callbackMaker_) return true;
  Order order;
  {
    Statement s(statements_, (std::string(kOrderColumns) + "WHERE order_id = ?"));
    s.bind(1, orderId);
    if (s.step() != SQLITE_ROW) return false;
    order = readOrder(s);
  }
  GameSettings game;
  {
    Statement s(statements_, "SELECT game_id, notify_url, secret FROM games WHERE game_id = ?");
    s.bind(1, order.gameId);
    if (s.step() != SQLITE_ROW) return true;  // the game has no callback address
    game = GameSettings{s.text(0), s.text(1), s.text(2)};
  }
  const auto callback = callbackMaker_(order, game);
  if (!callback) return true;
  return Statement(statements_,
                   "INSERT OR IGNORE INTO callbacks(order_id, url, body, state, attempts, next_at_ms, created_at) "
                   "VALUES(?, ?, ?, 'pending', 0, ?, ?)")
      .bind(1, orderId)
      .bind(2, callback->url)
      .bind(3, callback->body)
      .bind(4, callback->nextAtMs)
      .bind(5, clock_->nowSeconds())
      .run();
}

namespace {

constexpr char kCallbackColumns[] =
    "SELECT order_id, url, body, state, attempts, next_at_ms, COALESCE(delivered_at, 0) FROM callbacks ";

Callback readCallback(const Statement& s) {
  Callback c;
  c.orderId = s.text(0);
  c.url = s.text(1);
  c.body = s.text(2);
  c.state = s.text(3);
  c.attempts = static_cast<int>(s.integer(4));
  c.nextAtMs = s.integer(5);
  c.deliveredAt = s.integer(6);
  return c;
}

}  // namespace

std::vector<Callback> Store::dueCallbacks(std::int64_t nowMs, int limit) {
  std::lock_guard lock(mutex_);
  Statement s(statements_, std::string(kCallbackColumns) +
                               "WHERE state = 'pending' AND next_at_ms <= ? ORDER BY next_at_ms, order_id LIMIT ?");
  s.bind(1, nowMs).bind(2, std::int64_t{limit});
  std::vector<Callback> out;
  while (s.step() == SQLITE_ROW) out.push_back(readCallback(s));
  return out;
}

std::optional<std::int64_t> Store::nextCallbackAt() {
  std::lock_guard lock(mutex_);
  Statement s(statements_, "SELECT MIN(next_at_ms) FROM callbacks WHERE state = 'pending'");
  if (s.step() != SQLITE_ROW || sqlite3_column_type(s.raw(), 0) == SQLITE_NULL) return std::nullopt;
  return s.integer(0);
}

void Store::rescheduleCallbacks(std::int64_t nowMs) {
  std::lock_guard lock(mutex_);
  Statement(statements_, "UPDATE callbacks SET next_at_ms = ? WHERE state = 'pending' AND next_at_ms > ?")
      .bind(1, nowMs)
      .bind(2, nowMs)
      .run();
}

bool Store::recordCallbackAttempt(const std::string& orderId, std::int64_t atMs, const std::string& outcome,
                                  bool delivered, std::int64_t nextAtMs) {
  std::lock_guard lock(mutex_);
  Transaction tx(db_);
  if (!tx.began()) return false;
  Statement update(statements_,
                   "UPDATE callbacks SET attempts = attempts + 1, next_at_ms = ?, "
                   "state = CASE WHEN ? THEN 'delivered' ELSE state END, "
                   "delivered_at = CASE WHEN ? THEN ? ELSE delivered_at END "
                   "WHERE order_id = ? AND state = 'pending'");
  update.bind(1, nextAtMs).bind(2, std::int64_t{delivered}).bind(3, std::int64_t{delivered}).bind(4, atMs / 1000);
  update.bind(5, orderId);
  if (!update.run() || sqlite3_changes(db_) != 1) return false;
  Statement insert(statements_,
                   "INSERT INTO callback_attempts(order_id, attempt, at_ms, outcome) "
                   "SELECT order_id, attempts, ?, ? FROM callbacks WHERE order_id = ?");
  insert.bind(1, atMs).bind(2, outcome).bind(3, orderId);
  return insert.run() && tx.commit();
}

std::optional<Callback> Store::callback(const std::string& orderId) {
  std::lock_guard lock(mutex_);
  Statement s(statements_, (std::string(kCallbackColumns) + "WHERE order_id = ?"));
  s.bind(1, orderId);
  if (s.step() != SQLITE_ROW) return std::nullopt;
  return readCallback(s);
}

std::vector<CallbackAttempt> Store::callbackAttempts(const std::string& orderId) {
  std::lock_guard lock(mutex_);
  Statement s(statements_, "SELECT attempt, at_ms, outcome FROM callback_attempts WHERE order_id = ? ORDER BY attempt");
  s.bind(1, orderId);
  std::vector<CallbackAttempt> out;
  while (s.step() == SQLITE_ROW) out.push_back({static_cast<int>(s.integer(0)), s.integer(1), s.text(2)});
  return out;
}

const char* payResultName(PayResult result) {
  switch (result) {
    case PayResult::Paid: return "paid";
    case PayResult::UnknownOrder: return "unknown order";
    case PayResult::NotYourOrder: return "order of another account";
    case PayResult::AlreadyPaid: return "already paid";
    case PayResult::AmountMismatch: return "amount mismatch";
    case PayResult::TooFewCoins: return "too few coins";
    case PayResult::Failed: return "storage failure";
  }
  return "?";
}

std::string centsText(Cents cents) {
  std::string sign = cents < 0 ? "-" : "";
  const Cents v = cents < 0 ? -cents : cents;
  std::string out = sign + std::to_string(v / 100);
  const Cents frac = v % 100;
  if (frac != 0) {
    out += '.';
    out += static_cast<char>('0' + frac / 10);
    if (frac % 10 != 0) out += static_cast<char>('0' + frac % 10);
  }
  return out;
}

}  // namespace tolba::sandbox

#pragma once
// SQLite statements kept prepared on one connection, so that a busy query is
// parsed once rather than on every request. Not thread-safe: its owner uses it
// under the same lock as the connection.

#include <sqlite3.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tolba::sandbox {

class StatementCache {
 public:
  explicit StatementCache(sqlite3* db) : db_(db) {}
  ~StatementCache() { clear(); }
  StatementCache(const StatementCache&) = delete;
  StatementCache& operator=(const StatementCache&) = delete;

  // The statement for `sql`, ready to bind, and the cache's own copy of the
  // text (`key`, valid as long as the cache) to hand back with it. A statement
  // already taken and not yet given back is prepared anew, so nested uses of
  // the same text are safe. nullptr when the text does not prepare.
  sqlite3_stmt* take(std::string_view sql, std::string_view* key);
  // Takes back a statement from take(): reset, bindings cleared, kept for the
  // next take() of the same text (or finalised when one is kept already).
  void give(std::string_view key, sqlite3_stmt* stmt);
  // Finalises every kept statement (before the connection closes).
  void clear();

  sqlite3* db() const { return db_; }

 private:
  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
  };

  sqlite3* db_;
  // nullptr while the statement is taken.
  std::unordered_map<std::string, sqlite3_stmt*, Hash, std::equal_to<>> kept_;
};

}  // namespace tolba::sandbox

#include "statement_cache.h"

namespace tolba::sandbox {

sqlite3_stmt* StatementCache::take(std::string_view sql, std::string_view* key) {
  auto it = kept_.find(sql);
  if (it == kept_.end()) it = kept_.emplace(std::string(sql), nullptr).first;
  *key = it->first;
  if (sqlite3_stmt* stmt = it->second) {
    it->second = nullptr;
    return stmt;
  }
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v3(db_, it->first.data(), static_cast<int>(it->first.size()), SQLITE_PREPARE_PERSISTENT, &stmt,
                         nullptr) != SQLITE_OK) {
    sqlite3_finalize(stmt);
    return nullptr;
  }
  return stmt;
}

void StatementCache::give(std::string_view key, sqlite3_stmt* stmt) {
  if (stmt == nullptr) return;
  // Ends the statement's reading, so that it holds no lock between uses.
  sqlite3_reset(stmt);
  sqlite3_clear_bindings(stmt);
  const auto it = kept_.find(key);
  if (it != kept_.end() && it->second == nullptr) {
    it->second = stmt;
  } else {
    sqlite3_finalize(stmt);
  }
}

void StatementCache::clear() {
  for (auto& [sql, stmt] : kept_) {
    sqlite3_finalize(stmt);
    stmt = nullptr;
  }
  kept_.clear();
}

}  // namespace tolba::sandbox

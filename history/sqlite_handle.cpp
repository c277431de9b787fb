#include "history/sqlite_handle.h"

namespace kelvoran::sqlite {

Statement::Statement(sqlite3* db, std::string_view sql)
    : prepared_(
          sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &statement_, nullptr)) {}

Statement& Statement::Bind(int index, std::int64_t value) {
  sqlite3_bind_int64(statement_, index, value);
  return *this;
}

Statement& Statement::Bind(int index, std::string_view text) {
  // Host names are 8-bit text of any kind: stored byte for byte, never checked
  // as UTF-8.
  sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()),
                    SQLITE_TRANSIENT);
  return *this;
}

Statement& Statement::Bind(int index, std::optional<std::int64_t> value) {
  if (value) return Bind(index, *value);
  sqlite3_bind_null(statement_, index);
  return *this;
}

Statement& Statement::BindBlob(int index, std::string_view bytes) {
  sqlite3_bind_blob(statement_, index, bytes.data(), static_cast<int>(bytes.size()),
                    SQLITE_TRANSIENT);
  return *this;
}

int Statement::Step() {
  if (prepared_ != SQLITE_OK) return prepared_;
  const int stepped = sqlite3_step(statement_);
  if (stepped != SQLITE_ROW) sqlite3_reset(statement_);
  return stepped;
}

int Statement::Run() {
  int stepped = Step();
  while (stepped == SQLITE_ROW) stepped = Step();
  return stepped == SQLITE_DONE ? SQLITE_OK : stepped;
}

std::string Statement::Text(int column) const {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
  return text
             ? std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(statement_, column)))
             : std::string();
}

std::string_view Statement::Blob(int column) const {
  const void* bytes = sqlite3_column_blob(statement_, column);
  return bytes
             ? std::string_view(static_cast<const char*>(bytes),
                                static_cast<std::size_t>(sqlite3_column_bytes(statement_, column)))
             : std::string_view();
}

int Execute(sqlite3* db, const char* sql) {
  return sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

}  // namespace kelvoran::sqlite

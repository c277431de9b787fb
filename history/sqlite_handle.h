#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace kelvoran::sqlite {

struct ConnectionCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Connection = std::unique_ptr<sqlite3, ConnectionCloser>;

// The primary result code of an SQLite call, the extended bits dropped.
inline int Primary(int code) { return code & 0xFF; }

// A prepared statement, reset after every run so that the connection holds
// no read transaction open between uses.
class Statement {
 public:
  Statement(sqlite3* db, std::string_view sql);
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  ~Statement() { sqlite3_finalize(statement_); }

  // The result of preparing: SQLITE_OK or why it failed.
  int Prepared() const { return prepared_; }
  Statement& Bind(int index, std::int64_t value);
  Statement& Bind(int index, std::string_view text);
  // NULL when empty.
  Statement& Bind(int index, std::optional<std::int64_t> value);
  Statement& BindBlob(int index, std::string_view bytes);
  // SQLITE_ROW while there are rows, then SQLITE_DONE or an error code; a
  // failed preparation is returned as it was.
  int Step();
  // Runs a statement that returns no rows: SQLITE_OK, or the error.
  int Run();
  void Reset() { sqlite3_reset(statement_); }

  std::int64_t Integer(int column) const { return sqlite3_column_int64(statement_, column); }
  std::string Text(int column) const;
  // Valid until the next step or reset.
  std::string_view Blob(int column) const;
  bool IsNull(int column) const { return sqlite3_column_type(statement_, column) == SQLITE_NULL; }

 private:
  sqlite3_stmt* statement_ = nullptr;
  int prepared_;
};

// Runs statements that bind nothing and return no rows; SQLITE_OK or the
// first error.
int Execute(sqlite3* db, const char* sql);

}  // namespace kelvoran::sqlite

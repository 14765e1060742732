#pragma once
// Test helpers for the record manager's PostgreSQL engine. The tests find a server
// through ZUR_TEST_PG, a libpq connection string of a role that may create
// databases (scripts/pg-test-server.sh starts a throwaway one); without it the
// PostgreSQL instances of the suites are skipped.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

namespace testing_support {

// The record manager's engines, for suites parameterised over both.
enum class RecordEngine { kSqlite, kPostgres };

// "Sqlite" or "Postgres": the suffix of the parameterised test names.
std::string RecordEngineName(const ::testing::TestParamInfo<RecordEngine>& info);

// ZUR_TEST_PG's value; "" when no server is available to the tests.
std::string TestPostgres();

// The reason given when a PostgreSQL instance is skipped.
inline constexpr const char* kNoTestPostgres =
    "no PostgreSQL server for the tests: set ZUR_TEST_PG to a connection string "
    "(scripts/pg-test-server.sh start DIR prints one)";

// The connection string with one parameter ("dbname", "user", ...) set to value; ""
// when conninfo is no connection string.
std::string WithParameter(const std::string& conninfo, const std::string& keyword,
                          const std::string& value);
inline std::string WithDatabase(const std::string& conninfo, const std::string& database) {
  return WithParameter(conninfo, "dbname", database);
}

// Runs SQL statements on the server; returns the rows of the last one (columns joined
// with "|"), or nullopt with the server's message in *error.
std::optional<std::vector<std::string>> PgQuery(const std::string& conninfo, const std::string& sql,
                                                std::string* error = nullptr);

// A database of its own for one test on the ZUR_TEST_PG server, dropped at the end
// (with the connections still open on it).
class TestDatabase {
 public:
  TestDatabase();
  ~TestDatabase();
  TestDatabase(const TestDatabase&) = delete;
  TestDatabase& operator=(const TestDatabase&) = delete;

  // Whether the database was made; else Error() says why.
  bool Ready() const { return !conninfo_.empty(); }
  const std::string& Error() const { return error_; }
  // Its connection string (a ZURDB value); "" when not Ready().
  const std::string& conninfo() const { return conninfo_; }
  const std::string& name() const { return name_; }

 private:
  std::string name_;
  std::string conninfo_;
  std::string error_;
};

// Puts the record manager on one engine for the duration of a test: for PostgreSQL a
// fresh database, named through ZURDB (so that child processes inherit it), with
// ZURROOT unset so that every file is known by its full path.
class EngineScope {
 public:
  explicit EngineScope(RecordEngine engine);
  ~EngineScope();
  EngineScope(const EngineScope&) = delete;
  EngineScope& operator=(const EngineScope&) = delete;

  // "" when the engine is ready; else why it is not (the test then skips or fails).
  std::string Problem() const;
  // The database's connection string; "" for SQLite.
  std::string conninfo() const;

 private:
  RecordEngine engine_;
  std::unique_ptr<TestDatabase> database_;
  std::unique_ptr<ScopedEnv> zurdb_;
  std::unique_ptr<ScopedEnv> zurroot_;
};

}  // namespace testing_support

// In a fixture's SetUp: skips when the engine is PostgreSQL and no server is set,
// fails when the server is set but the test's database cannot be made.
#define ZUR_USE_RECORD_ENGINE(scope, engine)                            \
  do {                                                                  \
    if ((engine) == ::testing_support::RecordEngine::kPostgres &&       \
        ::testing_support::TestPostgres().empty()) {                    \
      GTEST_SKIP() << ::testing_support::kNoTestPostgres;               \
    }                                                                   \
    (scope) = std::make_unique<::testing_support::EngineScope>(engine); \
    ASSERT_EQ((scope)->Problem(), "");                                  \
  } while (0)

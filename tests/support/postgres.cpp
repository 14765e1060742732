#include "tests/support/postgres.h"

#include <libpq-fe.h>
#include <unistd.h>

#include <atomic>
#include <chrono>

#include "platform/env.h"
#include "platform/record_manager.h"

namespace testing_support {
namespace {

std::string QuoteValue(const std::string& v) {
  std::string out = "'";
  for (char c : v) {
    if (c == '\'' || c == '\\') out += '\\';
    out += c;
  }
  return out + "'";
}

}  // namespace

std::string RecordEngineName(const ::testing::TestParamInfo<RecordEngine>& info) {
  return info.param == RecordEngine::kSqlite ? "Sqlite" : "Postgres";
}

std::string TestPostgres() {
  return platform::GetEnv("ZUR_TEST_PG");
}

std::string WithParameter(const std::string& conninfo, const std::string& keyword,
                          const std::string& value) {
  char* error = nullptr;
  PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), &error);
  if (options == nullptr) {
    PQfreemem(error);
    return "";
  }
  std::string out;
  for (PQconninfoOption* o = options; o->keyword != nullptr; ++o) {
    if (keyword == o->keyword || o->val == nullptr) continue;
    out += std::string(o->keyword) + "=" + QuoteValue(o->val) + " ";
  }
  PQconninfoFree(options);
  return out + keyword + "=" + QuoteValue(value);
}

std::optional<std::vector<std::string>> PgQuery(const std::string& conninfo, const std::string& sql,
                                                std::string* error) {
  const char* keys[] = {"connect_timeout", "dbname", nullptr};
  const char* values[] = {"10", conninfo.c_str(), nullptr};
  PGconn* conn = PQconnectdbParams(keys, values, 1);
  std::optional<std::vector<std::string>> rows;
  if (PQstatus(conn) == CONNECTION_OK) {
    PGresult* r = PQexec(conn, sql.c_str());
    const ExecStatusType t = PQresultStatus(r);
    if (t == PGRES_COMMAND_OK || t == PGRES_TUPLES_OK) {
      rows.emplace();
      for (int i = 0; i < PQntuples(r); ++i) {
        std::string row;
        for (int j = 0; j < PQnfields(r); ++j) {
          if (j > 0) row += "|";
          row += PQgetvalue(r, i, j);
        }
        rows->push_back(row);
      }
    } else if (error != nullptr) {
      *error = PQresultErrorMessage(r);
    }
    PQclear(r);
  } else if (error != nullptr) {
    *error = PQerrorMessage(conn);
  }
  PQfinish(conn);
  return rows;
}

TestDatabase::TestDatabase() {
  const std::string server = TestPostgres();
  if (server.empty()) {
    error_ = kNoTestPostgres;
    return;
  }
  static std::atomic<int> serial{0};
  const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
  name_ = "zur_t_" + std::to_string(::getpid()) + "_" + std::to_string(++serial) + "_" +
          std::to_string(now % 1000000007);
  if (!PgQuery(server, "CREATE DATABASE " + name_, &error_)) return;
  conninfo_ = WithDatabase(server, name_);
  if (conninfo_.empty()) error_ = "ZUR_TEST_PG is not a connection string";
}

TestDatabase::~TestDatabase() {
  if (name_.empty() || !error_.empty()) return;
  PgQuery(TestPostgres(), "DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)");
}

EngineScope::EngineScope(RecordEngine engine) : engine_(engine) {
  platform::SetRecordManagerDatabase(nullptr);
  platform::SetRecordManagerRoot(nullptr);
  if (engine_ == RecordEngine::kPostgres) {
    database_ = std::make_unique<TestDatabase>();
    if (!database_->Ready()) return;
    zurdb_ = std::make_unique<ScopedEnv>("ZURDB", database_->conninfo());
    zurroot_ = std::make_unique<ScopedEnv>("ZURROOT", std::nullopt);
  } else {
    zurdb_ = std::make_unique<ScopedEnv>("ZURDB", std::nullopt);
  }
}

EngineScope::~EngineScope() {
  // Every file closed and the connection let go before the database goes.
  platform::BTRCALL(platform::kOpReset, nullptr, nullptr, nullptr, nullptr, 0, 0);
  zurroot_.reset();
  zurdb_.reset();
  database_.reset();
}

std::string EngineScope::Problem() const {
  if (engine_ == RecordEngine::kSqlite) return "";
  return database_ && database_->Ready() ? "" : (database_ ? database_->Error() : "no database");
}

std::string EngineScope::conninfo() const {
  return database_ && database_->Ready() ? database_->conninfo() : "";
}

}  // namespace testing_support

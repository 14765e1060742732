// zurdata with the record files in a PostgreSQL database (ZURDB): the commands work
// there as on SQLite files, and copy moves a whole installation from SQLite files to
// the database and back, all or nothing. Runs when ZUR_TEST_PG names a server.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/record_manager.h"
#include "tests/support/postgres.h"
#include "tests/support/temp_dir.h"

namespace {

using testing_support::ReadFile;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::TestDatabase;
using testing_support::WriteFile;

constexpr const char* kKinds[] = {"texts", "properties", "owners", "receipts"};

class ZurdataDatabase : public ::testing::Test {
 protected:
  struct Result {
    int code;
    std::string out, err;
  };
  void SetUp() override {
    if (testing_support::TestPostgres().empty()) GTEST_SKIP() << testing_support::kNoTestPostgres;
    db = std::make_unique<TestDatabase>();
    ASSERT_TRUE(db->Ready()) << db->Error();
  }
  // Runs zurdata on a root, with ZURDB set to `zurdb` (nullopt: unset).
  Result Run(const TempDir& root, const std::string& args,
             const std::optional<std::string>& zurdb = std::nullopt) {
    ScopedEnv env("ZURDB", zurdb);
    ScopedEnv noRoot("ZURROOT", std::nullopt);
    const std::string cmd = std::string(ZURDATA_PATH) + " --root '" + root.path() + "' " + args +
                            " >'" + out / "out.txt" + "' 2>'" + out / "err.txt" + "'";
    const int status = std::system(cmd.c_str());
    return Result{WIFEXITED(status) ? WEXITSTATUS(status) : -1, *ReadFile(out / "out.txt"),
                  *ReadFile(out / "err.txt")};
  }
  // Every kind exported as CSV, one after the other.
  std::string ExportAll(const TempDir& root, const std::optional<std::string>& zurdb) {
    std::string all;
    for (const char* kind : kKinds) {
      Result r = Run(root, std::string("export ") + kind, zurdb);
      EXPECT_EQ(r.code, 0) << kind << ": " << r.err;
      all += r.out;
    }
    return all;
  }
  // An installation on SQLite files with some records of every kind; owners with the
  // same name (key 1 allows duplicates) stored out of key 0 order.
  void Fill(const TempDir& root) {
    ASSERT_EQ(Run(root, "init").code, 0);
    WriteFile(out / "texts.csv", "code,description,group\nA,Primer,G\nB,Segon,G\n");
    WriteFile(out / "properties.csv",
              "property,address1,address2,address3\n1,Carrer Major 1,,Vielha\n2,Pl. Nova,,\n");
    WriteFile(out / "owners.csv",
              "property,owner,name,unit,mail1,mail2,mail3\n1,3,Puig,1r,,,\n1,1,Puig,2n,,,\n"
              "2,2,Bosch,,,,\n1,2,Puig,3r,,,\n");
    std::string receipts = "property,owner,date,amount,state\n";
    for (int i = 0; i < 300; ++i) {
      receipts += std::to_string(1 + i % 2) + "," + std::to_string(1 + i % 3) + ",2024-" +
                  (i % 12 < 9 ? "0" : "") + std::to_string(i % 12 + 1) + "-01," +
                  std::to_string(i) + ".50,P\n";
    }
    WriteFile(out / "receipts.csv", receipts);
    for (const char* kind : kKinds) {
      ASSERT_EQ(Run(root, std::string("import ") + kind + " '" + out / kind + ".csv'").code, 0)
          << kind;
    }
  }

  // The owners file of a root's SQLite files, walked by name: each record's bytes.
  static std::vector<std::string> WalkOwnersByName(const TempDir& root) {
    using namespace platform;
    ScopedEnv env("ZURDB", std::nullopt);
    std::array<uint8_t, kPositionBlockSize> block{};
    std::array<uint8_t, 256> key{};
    std::array<uint8_t, 1536> data{};
    const std::string path = root / "DADES/PropietH.dat";
    std::memcpy(key.data(), path.data(), path.size());
    std::vector<std::string> walk;
    if (BTRCALL(kOpOpen, block.data(), nullptr, nullptr, key.data(),
                static_cast<uint8_t>(path.size()), kOpenReadOnly) != 0) {
      return walk;
    }
    uint16_t op = kOpGetFirst;
    for (;;) {
      uint32_t length = data.size();
      if (BTRCALL(op, block.data(), data.data(), &length, key.data(), 255, 1) != 0) break;
      walk.emplace_back(reinterpret_cast<char*>(data.data()), length);
      op = kOpGetNext;
    }
    BTRCALL(kOpClose, block.data(), nullptr, nullptr, nullptr, 0, 0);
    return walk;
  }

  std::unique_ptr<TestDatabase> db;
  TempDir out;  // the CSV files and the output of each run
};

TEST_F(ZurdataDatabase, TheCommandsWorkOnTheDatabaseAsOnFiles) {
  TempDir root;
  Result r = Run(root, "init", db->conninfo());
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("CobramH.dat: created"), std::string::npos);
  // The creation blocks are files of the installation; the records are not.
  EXPECT_TRUE(ReadFile(root / "ddf/CobramH.xdf").has_value());
  EXPECT_FALSE(ReadFile(root / "DADES/CobramH.dat").has_value());
  WriteFile(out / "o.csv", "property,owner,name,unit,mail1,mail2,mail3\n1,1,A,,,,\n1,2,B,,,,\n");
  ASSERT_EQ(Run(root, "import owners '" + out / "o.csv" + "'", db->conninfo()).code, 0);
  r = Run(root, "stat owners", db->conninfo());
  EXPECT_NE(r.out.find("records: 2"), std::string::npos) << r.out << r.err;
  // A second installation folder on the same database sees the same files: their
  // names are relative to the root.
  TempDir elsewhere;
  r = Run(elsewhere, "export owners", db->conninfo());
  EXPECT_EQ(r.out, "property,owner,name,unit,mail1,mail2,mail3\n1,1,A,,,,\n1,2,B,,,,\n") << r.err;
  r = Run(root, "init", db->conninfo());
  EXPECT_NE(r.out.find("PropietH.dat: exists, left as it is"), std::string::npos);
}

TEST_F(ZurdataDatabase, CopyMovesAnInstallationToTheDatabaseAndBack) {
  TempDir files;
  Fill(files);
  const std::string original = ExportAll(files, std::nullopt);
  Result r = Run(files, "copy all --to '" + db->conninfo() + "'");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("CobramH.dat: 300 records copied to the PostgreSQL database"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(ExportAll(files, db->conninfo()), original);

  // ZURDB is the default for the side not given; "sqlite" names the files.
  TempDir back;
  r = Run(back, "copy all --to sqlite", db->conninfo());
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(ReadFile(back / "DADES/CobramH.dat").has_value());
  EXPECT_EQ(ExportAll(back, std::nullopt), original);

  // Owners of one name keep the order they were stored in (key 1 allows duplicates).
  EXPECT_EQ(WalkOwnersByName(back), WalkOwnersByName(files));
  EXPECT_EQ(WalkOwnersByName(back).size(), 4u);
}

TEST_F(ZurdataDatabase, CopyIsAllOrNothingAndReplacesOnlyWhenAsked) {
  TempDir files;
  Fill(files);
  ASSERT_EQ(Run(files, "copy all --to '" + db->conninfo() + "'").code, 0);
  const std::string before = ExportAll(files, db->conninfo());

  // Files that hold records are not overwritten unless asked to.
  WriteFile(out / "more.csv", "property,owner,date,amount,state\n9,9,2025-01-01,1.00,P\n");
  ASSERT_EQ(Run(files, "import receipts '" + out / "more.csv" + "'").code, 0);
  Result r = Run(files, "copy receipts --to '" + db->conninfo() + "'");
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("holds 300 records; --replace empties it first"), std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("nothing copied"), std::string::npos);
  EXPECT_EQ(ExportAll(files, db->conninfo()), before);
  r = Run(files, "copy receipts --replace --to '" + db->conninfo() + "'");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(Run(files, "stat receipts", db->conninfo()).out.find("records: 301"),
            std::string::npos);

  // A source file missing: nothing is written, not even the files before it.
  TempDir partial;
  ASSERT_EQ(Run(partial, "init").code, 0);
  ASSERT_EQ(std::remove((partial / "DADES/CobramH.dat").c_str()), 0);
  TestDatabase fresh;
  ASSERT_TRUE(fresh.Ready()) << fresh.Error();
  r = Run(partial, "copy all --to '" + fresh.conninfo() + "'");
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("CobramH.dat in the SQLite files: file not found"), std::string::npos)
      << r.err;
  EXPECT_EQ(Run(partial, "stat texts", fresh.conninfo()).code, 1);

  // The same place on both sides, and a server that cannot be reached.
  EXPECT_EQ(Run(files, "copy all --from sqlite --to files").code, 1);
  EXPECT_EQ(Run(files, "copy all").code, 1);
  r = Run(files, "copy texts --to 'host=127.0.0.1 port=1 dbname=zur connect_timeout=5'");
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("server"), std::string::npos) << r.err;
}

}  // namespace

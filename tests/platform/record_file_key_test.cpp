// The names record files have in a database: the path resolved, relative to the
// installation's root when inside it, lower-cased, "/" between components; and the
// schema each name maps to.

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform/record_store.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace platform;

TEST(RecordFileKey, NamesAreRelativeToTheRootLowerCasedWithSlashes) {
  testing_support::TempDir dir;
  testing_support::WriteFile(dir / "DADES/CobramH.dat", "");
  const std::string root = dir.path();
  struct Case {
    std::string name;
    std::string root;
    std::string key;
  } cases[] = {
      {root + "DADES\\CobramH.dat", root, "dades/cobramh.dat"},
      {root + "dades/cobramh.dat", root, "dades/cobramh.dat"},
      {root + "DADES/./x/../CobramH.dat", root, "dades/cobramh.dat"},
      {"C:" + root + "DADES\\CobramH.dat", root, "dades/cobramh.dat"},
      // The root written without its final separator or in another case.
      {root + "DADES/CobramH.dat", root.substr(0, root.size() - 1), "dades/cobramh.dat"},
      // Outside the root, or no root: the full path.
      {"/elsewhere/Data/F.DAT", root, "/elsewhere/data/f.dat"},
      {"/elsewhere/Data/F.DAT", "", "/elsewhere/data/f.dat"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name + " under " + c.root);
    EXPECT_EQ(RecordFileKey(c.name, c.root), c.key);
  }
  // A relative name is taken from the current folder.
  testing_support::ScopedCurrentDir here(dir / "DADES");
  EXPECT_EQ(RecordFileKey("COBRAMH.DAT", root), "dades/cobramh.dat");
}

TEST(RecordFileKey, EverySchemaNameIsAPlainIdentifierOfItsOwn) {
  const std::string keys[] = {"dades/cobramh.dat",
                              "dades/cobramh.dat ",
                              "/tmp/\"; DROP SCHEMA public; --.dat",
                              std::string(300, 'x') + "/a.dat",
                              std::string(300, 'x') + "/b.dat",
                              "dades/\xe9\x82.dat",
                              ""};
  std::set<std::string> seen;
  for (const std::string& key : keys) {
    const std::string schema = RecordFileSchema(key);
    SCOPED_TRACE(schema);
    EXPECT_LE(schema.size(), 63u);  // PostgreSQL's longest identifier
    EXPECT_EQ(schema.rfind("zr_", 0), 0u);
    for (char ch : schema) {
      EXPECT_TRUE((ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') || ch == '_');
    }
    EXPECT_TRUE(seen.insert(schema).second);
  }
}

}  // namespace

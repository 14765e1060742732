#pragma once
// The commands of zurdata. Each returns the process exit code (0 success, 1 failure);
// normal output goes to `out`, errors to `err`. `root` is the installation's root
// folder (ZURROOT), used as a prefix; "" is the current folder. Every write goes
// through the record manager.

#include <ostream>
#include <string>
#include <vector>

#include "tools/zurdata/record_rows.h"

namespace zurdata {

// Writes the four creation blocks to root + ddf\ and creates every missing data file
// root + DADES\<name>.dat from them; existing data files are left alone.
int Init(const std::string& root, std::ostream& out, std::ostream& err);

// Imports a CSV file into the kind's record file, all or nothing: one transaction;
// the first bad line stops it with "FILE:LINE: reason" and nothing is stored. With
// replace, the file is emptied first in the same transaction. progress: show a line
// count on err while it runs.
int Import(const std::string& root, Kind kind, const std::string& csvPath, bool replace,
           bool progress, std::ostream& out, std::ostream& err);

// Writes the kind's records in key order as CSV to csvPath (replaced whole, or left
// untouched on failure), or to `out` when csvPath is empty.
int Export(const std::string& root, Kind kind, const std::string& csvPath, std::ostream& out,
           std::ostream& err);

// Prints the record file's record length, page size, record count and keys.
int Stat(const std::string& root, Kind kind, std::ostream& out, std::ostream& err);

// Where record files live for Copy: SQLite files under the root ("sqlite", also
// "files") or a PostgreSQL database (a libpq connection string).
struct Store {
  std::string connection;  // "" for SQLite files
  std::string Describe() const;
};
// "sqlite"/"files" -> SQLite files; anything else non-empty is a connection string.
bool ParseStore(const std::string& text, Store& store);

// Copies the kinds' record files from one store to the other, records in the order
// they were stored (so duplicates keep their order), all in one transaction: all of
// it or nothing. A missing target file is created with the source's description;
// one that holds records is refused unless replace (then emptied first, in the same
// transaction). The source is only read.
int Copy(const std::string& root, const std::vector<Kind>& kinds, const Store& from,
         const Store& to, bool replace, std::ostream& out, std::ostream& err);

// The root as a path prefix: a separator appended when missing.
std::string RootPrefix(const std::string& root);

}  // namespace zurdata

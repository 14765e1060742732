// zurdata: the data tool of the suite. Writes the creation blocks, creates the record
// files, and imports and exports them as CSV.

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <iostream>
#include <string>
#include <vector>

#include "platform/env.h"
#include "platform/record_manager.h"
#include "tools/zurdata/data_tool.h"

int main(int argc, char** argv) {
  CLI::App app{
      "zurdata: creates the record files of an installation and moves their records to and "
      "from CSV.\n"
      "KIND is texts, properties, owners or receipts. CSV files are UTF-8 with a header row:\n"
      "  texts       code,description,group\n"
      "  properties  property,address1,address2,address3\n"
      "  owners      property,owner,name,unit,mail1,mail2,mail3\n"
      "  receipts    property,owner,date,amount,state\n"
      "An import is all or nothing: the first bad line stops it with FILE:LINE and the reason.\n"
      "The record files are SQLite files under the root, or the PostgreSQL database ZURDB names\n"
      "(a libpq connection string, e.g. postgresql://user@host/zur); copy moves an\n"
      "installation's records from one to the other."};
  app.set_version_flag("--version", std::string(ZUR_VERSION));
  std::string root = platform::GetEnv("ZURROOT");
  app.add_option("--root", root, "the installation's root folder (default: ZURROOT)");
  app.require_subcommand(1);

  auto kindCheck = CLI::IsMember({"texts", "properties", "owners", "receipts"});
  std::string kindName, file;
  bool replace = false;

  CLI::App* init = app.add_subcommand(
      "init", "write the creation blocks to ddf/ and create the missing DADES/*.dat files");
  CLI::App* import = app.add_subcommand("import", "import a CSV file into a record file");
  import->add_option("KIND", kindName, "what the file holds")->required()->check(kindCheck);
  import->add_option("FILE", file, "the CSV file")->required();
  import->add_flag("--replace", replace, "empty the record file first (in the same transaction)");
  CLI::App* exportCommand =
      app.add_subcommand("export", "write a record file as CSV, in key order");
  exportCommand->add_option("KIND", kindName, "what to export")->required()->check(kindCheck);
  exportCommand->add_option("FILE", file, "the CSV file to write (default: standard output)");
  CLI::App* stat = app.add_subcommand("stat", "show a record file's layout and record count");
  stat->add_option("KIND", kindName, "which file")->required()->check(kindCheck);

  CLI::App* copy = app.add_subcommand(
      "copy",
      "copy record files between the SQLite files under the root and a PostgreSQL database, "
      "all in one transaction");
  std::string from = platform::GetEnv("ZURDB"), to = platform::GetEnv("ZURDB");
  copy->add_option("KIND", kindName, "what to copy: texts, properties, owners, receipts or all")
      ->required()
      ->check(CLI::IsMember({"texts", "properties", "owners", "receipts", "all"}));
  CLI::Option* fromOption = copy->add_option(
      "--from", from,
      "where the records are: sqlite (the files under the root) or a PostgreSQL connection "
      "string (default: ZURDB, or sqlite when it is empty)");
  CLI::Option* toOption = copy->add_option(
      "--to", to, "where they go, in the same form (default: ZURDB, or sqlite when it is empty)");
  copy->add_flag("--replace", replace,
                 "empty target files that hold records first (in the same transaction)");

  CLI11_PARSE(app, argc, argv);

  // PostgreSQL files are named relative to the installation's root.
  platform::SetRecordManagerRoot(root.empty() ? "." : root.c_str());

  zurdata::Kind kind = zurdata::Kind::kTexts;
  zurdata::ParseKind(kindName, kind);
  if (init->parsed()) return zurdata::Init(root, std::cout, std::cerr);
  if (import->parsed()) {
    return zurdata::Import(root, kind, file, replace, ::isatty(2) != 0, std::cout, std::cerr);
  }
  if (exportCommand->parsed()) return zurdata::Export(root, kind, file, std::cout, std::cerr);
  if (stat->parsed()) return zurdata::Stat(root, kind, std::cout, std::cerr);
  if (copy->parsed()) {
    if (fromOption->count() == 0 && toOption->count() == 0) {
      std::cerr << "copy: give --from, --to or both\n";
      return 1;
    }
    zurdata::Store source, target;
    if (!zurdata::ParseStore(from.empty() ? "sqlite" : from, source) ||
        !zurdata::ParseStore(to.empty() ? "sqlite" : to, target)) {
      return 1;
    }
    std::vector<zurdata::Kind> kinds;
    if (kindName == "all") {
      kinds = {zurdata::Kind::kTexts, zurdata::Kind::kProperties, zurdata::Kind::kOwners,
               zurdata::Kind::kReceipts};
    } else {
      kinds.push_back(kind);
    }
    return zurdata::Copy(root, kinds, source, target, replace, std::cout, std::cerr);
  }
  return 1;
}

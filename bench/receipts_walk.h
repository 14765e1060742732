#pragma once
// The receipts walk both record benchmarks measure: 1,000,000 generated receipts, the
// walk of all of them through the record access layer (SeekRecord, then StepRecord to
// the end, as the letter run reads), and the same walk done straight on an SQLite file.

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "records/record_access.h"
#include "records/record_layouts.h"
#include "session/session.h"

namespace bench_receipts {

inline constexpr int kReceipts = 1000000;

// Writes the receipts as zurdata's CSV: 9,000 properties, 10,000 owners, dates and
// states spread over the year. Aborts when the file cannot be written.
inline void WriteReceiptsCsv(const std::string& path) {
  std::string csv = "property,owner,date,amount,state\n";
  csv.reserve(40u * kReceipts);
  for (int i = 0; i < kReceipts; ++i) {
    const int property = i % 9000, owner = (i / 9000) % 10000;
    const int month = i % 12 + 1, day = i % 28 + 1;
    csv += std::to_string(property) + "," + std::to_string(owner) + ",2024-" +
           (month < 10 ? "0" : "") + std::to_string(month) + "-" + (day < 10 ? "0" : "") +
           std::to_string(day) + "," + std::to_string(i % 100000) + ".25," + (i % 3 ? "P" : "C") +
           "\n";
  }
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) std::abort();
  std::fwrite(csv.data(), 1, csv.size(), f);
  std::fclose(f);
}

// Walks every receipt of the installation at root through the layer, wherever the
// record manager now opens files; returns the number of records read.
inline long LayerWalk(const std::string& root) {
  int16_t status = 0;
  records::ResetRecordManager(status);
  records::ResetRecordAccessState();
  session::Session().rootDir = root;
  static records::ReceiptRecord::Buffer buffer{};
  records::OpenRecordFile(514, root + "DADES\\CobramH", buffer, status);
  long n = 0;
  long checksum = 0;
  records::SeekRecord(514, 0, "", 1, status);
  while (status == 0) {
    ++n;
    checksum += buffer[21];
    records::StepRecord(514, 1, status);
  }
  benchmark::DoNotOptimize(checksum);
  records::ResetRecordManager(status);
  return n;
}

// The same walk straight on the SQLite file: the key column's index, stepped row by
// row, each record copied out.
inline long SqliteWalk(const std::string& dataFile) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(dataFile.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* s = nullptr;
  sqlite3_prepare_v2(db, "SELECT data FROM records ORDER BY k0, pos", -1, &s, nullptr);
  std::array<char, 24> buffer{};
  long n = 0;
  long checksum = 0;
  while (sqlite3_step(s) == SQLITE_ROW) {
    std::memcpy(buffer.data(), sqlite3_column_blob(s, 0),
                static_cast<size_t>(sqlite3_column_bytes(s, 0)));
    checksum += buffer[21];
    ++n;
  }
  benchmark::DoNotOptimize(checksum);
  sqlite3_finalize(s);
  sqlite3_close(db);
  return n;
}

}  // namespace bench_receipts

#include "tools/zurdata/data_tool.h"

#include <csv.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "platform/binary_file.h"
#include "platform/path.h"
#include "platform/record_file_spec.h"
#include "platform/record_manager.h"
#include "platform/record_status.h"
#include "records/record_files.h"

namespace zurdata {
namespace {

using Block = std::array<uint8_t, platform::kPositionBlockSize>;

// The longest CSV field accepted; a longer one (far past any record field) stops the
// import instead of growing without bound.
constexpr size_t kMaxFieldBytes = 64 * 1024;

std::string StatusText(int16_t status) {
  return std::string(platform::RecordStatusText(status)) + " (status " + std::to_string(status) +
         ")";
}

std::string DataFileName(Kind kind) {
  return std::string(FileOf(kind).name) + ".dat";
}

// Opens the kind's data file through the record manager.
int16_t OpenData(const std::string& root, Kind kind, Block& block, int8_t mode) {
  const std::string path = RootPrefix(root) + DataFileName(kind);
  std::array<uint8_t, 256> key{};
  if (path.size() >= key.size()) return platform::kStatusInvalidFileName;
  std::memcpy(key.data(), path.data(), path.size());
  block.fill(0);
  return platform::BTRCALL(platform::kOpOpen, block.data(), nullptr, nullptr, key.data(),
                           static_cast<uint8_t>(path.size()), mode);
}

void CloseData(Block& block) {
  platform::BTRCALL(platform::kOpClose, block.data(), nullptr, nullptr, nullptr, 0, 0);
}

int16_t StatOf(Block& block, std::string& reply) {
  std::array<uint8_t, 1536> data{};
  uint32_t length = data.size();
  const int16_t status =
      platform::BTRCALL(platform::kOpStat, block.data(), data.data(), &length, nullptr, 0, 0);
  reply.assign(reinterpret_cast<char*>(data.data()), status == 0 ? length : 0);
  return status;
}

// The record file must have the record length this tool writes.
bool CheckRecordLength(Block& block, Kind kind, const std::string& name, std::ostream& err) {
  std::string reply;
  int16_t status = StatOf(block, reply);
  if (status != 0) {
    err << name << ": " << StatusText(status) << "\n";
    return false;
  }
  const size_t length = static_cast<uint8_t>(reply[0]) | (static_cast<uint8_t>(reply[1]) << 8);
  if (length != FileOf(kind).bufferSize) {
    err << name << ": record length " << length << ", expected " << FileOf(kind).bufferSize << "\n";
    return false;
  }
  return true;
}

std::string CsvField(const std::string& field) {
  if (field.find_first_of(",\"\r\n") == std::string::npos) return field;
  std::string out(field.size() * 2 + 2, '\0');
  out.resize(csv_write(out.data(), out.size(), field.data(), field.size()));
  return out;
}

std::string CsvLine(const std::vector<std::string>& fields) {
  std::string line;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i) line += ',';
    line += CsvField(fields[i]);
  }
  line += '\n';
  return line;
}

std::string HeaderLine(Kind kind) {
  return CsvLine(Columns(kind));
}

bool WriteWhole(const std::string& path, const std::string& bytes, std::string& reason) {
  const std::string real = platform::ResolvePath(path);
  const std::string temp = real + ".tmp" + std::to_string(::getpid());
  std::FILE* f = std::fopen(temp.c_str(), "wb");
  if (f == nullptr) {
    reason = std::strerror(errno);
    return false;
  }
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = (std::fflush(f) == 0) && ok;
  ok = (::fsync(::fileno(f)) == 0) && ok;
  ok = (std::fclose(f) == 0) && ok;
  if (ok && std::rename(temp.c_str(), real.c_str()) != 0) ok = false;
  if (!ok) {
    reason = std::strerror(errno);
    std::remove(temp.c_str());
  }
  return ok;
}

// ---------------------------------------------------------------------------------
// Import

void* CappedRealloc(void* p, size_t size) {
  if (size > kMaxFieldBytes + 1024) return nullptr;
  return std::realloc(p, size);
}

int NoSpace(unsigned char) {
  return 0;
}

struct ImportRun {
  Kind kind;
  Block* block;
  std::string csvName;
  std::vector<std::string> fields;
  long long line = 0;        // physical line being read
  long long recordLine = 0;  // the line the current record began on
  bool inRecord = false;
  bool headerSeen = false;
  long long imported = 0;
  std::string error;  // "FILE:LINE: reason", empty while all is well
  std::string record;
  std::string reason;
  std::array<uint8_t, 256> key{};

  void Fail(long long at, const std::string& why) {
    if (error.empty()) error = csvName + ":" + std::to_string(at) + ": " + why;
  }

  void EndRecord() {
    inRecord = false;
    if (!error.empty()) return;
    const auto& columns = Columns(kind);
    if (!headerSeen) {
      headerSeen = true;
      if (!fields.empty() && fields[0].rfind("\xEF\xBB\xBF", 0) == 0) fields[0].erase(0, 3);
      if (fields != columns)
        Fail(recordLine,
             "header must be: " + HeaderLine(kind).substr(0, HeaderLine(kind).size() - 1));
    } else if (fields.size() != columns.size()) {
      Fail(recordLine, "expected " + std::to_string(columns.size()) + " fields, found " +
                           std::to_string(fields.size()));
    } else if (!RowToRecord(kind, fields, record, reason)) {
      Fail(recordLine, reason);
    } else {
      uint32_t length = static_cast<uint32_t>(record.size());
      const int16_t status = platform::BTRCALL(platform::kOpInsert, block->data(), record.data(),
                                               &length, key.data(), 255, 0);
      if (status == platform::kStatusDuplicateKey) {
        Fail(recordLine, "a record with the same key is already in the file");
      } else if (status != 0) {
        Fail(recordLine, StatusText(status));
      } else {
        ++imported;
      }
    }
    fields.clear();
  }
};

void OnField(void* s, size_t length, void* data) {
  auto* run = static_cast<ImportRun*>(data);
  run->fields.emplace_back(static_cast<const char*>(s), length);
}

void OnRecordEnd(int, void* data) {
  static_cast<ImportRun*>(data)->EndRecord();
}

// Walks an open file from its first record by key 0, handing each record to visit. A
// non-zero status from visit ends the walk with that status; otherwise 0 at the end
// of the file, or the record manager's status. Get Next goes on from a record that
// visit deleted.
int16_t ForEachRecord(Block& block, const std::function<int16_t(std::string_view)>& visit) {
  std::array<uint8_t, 1536> data{};
  std::array<uint8_t, 256> key{};
  uint16_t op = platform::kOpGetFirst;
  for (;;) {
    uint32_t length = data.size();
    int16_t status = platform::BTRCALL(op, block.data(), data.data(), &length, key.data(), 255, 0);
    op = platform::kOpGetNext;
    if (status == platform::kStatusEndOfFile) return 0;
    if (status == 0) status = visit(std::string_view(reinterpret_cast<char*>(data.data()), length));
    if (status != 0) return status;
  }
}

// The position of the record the file stands on (0 when it cannot be had).
uint32_t CurrentPosition(Block& block, int16_t& status) {
  std::array<uint8_t, 4> reply{};
  uint32_t length = reply.size();
  status = platform::BTRCALL(platform::kOpGetPosition, block.data(), reply.data(), &length, nullptr,
                             0, 0);
  uint32_t pos = 0;
  if (status == 0) std::memcpy(&pos, reply.data(), 4);
  return pos;
}

// Deletes every record, walking the file once. (Starting again from the first record
// each time would make a database pass over all the rows deleted so far at every
// step: they stay in its indexes until the end of the transaction.)
int16_t EmptyFile(Block& block) {
  return ForEachRecord(block, [&](std::string_view) {
    return platform::BTRCALL(platform::kOpDelete, block.data(), nullptr, nullptr, nullptr, 0, 0);
  });
}

}  // namespace

std::string RootPrefix(const std::string& root) {
  if (root.empty() || root.back() == '/' || root.back() == '\\') return root;
  return root + "/";
}

int Init(const std::string& root, std::ostream& out, std::ostream& err) {
  const std::string prefix = RootPrefix(root);
  if (!platform::MakeDirectories(prefix + "ddf") || !platform::MakeDirectories(prefix + "DADES")) {
    err << prefix << ": cannot make the folders ddf and DADES\n";
    return 1;
  }
  for (Kind kind : {Kind::kTexts, Kind::kProperties, Kind::kOwners, Kind::kReceipts}) {
    const records::RecordFileInfo& file = FileOf(kind);
    const platform::FileSpec spec = records::CreationSpec(file);
    const std::string blockPath = records::CreationBlockPath(prefix, file.baseName);
    std::string reason;
    if (!WriteWhole(blockPath, records::CreationBlockFileBytes(spec), reason)) {
      err << blockPath << ": " << reason << "\n";
      return 1;
    }
    const std::string path = prefix + DataFileName(kind);
    std::string bytes = platform::EncodeFileSpec(spec);
    std::array<uint8_t, 256> key{};
    if (path.size() >= key.size()) {
      err << path << ": name too long\n";
      return 1;
    }
    std::memcpy(key.data(), path.data(), path.size());
    uint32_t length = static_cast<uint32_t>(bytes.size());
    const int16_t status =
        platform::BTRCALL(platform::kOpCreate, nullptr, bytes.data(), &length, key.data(),
                          static_cast<uint8_t>(path.size()), platform::kCreateNoReplace);
    if (status == 0) {
      out << DataFileName(kind) << ": created\n";
    } else if (status == platform::kStatusFileExists) {
      out << DataFileName(kind) << ": exists, left as it is\n";
    } else {
      err << path << ": " << StatusText(status) << "\n";
      return 1;
    }
  }
  return 0;
}

int Import(const std::string& root, Kind kind, const std::string& csvPath, bool replace,
           bool progress, std::ostream& out, std::ostream& err) {
  std::FILE* in = std::fopen(platform::ResolvePath(csvPath).c_str(), "rb");
  if (in == nullptr) {
    err << csvPath << ": " << std::strerror(errno) << "\n";
    return 1;
  }
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> closer(in, std::fclose);
  Block block;
  const std::string name = DataFileName(kind);
  int16_t status = OpenData(root, kind, block, platform::kOpenNormal);
  if (status != 0) {
    err << name << ": " << StatusText(status)
        << (status == platform::kStatusFileNotFound ? "; run zurdata init first" : "") << "\n";
    return 1;
  }
  if (!CheckRecordLength(block, kind, name, err)) {
    CloseData(block);
    return 1;
  }

  ImportRun run;
  run.kind = kind;
  run.block = &block;
  run.csvName = csvPath;
  status =
      platform::BTRCALL(platform::kOpBeginTransaction, nullptr, nullptr, nullptr, nullptr, 0, 0);
  if (status == 0 && replace) {
    status = EmptyFile(block);
    if (status != 0) run.error = name + ": cannot empty the file: " + StatusText(status);
  } else if (status != 0) {
    run.error = name + ": " + StatusText(status);
  }

  csv_parser parser;
  csv_init(&parser, CSV_STRICT | CSV_STRICT_FINI);
  csv_set_space_func(&parser, NoSpace);
  csv_set_realloc_func(&parser, CappedRealloc);
  std::vector<char> chunk(1 << 16);
  auto lastShown = std::chrono::steady_clock::now();
  bool atLineStart = true;
  size_t n;
  while (run.error.empty() && (n = std::fread(chunk.data(), 1, chunk.size(), in)) > 0) {
    size_t at = 0;
    while (at < n && run.error.empty()) {
      // Feed one physical line (or what of it this chunk holds) at a time, so that
      // every record knows the line it began on.
      const char* start = chunk.data() + at;
      const void* nl = std::memchr(start, '\n', n - at);
      const size_t piece =
          nl ? static_cast<size_t>(static_cast<const char*>(nl) - start) + 1 : n - at;
      if (atLineStart) {
        ++run.line;
        const bool blank = (piece == 1 && start[0] == '\n') ||
                           (piece == 2 && start[0] == '\r' && start[1] == '\n');
        if (!run.inRecord && !blank) {
          run.inRecord = true;
          run.recordLine = run.line;
        }
      }
      if (csv_parse(&parser, start, piece, OnField, OnRecordEnd, &run) != piece) {
        const int e = csv_error(&parser);
        run.Fail(run.line,
                 e == CSV_ENOMEM || e == CSV_ETOOBIG ? "field too long" : "badly quoted field");
      }
      atLineStart = nl != nullptr;
      at += piece;
    }
    if (progress && std::chrono::steady_clock::now() - lastShown > std::chrono::milliseconds(250)) {
      lastShown = std::chrono::steady_clock::now();
      err << "\r" << csvPath << ": " << run.imported << " records" << std::flush;
    }
  }
  if (std::ferror(in) && run.error.empty()) run.error = csvPath + ": read error";
  if (run.error.empty() && csv_fini(&parser, OnField, OnRecordEnd, &run) != 0) {
    run.Fail(run.recordLine, "quoted field not closed at the end of the file");
  }
  csv_free(&parser);
  if (run.error.empty() && !run.headerSeen) run.Fail(1, "empty file: no header");
  if (progress) err << "\r" << csvPath << ": " << run.imported << " records\n";

  if (run.error.empty()) {
    status =
        platform::BTRCALL(platform::kOpEndTransaction, nullptr, nullptr, nullptr, nullptr, 0, 0);
    if (status != 0) run.error = name + ": the import could not be stored: " + StatusText(status);
  } else {
    platform::BTRCALL(platform::kOpAbortTransaction, nullptr, nullptr, nullptr, nullptr, 0, 0);
  }
  CloseData(block);
  if (!run.error.empty()) {
    err << run.error << "\n" << csvPath << ": nothing imported\n";
    return 1;
  }
  out << csvPath << ": " << run.imported << " records imported into " << name << "\n";
  return 0;
}

int Export(const std::string& root, Kind kind, const std::string& csvPath, std::ostream& out,
           std::ostream& err) {
  Block block;
  const std::string name = DataFileName(kind);
  int16_t status = OpenData(root, kind, block, platform::kOpenReadOnly);
  if (status != 0) {
    err << name << ": " << StatusText(status) << "\n";
    return 1;
  }
  if (!CheckRecordLength(block, kind, name, err)) {
    CloseData(block);
    return 1;
  }
  std::string text = HeaderLine(kind);
  std::vector<std::string> fields;
  std::string reason;
  // A record that makes no row is reported here and ends the walk with this status.
  constexpr int16_t kBadRecord = -1;
  status = ForEachRecord(block, [&](std::string_view record) -> int16_t {
    if (!RecordToRow(kind, record, fields, reason)) {
      int16_t ignored = 0;
      err << name << ": record at position " << CurrentPosition(block, ignored) << ": " << reason
          << "\n";
      return kBadRecord;
    }
    text += CsvLine(fields);
    if (csvPath.empty() && text.size() > (1 << 20)) {
      out << text;
      text.clear();
    }
    return 0;
  });
  if (status > 0) err << name << ": " << StatusText(status) << "\n";
  const int rc = status != 0 ? 1 : 0;
  CloseData(block);
  if (rc != 0) return rc;
  if (csvPath.empty()) {
    out << text << std::flush;
    return out.good() ? 0 : 1;
  }
  if (!WriteWhole(csvPath, text, reason)) {
    err << csvPath << ": " << reason << "\n";
    return 1;
  }
  return 0;
}

int Stat(const std::string& root, Kind kind, std::ostream& out, std::ostream& err) {
  Block block;
  const std::string name = DataFileName(kind);
  int16_t status = OpenData(root, kind, block, platform::kOpenReadOnly);
  std::string reply;
  if (status == 0) status = StatOf(block, reply);
  CloseData(block);
  platform::FileSpec spec;
  if (status == 0) {
    status = platform::DecodeFileSpec(reinterpret_cast<const uint8_t*>(reply.data()), reply.size(),
                                      spec);
  }
  if (status != 0) {
    err << name << ": " << StatusText(status) << "\n";
    return 1;
  }
  uint32_t count = 0;
  std::memcpy(&count, reply.data() + 6, 4);
  out << "file: " << name << "\n"
      << "record length: " << spec.recordLength << "\n"
      << "page size: " << spec.pageSize << "\n"
      << "records: " << count << "\n";
  for (size_t k = 0; k < spec.keys.size(); ++k) {
    const auto& segments = spec.keys[k].segments;
    const uint16_t flags = segments.front().flags;
    out << "key " << k << ": " << spec.keys[k].Length() << " bytes, "
        << ((flags & platform::kKeyDuplicates) ? "duplicates" : "unique") << ", segments";
    for (const auto& s : segments) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "%04x", s.flags);
      out << " (position " << s.position << ", length " << s.length << ", flags 0x" << hex << ")";
    }
    out << "\n";
  }
  if (spec.alternate) out << "alternate collating sequence: " << spec.alternate->name << "\n";
  return 0;
}

std::string Store::Describe() const {
  // Not the connection string itself: it may hold a password.
  return connection.empty() ? "the SQLite files" : "the PostgreSQL database";
}

bool ParseStore(const std::string& text, Store& store) {
  if (text.empty()) return false;
  store.connection = text == "sqlite" || text == "files" ? "" : text;
  return true;
}

namespace {

// A message for a status, with the server's own words for a connection that failed.
std::string StoreStatusText(int16_t status) {
  std::string text = StatusText(status);
  if (status == platform::kStatusManagerInactive) {
    const std::string why = platform::RecordManagerConnectionError();
    if (!why.empty()) text += ": " + why;
  }
  return text;
}

int16_t StatusOfSpec(Block& block, platform::FileSpec& spec, uint32_t& count) {
  std::string reply;
  int16_t status = StatOf(block, reply);
  if (status != 0) return status;
  status =
      platform::DecodeFileSpec(reinterpret_cast<const uint8_t*>(reply.data()), reply.size(), spec);
  if (status != 0) return status;
  std::memcpy(&count, reply.data() + 6, 4);
  return 0;
}

// Reads every record of an open file in the order of their positions.
int16_t ReadAll(Block& block, std::vector<std::pair<uint32_t, std::string>>& records) {
  const int16_t status = ForEachRecord(block, [&](std::string_view record) {
    int16_t positionStatus = 0;
    const uint32_t pos = CurrentPosition(block, positionStatus);
    if (positionStatus == 0) records.emplace_back(pos, std::string(record));
    return positionStatus;
  });
  if (status != 0) return status;
  std::sort(records.begin(), records.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  return 0;
}

struct CopyTarget {
  Kind kind = Kind::kTexts;
  platform::FileSpec spec;  // the source's
  Block block{};
  bool open = false;
  std::vector<std::pair<uint32_t, std::string>> records;
};

}  // namespace

int Copy(const std::string& root, const std::vector<Kind>& kinds, const Store& from,
         const Store& to, bool replace, std::ostream& out, std::ostream& err) {
  if (from.connection == to.connection) {
    err << "copy: --from and --to name the same place (" << from.Describe() << ")\n";
    return 1;
  }
  std::vector<CopyTarget> files;
  for (Kind kind : kinds) {
    files.emplace_back();
    files.back().kind = kind;
  }
  std::string error;

  // Read every source file first: nothing is written while a source is missing.
  platform::SetRecordManagerDatabase(from.connection.c_str());
  for (CopyTarget& f : files) {
    const std::string name = DataFileName(f.kind);
    Block source;
    int16_t status = OpenData(root, f.kind, source, platform::kOpenReadOnly);
    if (status != 0) {
      error = name + " in " + from.Describe() + ": " + StoreStatusText(status);
      break;
    }
    platform::FileSpec& spec = f.spec;
    uint32_t count = 0;
    status = StatusOfSpec(source, spec, count);
    if (status == 0 && spec.recordLength != FileOf(f.kind).bufferSize) {
      error = name + " in " + from.Describe() + ": record length " +
              std::to_string(spec.recordLength) + ", expected " +
              std::to_string(FileOf(f.kind).bufferSize);
    } else if (status == 0) {
      status = ReadAll(source, f.records);
    }
    CloseData(source);
    if (status != 0) error = name + " in " + from.Describe() + ": " + StoreStatusText(status);
    if (!error.empty()) break;
  }

  // The targets: made from the same description when missing.
  platform::SetRecordManagerDatabase(to.connection.c_str());
  bool inTransaction = false;
  if (error.empty() && to.connection.empty() &&
      !platform::MakeDirectories(RootPrefix(root) + "DADES")) {
    error = RootPrefix(root) + "DADES: cannot make the folder";
  }
  for (CopyTarget& f : files) {
    if (!error.empty()) break;
    const std::string name = DataFileName(f.kind);
    const std::string path = RootPrefix(root) + DataFileName(f.kind);
    std::string bytes = platform::EncodeFileSpec(f.spec);
    std::array<uint8_t, 256> key{};
    if (path.size() >= key.size()) {
      error = path + ": name too long";
      break;
    }
    std::memcpy(key.data(), path.data(), path.size());
    uint32_t length = static_cast<uint32_t>(bytes.size());
    int16_t status =
        platform::BTRCALL(platform::kOpCreate, nullptr, bytes.data(), &length, key.data(),
                          static_cast<uint8_t>(path.size()), platform::kCreateNoReplace);
    if (status != 0 && status != platform::kStatusFileExists) {
      error = name + " in " + to.Describe() + ": " + StoreStatusText(status);
      break;
    }
    status = OpenData(root, f.kind, f.block, platform::kOpenNormal);
    if (status != 0) {
      error = name + " in " + to.Describe() + ": " + StoreStatusText(status);
      break;
    }
    f.open = true;
    platform::FileSpec existing;
    uint32_t count = 0;
    status = StatusOfSpec(f.block, existing, count);
    if (status != 0) {
      error = name + " in " + to.Describe() + ": " + StoreStatusText(status);
    } else if (existing.recordLength != FileOf(f.kind).bufferSize) {
      error = name + " in " + to.Describe() + ": record length " +
              std::to_string(existing.recordLength) + ", expected " +
              std::to_string(FileOf(f.kind).bufferSize);
    } else if (count > 0 && !replace) {
      error = name + " in " + to.Describe() + " holds " + std::to_string(count) +
              " records; --replace empties it first";
    }
  }
  if (error.empty()) {
    const int16_t status =
        platform::BTRCALL(platform::kOpBeginTransaction, nullptr, nullptr, nullptr, nullptr, 0, 0);
    if (status != 0) error = "copy: " + StoreStatusText(status);
    inTransaction = status == 0;
  }
  for (CopyTarget& f : files) {
    if (!error.empty()) break;
    const std::string name = DataFileName(f.kind);
    int16_t status = replace ? EmptyFile(f.block) : 0;
    if (status != 0) {
      error = name + " in " + to.Describe() + ": cannot empty the file: " + StoreStatusText(status);
      break;
    }
    std::array<uint8_t, 256> key{};
    for (auto& [pos, record] : f.records) {
      uint32_t length = static_cast<uint32_t>(record.size());
      status = platform::BTRCALL(platform::kOpInsert, f.block.data(), record.data(), &length,
                                 key.data(), 255, 0);
      if (status != 0) {
        error = name + " in " + to.Describe() + ": record at position " + std::to_string(pos) +
                ": " + StoreStatusText(status);
        break;
      }
    }
  }
  if (inTransaction && error.empty()) {
    const int16_t status =
        platform::BTRCALL(platform::kOpEndTransaction, nullptr, nullptr, nullptr, nullptr, 0, 0);
    if (status != 0) error = "copy: the records could not be stored: " + StoreStatusText(status);
  } else if (inTransaction) {
    platform::BTRCALL(platform::kOpAbortTransaction, nullptr, nullptr, nullptr, nullptr, 0, 0);
  }
  for (CopyTarget& f : files) {
    if (f.open) CloseData(f.block);
  }
  platform::SetRecordManagerDatabase(nullptr);
  if (!error.empty()) {
    err << error << "\ncopy: nothing copied\n";
    return 1;
  }
  for (const CopyTarget& f : files) {
    out << DataFileName(f.kind) << ": " << f.records.size() << " records copied to "
        << to.Describe() << "\n";
  }
  return 0;
}

}  // namespace zurdata

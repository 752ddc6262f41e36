// The database layer beside raw SQLite in the same run: a bulk append of Dirs rows through the
// table recordset, and the viewer's list query on a large database through a snapshot. Given a
// PostgreSQL server, the same append there beside COPY of the same rows through libpq.
//
//   db_bench WORKDIR [ROWS_APPEND] [ROWS_LARGE] [SERVER_URI]
//
// The large database is generated once under WORKDIR and reused by later runs. SERVER_URI names
// any database of the server; the database brontal_append is made afresh there.
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/postgres_support.h"
#include "platform/db/program_engine.h"
#include "platform/db/sqlite_engine.h"
#include "store/format.h"
#include "store/schema.h"
#include "store/sql_text.h"

namespace {

namespace fs = std::filesystem;
using brontal::DateTime;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

void Check(int rc, sqlite3* db) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
    std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
    std::exit(1);
  }
}

DateTime Period(int i) { return DateTime::FromCivil(2024, 1, 1, 2) + i; }

// Names shaped like a scan's: a few thousand parents with some dozens of children each.
std::string ParentOf(std::int64_t i) {
  return "R\\SERVER" + std::to_string(i / 100000 % 10) + "\\C:\\Data\\Projects\\dir" +
         std::to_string(i / 50 % 2000);
}
std::string NameOf(std::int64_t i) { return "subdirectory " + std::to_string(i % 50); }

void FreshDatabase(brontal::db::Engine& engine, const std::string& path) {
  fs::remove(path);
  fs::remove(path + ".lock");
  brontal::CreateBrontalDatabase(engine, path, 3);
}

// Appends to the empty database at `location`.
double AppendThroughRecordset(brontal::db::Engine& engine, const std::string& location, int rows) {
  auto& ws = engine.DefaultWorkspace();
  auto db = ws.OpenDatabase(location);
  DateTime pdate = Period(0);
  auto start = Clock::now();
  auto dirs = db->OpenRecordset("Dirs", brontal::db::RecordsetType::kTable);
  ws.BeginTrans();
  for (int i = 0; i < rows; ++i) {
    dirs->AddNew();
    dirs->SetField("pdate", pdate);
    dirs->SetField("Dir", NameOf(i));
    dirs->SetField("DirParent", ParentOf(i));
    dirs->SetField("Brontal", std::int64_t{i} * 4096);
    dirs->Update();
  }
  ws.CommitTrans();
  dirs->Close();
  db->Close();
  return Seconds(start);
}

// Appends to the empty database at `location` in batches of 10,000 rows appended at once, as
// the scanner's save does.
double AppendInBatches(brontal::db::Engine& engine, const std::string& location, int rows) {
  auto& ws = engine.DefaultWorkspace();
  auto db = ws.OpenDatabase(location);
  const brontal::db::Value pdate(Period(0));
  const std::vector<std::string> columns = {"pdate", "Dir", "DirParent", "Brontal"};
  auto start = Clock::now();
  ws.BeginTrans();
  std::vector<brontal::db::Value> batch;
  for (int i = 0; i < rows; ++i) {
    batch.insert(batch.end(), {pdate, NameOf(i), ParentOf(i), std::int64_t{i} * 4096});
    if (batch.size() == 10000 * columns.size() || i + 1 == rows) {
      db->AppendRows("Dirs", columns, batch);
      batch.clear();
    }
  }
  ws.CommitTrans();
  db->Close();
  return Seconds(start);
}

double AppendRaw(brontal::db::Engine& engine, const std::string& path, int rows) {
  FreshDatabase(engine, path);
  sqlite3* db;
  Check(sqlite3_open(path.c_str(), &db), db);
  Check(sqlite3_exec(db, "pragma synchronous=full; pragma journal_mode=delete", nullptr, nullptr,
                     nullptr),
        db);
  std::string pdate = Period(0).ToIso();
  auto start = Clock::now();
  sqlite3_stmt* insert;
  Check(sqlite3_prepare_v2(db, "insert into Dirs (DirParent, Dir, Brontal, pdate) values (?,?,?,?)",
                           -1, &insert, nullptr),
        db);
  Check(sqlite3_exec(db, "begin immediate", nullptr, nullptr, nullptr), db);
  for (int i = 0; i < rows; ++i) {
    std::string parent = ParentOf(i), name = NameOf(i);
    sqlite3_bind_text(insert, 1, parent.data(), static_cast<int>(parent.size()), SQLITE_STATIC);
    sqlite3_bind_text(insert, 2, name.data(), static_cast<int>(name.size()), SQLITE_STATIC);
    sqlite3_bind_int64(insert, 3, std::int64_t{i} * 4096);
    sqlite3_bind_text(insert, 4, pdate.data(), static_cast<int>(pdate.size()), SQLITE_STATIC);
    Check(sqlite3_step(insert), db);
    sqlite3_reset(insert);
  }
  Check(sqlite3_exec(db, "commit", nullptr, nullptr, nullptr), db);
  sqlite3_finalize(insert);
  sqlite3_close(db);
  return Seconds(start);
}

// The same rows by COPY in CSV into the empty database at `uri`, in one transaction.
double AppendByCopy(const std::string& uri, int rows) {
  brontal::bench::RawPostgres raw(uri);
  const std::string pdate = Period(0).ToIso();
  auto start = Clock::now();
  raw.Exec("begin");
  raw.Copy("copy dirs (dirparent, dir, brontal, pdate) from stdin with (format csv)",
           [&](const auto& send) {
             std::string chunk;
             for (int i = 0; i < rows; ++i) {
               chunk += '"' + ParentOf(i) + "\",\"" + NameOf(i) + "\"," +
                        std::to_string(std::int64_t{i} * 4096) + ',' + pdate + '\n';
               if (chunk.size() > 65536 || i + 1 == rows) {
                 send(chunk);
                 chunk.clear();
               }
             }
           });
  raw.Exec("commit");
  return Seconds(start);
}

void MeasureAppendPostgres(const std::string& server, int rows) {
  brontal::bench::RawPostgres admin(server);
  auto engine = brontal::db::MakeProgramEngine();
  auto fresh = [&] {
    const std::string uri = admin.FreshDatabase(server, "brontal_append");
    brontal::CreateBrontalDatabase(*engine, uri, 3);
    return uri;
  };
  const double raw = AppendByCopy(fresh(), rows);
  const double api = AppendThroughRecordset(*engine, fresh(), rows);
  admin.Exec("drop database brontal_append");
  const double batches = AppendInBatches(*engine, fresh(), rows);
  admin.Exec("drop database brontal_append");
  std::printf(
      "bulk append of %d Dirs rows   api %9.0f rows/s   raw COPY   %9.0f rows/s   "
      "ratio %.2f of raw (postgresql, a row at a time)\n",
      rows, rows / api, rows / raw, raw / api);
  std::printf(
      "bulk append of %d Dirs rows   api %9.0f rows/s   raw COPY   %9.0f rows/s   "
      "ratio %.2f of raw (postgresql, AppendRows in batches of 10,000)\n",
      rows, rows / batches, rows / raw, raw / batches);
}

// Rows spread over 100 periods, appended in raw SQLite since only the reading is measured.
void GenerateLarge(brontal::db::Engine& engine, const std::string& path, std::int64_t rows) {
  std::string marker = path + ".complete-" + std::to_string(rows);
  if (fs::exists(marker) && fs::exists(path)) return;
  std::fprintf(stderr, "generating %lld rows in %s ...\n", static_cast<long long>(rows),
               path.c_str());
  FreshDatabase(engine, path);
  sqlite3* db;
  Check(sqlite3_open(path.c_str(), &db), db);
  Check(sqlite3_exec(db, "pragma synchronous=off; pragma cache_size=-1000000; begin", nullptr,
                     nullptr, nullptr),
        db);
  sqlite3_stmt* insert;
  Check(sqlite3_prepare_v2(db, "insert into Dirs (DirParent, Dir, Brontal, pdate) values (?,?,?,?)",
                           -1, &insert, nullptr),
        db);
  std::int64_t per_period = rows / 100;
  for (int p = 0; p < 100; ++p) {
    std::string pdate = Period(p).ToIso();
    for (std::int64_t i = 0; i < per_period; ++i) {
      std::string parent = ParentOf(i), name = NameOf(i);
      sqlite3_bind_text(insert, 1, parent.data(), static_cast<int>(parent.size()), SQLITE_STATIC);
      sqlite3_bind_text(insert, 2, name.data(), static_cast<int>(name.size()), SQLITE_STATIC);
      sqlite3_bind_int64(insert, 3, (i + p) * 4096);
      sqlite3_bind_text(insert, 4, pdate.data(), static_cast<int>(pdate.size()), SQLITE_STATIC);
      Check(sqlite3_step(insert), db);
      sqlite3_reset(insert);
    }
  }
  sqlite3_finalize(insert);
  Check(sqlite3_exec(db, "commit; analyze", nullptr, nullptr, nullptr), db);
  sqlite3_close(db);
  std::FILE* done = std::fopen(marker.c_str(), "w");
  if (done) std::fclose(done);
}

// The viewer's list query: the children of one place in two periods.
std::string ListQuery(std::int64_t which) {
  std::string key = ParentOf(which * 50 % 100000);
  for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::string d1 = brontal::SqlDateText(Period(99), "m/d/yy h:m:s");
  std::string d2 = brontal::SqlDateText(Period(92), "m/d/yy h:m:s");
  return "select Dir, Brontal, pdate from Dirs" + (" where DirParent=\"" + brontal::SqlText(key)) +
         "\"" + " and (pdate=#" + d1 + "#" + " or pdate=#" + d2 + "#)" +
         " order by dir asc, pdate desc;";
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

void MeasureList(brontal::db::Engine& engine, const std::string& path) {
  constexpr int kRuns = 400;
  std::vector<double> api, raw;
  std::int64_t api_rows = 0, raw_rows = 0;
  auto db = engine.DefaultWorkspace().OpenDatabase(path);
  sqlite3* handle;
  Check(sqlite3_open_v2(path.c_str(), &handle, SQLITE_OPEN_READWRITE, nullptr), handle);
  auto through_api = [&](int i) {
    auto rs = db->OpenRecordset(ListQuery(i), brontal::db::RecordsetType::kSnapshot);
    for (; !rs->Eof(); rs->MoveNext()) {
      api_rows += rs->Field("Brontal").AsInt64() > -1;
      (void)rs->Field("Dir").AsText();
      (void)rs->Field("pdate").AsDate();
    }
    rs->Close();
  };
  // The statement the engine hands SQLite for the same text, translated beforehand.
  auto through_sqlite = [&](int i) {
    std::string native = "select Dir, Brontal, pdate from Dirs where DirParent='" +
                         ParentOf(i * 50 % 100000) + "' and (pdate='" + Period(99).ToIso() +
                         "' or pdate='" + Period(92).ToIso() + "') order by dir asc, pdate desc;";
    sqlite3_stmt* statement;
    Check(sqlite3_prepare_v2(handle, native.c_str(), -1, &statement, nullptr), handle);
    while (sqlite3_step(statement) == SQLITE_ROW) {
      raw_rows += sqlite3_column_int64(statement, 1) > -1;
      (void)sqlite3_column_text(statement, 0);
      (void)sqlite3_column_text(statement, 2);
    }
    sqlite3_finalize(statement);
  };
  // One pass to bring the pages in, then the two in turn so that neither gets a warmer cache.
  for (int i = 0; i < kRuns; ++i) through_sqlite(i);
  api_rows = raw_rows = 0;
  for (int i = 0; i < kRuns; ++i) {
    auto start = Clock::now();
    through_api(i);
    api.push_back(Seconds(start));
    start = Clock::now();
    through_sqlite(i);
    raw.push_back(Seconds(start));
  }
  sqlite3_close(handle);
  double a = Median(api) * 1e6, r = Median(raw) * 1e6;
  std::printf(
      "list query, median of %d   api %8.1f us   raw sqlite %8.1f us   ratio %.2f"
      "   (rows %lld / %lld)\n",
      kRuns, a, r, a / r, static_cast<long long>(api_rows), static_cast<long long>(raw_rows));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: db_bench WORKDIR [ROWS_APPEND] [ROWS_LARGE] [SERVER_URI]\n");
    return 2;
  }
  fs::path work = argv[1];
  fs::create_directories(work);
  int append_rows = argc > 2 ? std::stoi(argv[2]) : 1'000'000;
  std::int64_t large_rows = argc > 3 ? std::stoll(argv[3]) : 10'000'000;
  auto engine = brontal::db::MakeSqliteEngine();

  std::string append_db = (work / "append.mdb").string();
  double raw = AppendRaw(*engine, append_db, append_rows);
  FreshDatabase(*engine, append_db);
  double api = AppendThroughRecordset(*engine, append_db, append_rows);
  std::printf(
      "bulk append of %d Dirs rows   api %9.0f rows/s   raw sqlite %9.0f rows/s   "
      "ratio %.2f of raw\n",
      append_rows, append_rows / api, append_rows / raw, raw / api);
  fs::remove(append_db);
  if (argc > 4) MeasureAppendPostgres(argv[4], append_rows);

  std::string large_db = (work / "large.mdb").string();
  GenerateLarge(*engine, large_db, large_rows);
  MeasureList(*engine, large_db);
  return 0;
}

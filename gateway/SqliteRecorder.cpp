#include "gateway/SqliteRecorder.h"

#include <sqlite3.h>

#include "gateway/GatewayLog.h"

namespace {

constexpr int BATCH_LIMIT = 2000;                 // rows per transaction at most
constexpr auto BATCH_TIME = std::chrono::milliseconds(500);
constexpr auto PRUNE_EVERY = std::chrono::minutes(10);
constexpr auto DROP_REPORT_EVERY = std::chrono::seconds(10);

double UnixSeconds(TSystemTime t) { return std::chrono::duration<double>(t.time_since_epoch()).count(); }

const char* const SCHEMA =
    "CREATE TABLE IF NOT EXISTS samples ("
    " time REAL NOT NULL,"       // seconds since 1970-01-01 UTC
    " meter TEXT NOT NULL,"
    " quantity TEXT NOT NULL,"   // the meter model's code: U1, THD_I3, ALR ...
    " value REAL NOT NULL,"
    " unit TEXT NOT NULL);"
    "CREATE INDEX IF NOT EXISTS samples_time ON samples(time);"
    "CREATE INDEX IF NOT EXISTS samples_meter ON samples(meter, quantity, time);"
    "CREATE TABLE IF NOT EXISTS events ("
    " time REAL NOT NULL,"
    " meter TEXT NOT NULL,"
    " code INTEGER NOT NULL,"
    " text TEXT NOT NULL);"
    "CREATE INDEX IF NOT EXISTS events_time ON events(time);";

}  // namespace

TSqliteRecorder::TSqliteRecorder(const TSqliteConfig& config, TGatewayState& state)
    : Config(config), State(state), Throttle(state.MeterCount(), config.IntervalS), Queue(config.QueueLimit) {
  for (const TMeterSnapshot& m : State.SnapshotAll()) MeterNames.push_back(m.Name);
}

TSqliteRecorder::~TSqliteRecorder() { Stop(); }

bool TSqliteRecorder::Exec(const char* sql) {
  char* message = nullptr;
  if (sqlite3_exec(Db, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
  GatewayLog(TLogLevel::Error, std::string("sqlite: ") + (message ? message : "error") + " in: " + sql);
  sqlite3_free(message);
  return false;
}

bool TSqliteRecorder::Start(std::string& error) {
  if (sqlite3_open_v2(Config.Path.c_str(), &Db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                      nullptr) != SQLITE_OK) {
    error = "sqlite: cannot open " + Config.Path + ": " + (Db ? sqlite3_errmsg(Db) : "out of memory");
    sqlite3_close(Db);
    Db = nullptr;
    return false;
  }
  sqlite3_busy_timeout(Db, 5000);
  sqlite3_stmt* mode = nullptr;
  std::string journal;
  if (sqlite3_prepare_v2(Db, "PRAGMA journal_mode=WAL", -1, &mode, nullptr) == SQLITE_OK &&
      sqlite3_step(mode) == SQLITE_ROW) {
    const unsigned char* text = sqlite3_column_text(mode, 0);
    journal = text ? reinterpret_cast<const char*>(text) : "";
  }
  sqlite3_finalize(mode);
  if (journal != "wal" || !Exec("PRAGMA synchronous=NORMAL") || !Exec(SCHEMA) ||
      sqlite3_prepare_v2(Db, "INSERT INTO samples(time, meter, quantity, value, unit) VALUES(?,?,?,?,?)", -1,
                         &InsertSample, nullptr) != SQLITE_OK ||
      sqlite3_prepare_v2(Db, "INSERT INTO events(time, meter, code, text) VALUES(?,?,?,?)", -1, &InsertEvent,
                         nullptr) != SQLITE_OK) {
    error = "sqlite: cannot set up " + Config.Path + ": " + sqlite3_errmsg(Db);
    sqlite3_finalize(InsertSample);
    sqlite3_finalize(InsertEvent);
    InsertSample = InsertEvent = nullptr;
    sqlite3_close(Db);
    Db = nullptr;
    return false;
  }
  Prune();
  State.SetOutputStatus("sqlite", true, 0);
  GatewayLog(TLogLevel::Notice, "sqlite: recording into " + Config.Path);
  Thread = std::thread([this] { Run(); });
  return true;
}

void TSqliteRecorder::OnSample(const TSample& sample) {
  TSample due = Throttle.Due(sample);
  if (!due.Values.empty()) Queue.TryPush(std::move(due));
}

void TSqliteRecorder::OnEvent(const TEventRecord& event) { Queue.TryPush(event); }

long TSqliteRecorder::Prune() {
  const double limit =
      UnixSeconds(std::chrono::system_clock::now()) - Config.RetentionDays * 86400.0;
  long removed = 0;
  for (const char* sql : {"DELETE FROM samples WHERE time < ?", "DELETE FROM events WHERE time < ?"}) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(Db, sql, -1, &s, nullptr) != SQLITE_OK) continue;
    sqlite3_bind_double(s, 1, limit);
    if (sqlite3_step(s) == SQLITE_DONE) removed += sqlite3_changes(Db);
    sqlite3_finalize(s);
  }
  return removed;
}

void TSqliteRecorder::Write(const TItem& item) {
  if (const TSample* s = std::get_if<TSample>(&item)) {
    const std::string& meter = MeterNames.at(static_cast<size_t>(s->Meter));
    for (const auto& [q, value] : s->Values) {
      sqlite3_bind_double(InsertSample, 1, UnixSeconds(s->Time));
      sqlite3_bind_text(InsertSample, 2, meter.c_str(), -1, SQLITE_STATIC);
      sqlite3_bind_text(InsertSample, 3, QuantityCode(q), -1, SQLITE_STATIC);
      sqlite3_bind_double(InsertSample, 4, value);
      sqlite3_bind_text(InsertSample, 5, QuantityUnit(q), -1, SQLITE_STATIC);
      if (sqlite3_step(InsertSample) != SQLITE_DONE)
        GatewayLog(TLogLevel::Error, std::string("sqlite: cannot store a sample: ") + sqlite3_errmsg(Db));
      sqlite3_reset(InsertSample);
    }
  } else if (const TEventRecord* e = std::get_if<TEventRecord>(&item)) {
    sqlite3_bind_double(InsertEvent, 1, UnixSeconds(e->Time));
    sqlite3_bind_text(InsertEvent, 2, MeterNames.at(static_cast<size_t>(e->Meter)).c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_int(InsertEvent, 3, e->Code);
    sqlite3_bind_text(InsertEvent, 4, e->Text.c_str(), -1, SQLITE_STATIC);
    if (sqlite3_step(InsertEvent) != SQLITE_DONE)
      GatewayLog(TLogLevel::Error, std::string("sqlite: cannot store an event: ") + sqlite3_errmsg(Db));
    sqlite3_reset(InsertEvent);
  }
}

void TSqliteRecorder::Run() {
  auto lastPrune = std::chrono::steady_clock::now();
  auto lastDropReport = lastPrune - DROP_REPORT_EVERY;
  bool closed = false;
  while (!closed) {
    std::optional<TItem> first = Queue.Pop(BATCH_TIME);
    if (first) {
      // Everything that is waiting goes in one transaction.
      Exec("BEGIN");
      Write(*first);
      for (int n = 1; n < BATCH_LIMIT; ++n) {
        std::optional<TItem> more = Queue.Pop(std::chrono::milliseconds(0));
        if (!more) break;
        Write(*more);
      }
      Exec("COMMIT");
    } else {
      closed = Queue.IsClosed();
    }
    const uint64_t dropped = Queue.DroppedCount();
    State.SetOutputStatus("sqlite", true, dropped);
    // Reported within seconds, but not once per batch while the overflow lasts.
    const auto now = std::chrono::steady_clock::now();
    if (dropped != ReportedDrops && (now - lastDropReport > DROP_REPORT_EVERY || closed)) {
      lastDropReport = now;
      GatewayLog(TLogLevel::Warning, "sqlite: queue full, " + std::to_string(dropped - ReportedDrops) +
                                         " samples or events dropped (" + std::to_string(dropped) + " in all)");
      ReportedDrops = dropped;
    }
    if (std::chrono::steady_clock::now() - lastPrune > PRUNE_EVERY) {
      Prune();
      lastPrune = std::chrono::steady_clock::now();
    }
  }
}

void TSqliteRecorder::Stop() {
  if (!Db) return;
  Queue.Close();
  if (Thread.joinable()) Thread.join();
  sqlite3_finalize(InsertSample);
  sqlite3_finalize(InsertEvent);
  InsertSample = InsertEvent = nullptr;
  Exec("PRAGMA wal_checkpoint(TRUNCATE)");
  sqlite3_close(Db);
  Db = nullptr;
  State.SetOutputStatus("sqlite", false, Queue.DroppedCount());
}

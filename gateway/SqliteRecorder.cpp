#include "gateway/SqliteRecorder.h"

#include <sqlite3.h>

#include <algorithm>
#include <thread>

#include "gateway/GatewayLog.h"

namespace {

constexpr int BATCH_LIMIT = 2000;                 // rows per transaction at most
constexpr auto BATCH_TIME = std::chrono::milliseconds(500);
constexpr auto PRUNE_EVERY_AT_MOST = std::chrono::minutes(10);
constexpr auto DROP_REPORT_EVERY = std::chrono::seconds(10);
constexpr auto RETRY_PAUSE = std::chrono::seconds(1);
constexpr int WRITE_TRIES = 3;  // a batch is given up after as many failed transactions

double UnixSeconds(TSystemTime t) { return std::chrono::duration<double>(t.time_since_epoch()).count(); }

const char* const SCHEMA =
    "CREATE TABLE IF NOT EXISTS samples ("
    " time REAL NOT NULL,"  // seconds since 1970-01-01 UTC
    " meter TEXT NOT NULL,"
    " quantity TEXT NOT NULL,"  // the meter model's code: U1, THD_I3, ALR ...
    " value REAL NOT NULL,"
    " unit TEXT NOT NULL);"
    "CREATE INDEX IF NOT EXISTS samples_time ON samples(time);"
    "CREATE INDEX IF NOT EXISTS samples_meter ON samples(meter, quantity, time);"
    "CREATE TABLE IF NOT EXISTS events ("
    " time REAL NOT NULL,"
    " meter TEXT NOT NULL,"
    " code INTEGER NOT NULL,"
    " text TEXT NOT NULL);"
    "CREATE INDEX IF NOT EXISTS events_time ON events(time);"
    // An energy counter that went down: what it held before (counted up to the
    // reset) and the first value after, in the meter's unit.
    "CREATE TABLE IF NOT EXISTS counter_resets ("
    " time REAL NOT NULL,"
    " meter TEXT NOT NULL,"
    " quantity TEXT NOT NULL,"  // EnP, Ept1 ...
    " before REAL NOT NULL,"
    " after REAL NOT NULL,"
    " unit TEXT NOT NULL);"
    "CREATE INDEX IF NOT EXISTS counter_resets_meter ON counter_resets(meter, quantity, time);";

}  // namespace

TSqliteRecorder::TSqliteRecorder(const TSqliteConfig& config, TGatewayState& state)
    : Config(config),
      State(state),
      Throttle(state.MeterCount(), config.IntervalS),
      Queue(config.QueueLimit),
      PruneEvery(std::min<std::chrono::steady_clock::duration>(
          PRUNE_EVERY_AT_MOST, std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                   std::chrono::duration<double>(config.RetentionDays * 86400 / 10)))) {
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
                         nullptr) != SQLITE_OK ||
      sqlite3_prepare_v2(
          Db, "INSERT INTO counter_resets(time, meter, quantity, before, after, unit) VALUES(?,?,?,?,?,?)",
          -1, &InsertReset, nullptr) != SQLITE_OK) {
    error = "sqlite: cannot set up " + Config.Path + ": " + sqlite3_errmsg(Db);
    sqlite3_finalize(InsertSample);
    sqlite3_finalize(InsertEvent);
    sqlite3_finalize(InsertReset);
    InsertSample = InsertEvent = InsertReset = nullptr;
    sqlite3_close(Db);
    Db = nullptr;
    return false;
  }
  Prune();
  LoadCountersBefore();
  State.SetOutputStatus("sqlite", true, 0);
  GatewayLog(TLogLevel::Notice, "sqlite: recording into " + Config.Path);
  Thread = std::thread([this] { Run(); });
  return true;
}

void TSqliteRecorder::OnSample(const TSample& sample) {
  TSample due = Throttle.Due(sample);
  const size_t rows = due.Values.size();
  if (rows > 0 && !Queue.TryPush(std::move(due))) DroppedRows += rows;
}

void TSqliteRecorder::OnEvent(const TEventRecord& event) {
  if (!Queue.TryPush(event)) ++DroppedRows;
}

void TSqliteRecorder::OnCounterReset(const TCounterReset& reset) {
  if (!Queue.TryPush(reset)) ++DroppedRows;
}

long TSqliteRecorder::Prune() {
  const double limit =
      UnixSeconds(std::chrono::system_clock::now()) - Config.RetentionDays * 86400.0;
  long removed = 0;
  for (const char* sql : {"DELETE FROM samples WHERE time < ?", "DELETE FROM events WHERE time < ?",
                          "DELETE FROM counter_resets WHERE time < ?"}) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(Db, sql, -1, &s, nullptr) != SQLITE_OK) continue;
    sqlite3_bind_double(s, 1, limit);
    if (sqlite3_step(s) == SQLITE_DONE) removed += sqlite3_changes(Db);
    sqlite3_finalize(s);
  }
  return removed;
}

void TSqliteRecorder::LoadCountersBefore() {
  // One indexed look-up per meter and counter: the file may hold months of samples.
  sqlite3_stmt* last = nullptr;
  if (sqlite3_prepare_v2(
          Db, "SELECT value FROM samples WHERE meter = ? AND quantity = ? ORDER BY time DESC LIMIT 1", -1,
          &last, nullptr) != SQLITE_OK)
    return;
  for (size_t m = 0; m < MeterNames.size(); ++m) {
    for (int q = FIRST_COUNTER_QUANTITY; q < FIRST_COUNTER_QUANTITY + COUNTER_QUANTITIES; ++q) {
      sqlite3_bind_text(last, 1, MeterNames[m].c_str(), -1, SQLITE_STATIC);
      sqlite3_bind_text(last, 2, QuantityCode(q), -1, SQLITE_STATIC);
      if (sqlite3_step(last) == SQLITE_ROW)
        CountersBefore[{static_cast<int>(m), q}] = static_cast<float>(sqlite3_column_double(last, 0));
      sqlite3_reset(last);
    }
  }
  sqlite3_finalize(last);
}

bool TSqliteRecorder::WriteReset(const TCounterReset& r) {
  sqlite3_bind_double(InsertReset, 1, UnixSeconds(r.Time));
  sqlite3_bind_text(InsertReset, 2, MeterNames.at(static_cast<size_t>(r.Meter)).c_str(), -1, SQLITE_STATIC);
  sqlite3_bind_text(InsertReset, 3, QuantityCode(r.Quantity), -1, SQLITE_STATIC);
  sqlite3_bind_double(InsertReset, 4, r.Before);
  sqlite3_bind_double(InsertReset, 5, r.After);
  sqlite3_bind_text(InsertReset, 6, QuantityUnit(r.Quantity), -1, SQLITE_STATIC);
  const bool done = sqlite3_step(InsertReset) == SQLITE_DONE;
  sqlite3_reset(InsertReset);
  return done;
}

bool TSqliteRecorder::Write(const TItem& item) {
  if (const TSample* s = std::get_if<TSample>(&item)) {
    const std::string& meter = MeterNames.at(static_cast<size_t>(s->Meter));
    for (const auto& [q, value] : s->Values) {
      // The first read of a counter since the start, against what the file
      // held: a cancellation or a swap while the gateway was stopped.
      const auto before = CountersBefore.find({s->Meter, q});
      if (before != CountersBefore.end() && std::find(CountersCompared.begin(), CountersCompared.end(),
                                                      before->first) == CountersCompared.end()) {
        CountersCompared.push_back(before->first);
        if (value < before->second) {
          GatewayLog(TLogLevel::Notice, "sqlite: " + std::string(QuantityCode(q)) + " of " + meter +
                                            " went down while no gateway recorded it: " +
                                            std::to_string(before->second) + " -> " + std::to_string(value));
          if (!WriteReset(TCounterReset{s->Meter, s->Time, q, before->second, value})) return false;
        }
      }
      sqlite3_bind_double(InsertSample, 1, UnixSeconds(s->Time));
      sqlite3_bind_text(InsertSample, 2, meter.c_str(), -1, SQLITE_STATIC);
      sqlite3_bind_text(InsertSample, 3, QuantityCode(q), -1, SQLITE_STATIC);
      sqlite3_bind_double(InsertSample, 4, value);
      sqlite3_bind_text(InsertSample, 5, QuantityUnit(q), -1, SQLITE_STATIC);
      const bool done = sqlite3_step(InsertSample) == SQLITE_DONE;
      sqlite3_reset(InsertSample);
      if (!done) return false;
    }
  } else if (const TEventRecord* e = std::get_if<TEventRecord>(&item)) {
    sqlite3_bind_double(InsertEvent, 1, UnixSeconds(e->Time));
    sqlite3_bind_text(InsertEvent, 2, MeterNames.at(static_cast<size_t>(e->Meter)).c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_int(InsertEvent, 3, e->Code);
    sqlite3_bind_text(InsertEvent, 4, e->Text.c_str(), -1, SQLITE_STATIC);
    const bool done = sqlite3_step(InsertEvent) == SQLITE_DONE;
    sqlite3_reset(InsertEvent);
    if (!done) return false;
  } else if (const TCounterReset* r = std::get_if<TCounterReset>(&item)) {
    if (!WriteReset(*r)) return false;
  }
  return true;
}

bool TSqliteRecorder::WriteBatch(const std::vector<TItem>& items, std::string& error) {
  CountersCompared.clear();
  bool ok = sqlite3_exec(Db, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK;
  for (size_t i = 0; ok && i < items.size(); ++i) ok = Write(items[i]);
  // A COMMIT that fails (the disk full as the pages go out) loses the batch as well.
  ok = ok && sqlite3_exec(Db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
  if (ok) {
    // Compared once stored; a batch tried again compares again.
    for (const auto& key : CountersCompared) CountersBefore.erase(key);
    return true;
  }
  error = sqlite3_errmsg(Db);
  // Whatever went in before the failure goes out again: the batch is tried whole.
  if (!sqlite3_get_autocommit(Db)) sqlite3_exec(Db, "ROLLBACK", nullptr, nullptr, nullptr);
  return false;
}

uint64_t TSqliteRecorder::Rows(const std::vector<TItem>& items) {
  uint64_t rows = 0;
  for (const TItem& item : items) {
    const TSample* s = std::get_if<TSample>(&item);
    rows += s ? s->Values.size() : 1;
  }
  return rows;
}

void TSqliteRecorder::Drop(const std::vector<TItem>& items, const std::string& why) {
  const uint64_t rows = Rows(items);
  DroppedRows += rows;
  GatewayLog(TLogLevel::Error, "sqlite: " + std::to_string(rows) + " rows dropped after " +
                                   std::to_string(WRITE_TRIES) + " failed writes: " + why);
}

void TSqliteRecorder::Run() {
  auto lastPrune = std::chrono::steady_clock::now();
  auto lastDropReport = lastPrune - DROP_REPORT_EVERY;
  std::vector<TItem> batch;  // held after a failed write until it goes in or is given up
  int failures = 0;
  bool up = true;
  bool closed = false;
  while (!closed) {
    if (batch.empty()) {
      std::optional<TItem> first = Queue.Pop(BATCH_TIME);
      if (first)
        batch.push_back(std::move(*first));
      else
        closed = Queue.IsClosed();
    } else if (!Queue.IsClosed()) {
      std::this_thread::sleep_for(RETRY_PAUSE);
    }
    // Everything that is waiting goes in one transaction.
    while (!batch.empty() && batch.size() < static_cast<size_t>(BATCH_LIMIT)) {
      std::optional<TItem> more = Queue.Pop(std::chrono::milliseconds(0));
      if (!more) break;
      batch.push_back(std::move(*more));
    }
    if (!batch.empty()) {
      std::string error;
      if (WriteBatch(batch, error)) {
        if (!up) GatewayLog(TLogLevel::Notice, "sqlite: writing again");
        batch.clear();
        failures = 0;
        up = true;
      } else {
        if (up)
          GatewayLog(TLogLevel::Error,
                     "sqlite: cannot write " + Config.Path + ": " + error + "; trying again");
        up = false;
        // Given up when the tries are spent, and when stopping: nothing waits for another try then.
        if (++failures >= WRITE_TRIES || Queue.IsClosed()) {
          Drop(batch, error);
          batch.clear();
          failures = 0;
        }
      }
    }
    const uint64_t dropped = DroppedRows;
    State.SetOutputStatus("sqlite", up, dropped);
    // Reported within seconds, but not once per batch while the overflow lasts.
    const auto now = std::chrono::steady_clock::now();
    if (dropped != ReportedDrops && (now - lastDropReport > DROP_REPORT_EVERY || closed)) {
      lastDropReport = now;
      GatewayLog(TLogLevel::Warning, "sqlite: " + std::to_string(dropped - ReportedDrops) +
                                         " rows not stored (" + std::to_string(dropped) + " in all)");
      ReportedDrops = dropped;
    }
    if (now - lastPrune > PruneEvery) {
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
  sqlite3_finalize(InsertReset);
  InsertSample = InsertEvent = InsertReset = nullptr;
  Exec("PRAGMA wal_checkpoint(TRUNCATE)");
  sqlite3_close(Db);
  Db = nullptr;
  State.SetOutputStatus("sqlite", false, DroppedRows);
}

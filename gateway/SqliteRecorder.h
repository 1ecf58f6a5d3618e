// The SQLite output: one row per sampled value, one per event and one per
// energy counter reset, in a database file in WAL mode; rows older than the retention are deleted at the
// start and then every tenth of the retention (at most every 10 minutes).
// The line threads hand their samples over through a bounded queue and never
// wait for the disk: what does not fit is dropped, counted on /metrics and
// reported in the log. A transaction that fails (a full disk, a database
// another program keeps locked) is rolled back and tried again; while writes
// fail the output shows down, and the rows of a batch that still cannot be
// written after a few tries are dropped and counted too.
#pragma once

#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "gateway/BoundedQueue.h"
#include "gateway/GatewayConfig.h"
#include "gateway/GatewayState.h"
#include "gateway/SampleThrottle.h"

struct sqlite3;

class TSqliteRecorder : public TGatewaySink {
public:
  TSqliteRecorder(const TSqliteConfig& config, TGatewayState& state);
  ~TSqliteRecorder() override;

  // Opens (creating) the database; false with a reason when it cannot.
  bool Start(std::string& error);
  // Writes what is queued and closes the database.
  void Stop();

  void OnSample(const TSample& sample) override;
  void OnEvent(const TEventRecord& event) override;
  void OnCounterReset(const TCounterReset& reset) override;

  // Deletes the rows older than the retention; returns how many went.
  long Prune();

private:
  using TItem = std::variant<TSample, TEventRecord, TCounterReset>;
  void Run();
  bool Exec(const char* sql);
  // Stores the items in one transaction; false (rolled back) with the reason.
  bool WriteBatch(const std::vector<TItem>& items, std::string& error);
  bool Write(const TItem& item);
  bool WriteReset(const TCounterReset& reset);
  void LoadCountersBefore();
  // Rows the batch's store writes, its lost rows counted.
  static uint64_t Rows(const std::vector<TItem>& items);
  void Drop(const std::vector<TItem>& items, const std::string& why);

  TSqliteConfig Config;
  TGatewayState& State;
  TSampleThrottle Throttle;
  TBoundedQueue<TItem> Queue;
  std::vector<std::string> MeterNames;
  // The energy counters as the file last holds them, (meter, quantity): a
  // counter first read lower than that went down while no gateway recorded it.
  std::map<std::pair<int, int>, float> CountersBefore;
  std::vector<std::pair<int, int>> CountersCompared;  // in the batch being written
  sqlite3* Db = nullptr;
  struct sqlite3_stmt* InsertSample = nullptr;
  struct sqlite3_stmt* InsertEvent = nullptr;
  struct sqlite3_stmt* InsertReset = nullptr;
  std::thread Thread;
  std::chrono::steady_clock::duration PruneEvery;
  std::atomic<uint64_t> DroppedRows{0};  // rows not stored: the queue full, or given up after failed writes
  uint64_t ReportedDrops = 0;
};

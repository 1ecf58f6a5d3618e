// The SQLite output: one row per sampled value and one per event, in a
// database file in WAL mode; rows older than the retention are deleted.
// The line threads hand their samples over through a bounded queue and never
// wait for the disk: what does not fit is dropped, counted on /metrics and
// reported in the log.
#pragma once

#include <string>
#include <thread>
#include <variant>

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

  // Deletes the rows older than the retention; returns how many went.
  long Prune();

private:
  using TItem = std::variant<TSample, TEventRecord>;
  void Run();
  bool Exec(const char* sql);
  void Write(const TItem& item);

  TSqliteConfig Config;
  TGatewayState& State;
  TSampleThrottle Throttle;
  TBoundedQueue<TItem> Queue;
  std::vector<std::string> MeterNames;
  sqlite3* Db = nullptr;
  struct sqlite3_stmt* InsertSample = nullptr;
  struct sqlite3_stmt* InsertEvent = nullptr;
  std::thread Thread;
  uint64_t ReportedDrops = 0;
};

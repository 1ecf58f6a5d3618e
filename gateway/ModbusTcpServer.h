// The gateway as a Modbus TCP server. Each meter answers at its unit id with
// its own register layout: reads of polled blocks straight from memory (the
// bytes the meter sent), other requests through its line's pass-through queue.
//
// One thread runs a poll loop over the listening socket and every connection:
// a client is refused at connect when its address is outside the allow list or
// the connections are all taken; a connection idle for idle_timeout_s is
// closed; each connection has one request in hand at a time, and bytes beyond
// a frame wait in its buffer, which is bounded. Stop joins the thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "gateway/ClientAllow.h"
#include "gateway/GatewayConfig.h"
#include "gateway/GatewayState.h"
#include "gateway/MbapParser.h"
#include "gateway/PassThrough.h"

class TModbusTcpServer {
public:
  // queues: each line's pass-through queue, in the configuration's line order.
  TModbusTcpServer(const TGatewayConfig& config, TGatewayState& state, std::vector<TPassQueue*> queues);
  ~TModbusTcpServer();
  TModbusTcpServer(const TModbusTcpServer&) = delete;
  TModbusTcpServer& operator=(const TModbusTcpServer&) = delete;

  // Binds the address; false with a reason when it cannot.
  bool Start(std::string& error);
  void Stop();
  int Port() const { return BoundPort; }

  // The server's lines of /metrics.
  std::string Metrics() const;

private:
  struct TUnit {
    int Meter = -1;  // the state's index
    int Line = 0;
    bool AllowWrites = false;
    std::string Name;
    double StaleAfterS = 0;
  };
  struct TConnection;
  struct TClientCounters {
    uint64_t Open = 0;
    uint64_t Connections = 0;
    uint64_t Requests = 0;
    uint64_t Exceptions = 0;
  };
  struct TDone {
    uint64_t Connection;
    std::vector<uint8_t> Frame;
  };

  void Run();
  void Accept();
  void Close(TConnection& c, const char* why);
  bool ReadFrom(TConnection& c);
  void Work(TConnection& c);
  void Answer(TConnection& c, std::vector<uint8_t> frame, bool exception);
  void Handle(TConnection& c, const mbap::TRequest& r);
  bool Flush(TConnection& c);
  void TakeDone();
  void WakeUp();

  TModbusTcpConfig Config;
  TGatewayState& State;
  std::vector<TPassQueue*> Queues;
  std::vector<std::string> LineNames;
  std::map<int, TUnit> Units;  // by unit id
  std::vector<TNetwork> Allow;

  int Listener = -1;
  int WakeRead = -1, WakeWrite = -1;
  int BoundPort = 0;
  std::thread Thread;
  std::atomic<bool> Stopping{false};
  std::vector<std::unique_ptr<TConnection>> Connections;
  uint64_t NextId = 1;

  // Pass-through answers, handed over by the line threads.
  std::mutex DoneMutex;
  std::vector<TDone> DoneFrames;

  mutable std::mutex CountMutex;
  std::map<std::string, TClientCounters> Clients;
  uint64_t Refused = 0;
};

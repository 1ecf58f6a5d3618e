// The HTTP output: /metrics (Prometheus text format), /api/meters (JSON) and
// /healthz, served by cpp-httplib on a thread pool of its own.
#pragma once

#include <memory>
#include <string>
#include <thread>

#include "gateway/GatewayConfig.h"
#include "gateway/GatewayState.h"

namespace httplib {
class Server;
}

// The texts the endpoints serve, from the state at this moment.
std::string RenderMetrics(const TGatewayState& state);
std::string RenderMetersJson(const TGatewayState& state);
// True with "ok" when every line's port is open; else false and the reason.
bool CheckHealth(const TGatewayState& state, std::string& text);

class THttpExporter {
public:
  THttpExporter(const THttpConfig& config, const TGatewayState& state);
  ~THttpExporter();
  THttpExporter(const THttpExporter&) = delete;
  THttpExporter& operator=(const THttpExporter&) = delete;

  // Binds and starts serving; false with a reason when the address cannot be bound.
  bool Start(std::string& error);
  void Stop();
  int Port() const { return BoundPort; }  // the port bound (useful with port 0)

private:
  THttpConfig Config;
  const TGatewayState& State;
  std::unique_ptr<httplib::Server> Server;
  std::thread Thread;
  int BoundPort = 0;
};

// The whole gateway: the line threads and the outputs switched on in the
// configuration, started and stopped together.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "gateway/GatewayConfig.h"
#include "gateway/GatewayState.h"

class TLinePoller;
class THttpExporter;
class TMqttPublisher;
class TSqliteRecorder;
class TModbusTcpServer;

class TGateway {
public:
  explicit TGateway(TGatewayConfig config);
  ~TGateway();
  TGateway(const TGateway&) = delete;
  TGateway& operator=(const TGateway&) = delete;

  // Binds the HTTP address, starts the other outputs, then the lines. False
  // with a reason when an output cannot start (an HTTP address another
  // program holds, a database that cannot be opened); no line is polled then.
  bool Start(std::string& error);
  // Stops the lines, then the outputs, which write out what they still hold
  // (MQTT: the availability topic goes "offline"). Idempotent.
  void Stop();

  TGatewayState& State() { return StateData; }
  int HttpPort() const;
  int ModbusTcpPort() const;

private:
  TGatewayConfig Config;
  TGatewayState StateData;
  std::unique_ptr<THttpExporter> Http;
  std::unique_ptr<TMqttPublisher> Mqtt;
  std::unique_ptr<TSqliteRecorder> Sqlite;
  std::vector<std::unique_ptr<TLinePoller>> Lines;
  std::unique_ptr<TModbusTcpServer> ModbusTcp;
  bool Started = false;
};

#include "gateway/Gateway.h"

#include "gateway/GatewayLog.h"
#include "gateway/HttpExporter.h"
#include "gateway/LinePoller.h"
#include "gateway/ModbusTcpServer.h"
#include "gateway/MqttPublisher.h"
#include "gateway/SqliteRecorder.h"

TGateway::TGateway(TGatewayConfig config) : Config(std::move(config)), StateData(Config) {}

TGateway::~TGateway() { Stop(); }

int TGateway::HttpPort() const { return Http ? Http->Port() : 0; }

int TGateway::ModbusTcpPort() const { return ModbusTcp ? ModbusTcp->Port() : 0; }

bool TGateway::Start(std::string& error) {
  // The HTTP address first: a gateway that cannot have it (another one
  // serves there) stops before it touches the database, the broker or a line.
  if (Config.Http.Enabled) {
    Http = std::make_unique<THttpExporter>(Config.Http, StateData);
    if (!Http->Start(error)) return false;
    GatewayLog(TLogLevel::Notice, "http: serving /metrics, /api/meters and /healthz on " +
                                      Config.Http.Address + ":" + std::to_string(Http->Port()));
  }
  std::vector<TGatewaySink*> sinks;
  if (Config.Sqlite.Enabled) {
    Sqlite = std::make_unique<TSqliteRecorder>(Config.Sqlite, StateData);
    if (!Sqlite->Start(error)) return false;
    sinks.push_back(Sqlite.get());
  }
  if (Config.Mqtt.Enabled) {
    Mqtt = std::make_unique<TMqttPublisher>(Config.Mqtt, StateData);
    if (!Mqtt->Start(error)) return false;
    sinks.push_back(Mqtt.get());
  }
  int first = 0;
  for (const TLineConfig& line : Config.Lines) {
    Lines.push_back(std::make_unique<TLinePoller>(line, first, StateData, sinks));
    first += static_cast<int>(line.Meters.size());
  }
  if (Config.ModbusTcp.Enabled) {
    std::vector<TPassQueue*> queues;
    for (auto& l : Lines) queues.push_back(&l->PassThrough());
    ModbusTcp = std::make_unique<TModbusTcpServer>(Config, StateData, queues);
    if (!ModbusTcp->Start(error)) return false;
  }
  for (auto& l : Lines) l->Start();
  Started = true;
  return true;
}

void TGateway::Stop() {
  // The lines first: they answer what clients still have queued, then the
  // server that hands the answers on goes, then the queues.
  for (auto& l : Lines) l->Stop();
  if (ModbusTcp) ModbusTcp->Stop();
  ModbusTcp.reset();
  Lines.clear();
  if (Http) Http->Stop();
  if (Mqtt) Mqtt->Stop();
  if (Sqlite) Sqlite->Stop();
  Started = false;
}

// The MQTT output (libmosquitto): every quantity of every meter on
// "<prefix>/<meter>/<quantity>", the meter's link state on "<prefix>/<meter>/link"
// (retained), its events on "<prefix>/<meter>/event", and the gateway's
// availability "online"/"offline" on "<prefix>/gateway/<client id>/availability"
// (retained, "offline" also as the last will). The library's own thread keeps
// the connection and reconnects when the broker comes back; a thread of ours
// takes the values from a bounded queue so the lines never wait.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <variant>

#include "gateway/BoundedQueue.h"
#include "gateway/GatewayConfig.h"
#include "gateway/GatewayState.h"
#include "gateway/SampleThrottle.h"

struct mosquitto;

class TMqttPublisher : public TGatewaySink {
public:
  TMqttPublisher(const TMqttConfig& config, TGatewayState& state);
  ~TMqttPublisher() override;

  bool Start(std::string& error);
  // Publishes what is queued, then "offline", and disconnects.
  void Stop();

  void OnSample(const TSample& sample) override;
  void OnEvent(const TEventRecord& event) override;

  std::string AvailabilityTopic() const;

private:
  struct TMessage {
    std::string Topic;
    std::string Payload;
    bool Retain = false;
  };

  void Run();
  void Send(const TMessage& m);
  void Report();
  static void OnConnect(mosquitto*, void* self, int rc);
  static void OnDisconnect(mosquitto*, void* self, int rc);
  static void OnPublish(mosquitto*, void* self, int mid);

  TMqttConfig Config;
  TGatewayState& State;
  TSampleThrottle Throttle;
  TBoundedQueue<TMessage> Queue;
  mosquitto* Client = nullptr;
  std::thread Thread;
  std::atomic<bool> Connected{false};
  bool Attached = false;  // a connection attempt got under way (the client's thread retries from then on)
  std::chrono::steady_clock::time_point LastAttempt;
  std::atomic<uint64_t> Unsent{0};
  std::mutex PublishMutex;
  std::condition_variable Published;
  int LastPublishedMid = -1;
  std::vector<std::string> LinkTopics;  // per meter
  std::vector<std::string> MeterNames;
};

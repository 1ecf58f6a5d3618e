#include "gateway/MqttPublisher.h"

#include <mosquitto.h>

#include <cstdio>
#include <cstring>
#include <mutex>

#include "gateway/GatewayLog.h"

namespace {

constexpr const char* ONLINE = "online";
constexpr const char* OFFLINE = "offline";
constexpr auto STOP_WAIT = std::chrono::seconds(3);
constexpr auto RETRY_FIRST_CONNECT = std::chrono::seconds(2);

std::once_flag LibraryInit;

std::string ValueText(float v) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.7g", static_cast<double>(v));
  return buffer;
}

}  // namespace

TMqttPublisher::TMqttPublisher(const TMqttConfig& config, TGatewayState& state)
    : Config(config), State(state), Throttle(state.MeterCount(), config.IntervalS), Queue(config.QueueLimit) {
  for (const TMeterSnapshot& m : State.SnapshotAll()) {
    MeterNames.push_back(m.Name);
    LinkTopics.push_back(Config.Prefix + "/" + m.Name + "/link");
  }
}

TMqttPublisher::~TMqttPublisher() {
  Stop();
  if (Client) mosquitto_destroy(Client);
}

std::string TMqttPublisher::AvailabilityTopic() const {
  return Config.Prefix + "/gateway/" + Config.ClientId + "/availability";
}

void TMqttPublisher::OnConnect(mosquitto* client, void* self, int rc) {
  auto* me = static_cast<TMqttPublisher*>(self);
  if (rc != 0) {
    GatewayLog(TLogLevel::Warning, std::string("mqtt: broker refused the connection: ") + mosquitto_connack_string(rc));
    return;
  }
  const std::string topic = me->AvailabilityTopic();
  mosquitto_publish(client, nullptr, topic.c_str(), 6, ONLINE, 1, true);
  // Retained states published while the broker was away went nowhere: bring them up to date.
  const std::vector<TMeterSnapshot> meters = me->State.SnapshotAll();
  for (size_t m = 0; m < meters.size() && m < me->LinkTopics.size(); ++m) {
    if (meters[m].LinkState == 0) continue;
    const char* link = meters[m].LinkState == 1 ? "up" : "down";
    mosquitto_publish(client, nullptr, me->LinkTopics[m].c_str(), static_cast<int>(std::strlen(link)), link,
                      me->Config.Qos, true);
  }
  me->Connected = true;
  me->Report();
  GatewayLog(TLogLevel::Notice, "mqtt: connected to " + me->Config.Host + ":" + std::to_string(me->Config.Port));
}

void TMqttPublisher::OnDisconnect(mosquitto*, void* self, int rc) {
  auto* me = static_cast<TMqttPublisher*>(self);
  const bool was = me->Connected.exchange(false);
  me->Report();
  if (was && rc != 0) GatewayLog(TLogLevel::Warning, "mqtt: connection to the broker lost; reconnecting");
}

void TMqttPublisher::OnPublish(mosquitto*, void* self, int mid) {
  auto* me = static_cast<TMqttPublisher*>(self);
  {
    std::lock_guard lock(me->PublishMutex);
    me->LastPublishedMid = mid;
  }
  me->Published.notify_all();
}

void TMqttPublisher::Report() {
  State.SetOutputStatus("mqtt", Connected, Unsent + Queue.DroppedCount());
}

bool TMqttPublisher::Start(std::string& error) {
  std::call_once(LibraryInit, [] { mosquitto_lib_init(); });
  Client = mosquitto_new(Config.ClientId.c_str(), true, this);
  if (!Client) {
    error = "mqtt: cannot create the client";
    return false;
  }
  mosquitto_connect_callback_set(Client, OnConnect);
  mosquitto_disconnect_callback_set(Client, OnDisconnect);
  mosquitto_publish_callback_set(Client, OnPublish);
  mosquitto_reconnect_delay_set(Client, 1, 10, true);
  const std::string topic = AvailabilityTopic();
  if (mosquitto_will_set(Client, topic.c_str(), 7, OFFLINE, 1, true) != MOSQ_ERR_SUCCESS) {
    error = "mqtt: bad availability topic " + topic;
    return false;
  }
  if (!Config.Username.empty())
    mosquitto_username_pw_set(Client, Config.Username.c_str(), Config.Password.empty() ? nullptr : Config.Password.c_str());
  // A broker that is away now is not an error: the client keeps trying.
  const int rc = mosquitto_connect_async(Client, Config.Host.c_str(), Config.Port, Config.KeepaliveS);
  Attached = rc == MOSQ_ERR_SUCCESS;
  LastAttempt = std::chrono::steady_clock::now();
  if (!Attached)
    GatewayLog(TLogLevel::Warning, "mqtt: cannot reach " + Config.Host + ":" + std::to_string(Config.Port) + " (" +
                                       mosquitto_strerror(rc) + "); trying again");
  if (mosquitto_loop_start(Client) != MOSQ_ERR_SUCCESS) {
    error = "mqtt: cannot start the client thread";
    return false;
  }
  Report();
  Thread = std::thread([this] { Run(); });
  return true;
}

void TMqttPublisher::OnSample(const TSample& sample) {
  const TSample due = Throttle.Due(sample);
  const std::string base = Config.Prefix + "/" + MeterNames.at(static_cast<size_t>(sample.Meter)) + "/";
  for (const auto& [q, value] : due.Values) Queue.TryPush({base + QuantityCode(q), ValueText(value), false});
}

void TMqttPublisher::OnEvent(const TEventRecord& event) {
  const size_t m = static_cast<size_t>(event.Meter);
  Queue.TryPush({Config.Prefix + "/" + MeterNames.at(m) + "/event", event.Text, false});
  const int state = State.Snapshot(event.Meter).LinkState;
  Queue.TryPush({LinkTopics.at(m), state == 1 ? "up" : "down", true});
}

void TMqttPublisher::Send(const TMessage& m) {
  const int rc = mosquitto_publish(Client, nullptr, m.Topic.c_str(), static_cast<int>(m.Payload.size()),
                                   m.Payload.data(), Config.Qos, m.Retain);
  if (rc != MOSQ_ERR_SUCCESS) ++Unsent;
}

void TMqttPublisher::Run() {
  auto lastReport = std::chrono::steady_clock::now();
  for (;;) {
    std::optional<TMessage> m = Queue.Pop(std::chrono::milliseconds(500));
    if (m) Send(*m);
    else if (Queue.IsClosed()) break;
    // The client's thread reconnects by itself once a first connection attempt
    // has started; until then the attempts are ours.
    if (!Attached && std::chrono::steady_clock::now() - LastAttempt > RETRY_FIRST_CONNECT) {
      Attached = mosquitto_reconnect_async(Client) == MOSQ_ERR_SUCCESS;
      LastAttempt = std::chrono::steady_clock::now();
    }
    if (std::chrono::steady_clock::now() - lastReport > std::chrono::seconds(1)) {
      Report();
      lastReport = std::chrono::steady_clock::now();
    }
  }
}

void TMqttPublisher::Stop() {
  if (!Thread.joinable()) return;
  Queue.Close();
  Thread.join();  // everything queued has been handed to the client
  if (Connected) {
    int mid = 0;
    const std::string topic = AvailabilityTopic();
    if (mosquitto_publish(Client, &mid, topic.c_str(), 7, OFFLINE, 1, true) == MOSQ_ERR_SUCCESS) {
      std::unique_lock lock(PublishMutex);
      Published.wait_for(lock, STOP_WAIT, [&] { return LastPublishedMid == mid; });
    }
  }
  mosquitto_disconnect(Client);
  mosquitto_loop_stop(Client, false);
  Connected = false;
  Report();
}

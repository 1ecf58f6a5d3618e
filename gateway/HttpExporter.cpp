#include "gateway/HttpExporter.h"

#include <httplib.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>
#include <set>

namespace {

std::string EscapeLabel(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '\\') out += "\\\\";
    else if (c == '"') out += "\\\"";
    else if (c == '\n') out += "\\n";
    else out += c;
  }
  return out;
}

std::string Number(double v, int digits = 9) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.*g", digits, v);
  return buffer;
}

// A meter's value carries a float's precision: shown with the digits it has,
// not with the noise of its widening to double.
constexpr int VALUE_DIGITS = 7;
double Rounded(double v) { return std::strtod(Number(v, VALUE_DIGITS).c_str(), nullptr); }

std::string MeterLabels(const TMeterSnapshot& m) {
  return "meter=\"" + EscapeLabel(m.Name) + "\",model=\"" + EscapeLabel(m.Model) + "\",line=\"" +
         EscapeLabel(m.Line) + "\"";
}

void Header(std::string& out, const std::string& name, const char* type, const std::string& help) {
  out += "# HELP " + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
}

// Why the address cannot be bound, as the system says it, for the error
// message: the server itself only tells that it failed.
std::string BindFailure(const std::string& address, int port) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  if (const int rc = getaddrinfo(address.c_str(), service.c_str(), &hints, &found); rc != 0)
    return gai_strerror(rc);
  std::string reason = "cannot bind";
  const int fd = socket(found->ai_family, found->ai_socktype, found->ai_protocol);
  if (fd < 0) {
    reason = std::strerror(errno);
  } else {
    if (bind(fd, found->ai_addr, found->ai_addrlen) != 0) reason = std::strerror(errno);
    close(fd);
  }
  freeaddrinfo(found);
  return reason;
}

const char* LinkText(int linkState) {
  switch (linkState) {
    case 1: return "up";
    case 0: return "unknown";
    default: return "down";
  }
}

// The energy counters as Prometheus counters in joules (watt-hours times 3600;
// var-hours and volt-ampere-hours alike), so that rate() gives the power in
// watts as the power gauges do. Resets are counted per counter of the model.
void RenderEnergy(std::string& out, const std::vector<TMeterSnapshot>& meters, TSteadyTime now) {
  std::set<std::string> done;
  for (int q = FIRST_COUNTER_QUANTITY; q < FIRST_HARMONIC_QUANTITY; ++q) {
    const TCounterInfo info = CounterInfo(q);
    if (!done.insert(info.Metric).second) continue;
    std::string body;
    for (const TMeterSnapshot& m : meters) {
      for (int k = q; k < FIRST_HARMONIC_QUANTITY; ++k) {
        const TCounterInfo other = CounterInfo(k);
        if (!m.IsLive(k, now) || std::string(other.Metric) != info.Metric) continue;
        body += std::string(info.Metric) + "{" + MeterLabels(m) +
                (*other.Tariff ? std::string(",tariff=\"") + other.Tariff + "\"" : std::string()) + "} " +
                Number(Rounded(m.Values[k]) * 3600, 12) + "\n";
      }
    }
    if (body.empty()) continue;
    Header(out, info.Metric, "counter", info.Help);
    out += body;
  }
  std::string resets;
  for (const TMeterSnapshot& m : meters) {
    for (int group : {ENERGY_GROUP, TARIFF_GROUP}) {
      if (!ModelHasGroup(m.Type, group)) continue;
      const int first = FirstQuantityOfGroup(group);
      const int items = group == ENERGY_GROUP ? ENERGY_ITEMS : TARIFF_ITEMS;
      for (int q = first; q < first + items; ++q)
        resets += "kavrel_meter_counter_resets_total{" + MeterLabels(m) + ",counter=\"" + QuantityCode(q) +
                  "\"} " + std::to_string(m.CounterResets[q - FIRST_COUNTER_QUANTITY]) + "\n";
    }
  }
  if (resets.empty()) return;
  Header(out, "kavrel_meter_counter_resets_total", "counter",
         "Times the meter's energy counter went down (a cancellation, another meter at the address).");
  out += resets;
}

void RenderHarmonics(std::string& out, const std::vector<TMeterSnapshot>& meters, TSteadyTime now) {
  std::string body;
  for (const TMeterSnapshot& m : meters) {
    for (int q = FIRST_HARMONIC_QUANTITY; q < QUANTITY_COUNT; ++q) {
      if (!m.IsLive(q, now)) continue;
      const THarmonicInfo h = HarmonicInfo(q);
      body += "kavrel_harmonic_ratio{" + MeterLabels(m) + ",quantity=\"" + h.Quantity + "\",phase=\"" +
              h.Phase + "\",order=\"" + std::to_string(h.Order) + "\"} " +
              Number(static_cast<double>(m.Values[q]) * 0.01, VALUE_DIGITS) + "\n";
    }
  }
  if (body.empty()) return;
  Header(out, "kavrel_harmonic_ratio", "gauge",
         "Harmonic of the phase voltage or line current as a share of its fundamental (order 1 is 1).");
  out += body;
}

}  // namespace

std::string RenderMetrics(const TGatewayState& state) {
  const std::vector<TMeterSnapshot> meters = state.SnapshotAll();
  const auto now = std::chrono::steady_clock::now();
  std::string out;
  out.reserve(16384);

  // Measured quantities, one metric family at a time.
  std::set<std::string> done;
  for (int q = 0; q < FIRST_COUNTER_QUANTITY; ++q) {
    const TQuantityInfo& info = QuantityInfo(q);
    if (!done.insert(info.Metric).second) continue;
    std::string body;
    for (const TMeterSnapshot& m : meters) {
      for (int k = q; k < FIRST_COUNTER_QUANTITY; ++k) {
        const TQuantityInfo& other = QuantityInfo(k);
        // A value that is not live leaves: Prometheus marks the series stale by itself.
        if (!m.IsLive(k, now) || std::string(other.Metric) != info.Metric) continue;
        body += std::string(info.Metric) + "{" + MeterLabels(m) + ",phase=\"" + other.Phase + "\"} " +
                Number(static_cast<double>(m.Values[k]) * other.Scale, VALUE_DIGITS) + "\n";
      }
    }
    if (body.empty()) continue;
    Header(out, info.Metric, "gauge", info.Help);
    out += body;
  }

  RenderEnergy(out, meters, now);
  RenderHarmonics(out, meters, now);
  Header(out, "kavrel_meter_info", "gauge", "1 for each meter the gateway polls, with its bus address.");
  for (const TMeterSnapshot& m : meters)
    out += "kavrel_meter_info{" + MeterLabels(m) + ",address=\"" + std::to_string(m.Address) + "\"} 1\n";
  Header(out, "kavrel_meter_nominal_voltage_volts", "gauge",
         "The meter's nominal phase voltage as configured (nominal_voltage), for alert limits.");
  for (const TMeterSnapshot& m : meters)
    out += "kavrel_meter_nominal_voltage_volts{" + MeterLabels(m) + "} " + Number(m.NominalVoltage) + "\n";

  Header(out, "kavrel_meter_link_up", "gauge", "1 while the meter answers, else 0.");
  for (const TMeterSnapshot& m : meters)
    out += "kavrel_meter_link_up{" + MeterLabels(m) + "} " + (m.LinkState == 1 ? "1" : "0") + "\n";
  Header(out, "kavrel_meter_sample_age_seconds", "gauge", "Time since the newest value of the meter was read.");
  for (const TMeterSnapshot& m : meters) {
    TSteadyTime newest{};
    for (int q = 0; q < QUANTITY_COUNT; ++q)
      if (m.Has[q]) newest = std::max(newest, m.Updated[q]);
    if (newest == TSteadyTime{}) continue;
    out += "kavrel_meter_sample_age_seconds{" + MeterLabels(m) + "} " +
           Number(std::chrono::duration<double>(now - newest).count()) + "\n";
  }

  Header(out, "kavrel_meter_last_reply_timestamp_seconds", "gauge",
         "When the meter last answered, in seconds since 1970-01-01 UTC.");
  for (const TMeterSnapshot& m : meters) {
    if (m.LastReply == TSystemTime{}) continue;
    out += "kavrel_meter_last_reply_timestamp_seconds{" + MeterLabels(m) + "} " +
           Number(std::chrono::duration<double>(m.LastReply.time_since_epoch()).count(), 13) + "\n";
  }

  struct TCounter {
    const char* Name;
    const char* Help;
    uint64_t TLinkCounters::*Field;
  };
  const TCounter counters[] = {
      {"kavrel_meter_requests_total", "Requests sent to the meter.", &TLinkCounters::Requests},
      {"kavrel_meter_replies_total", "Replies received from the meter, exceptions included.", &TLinkCounters::Replies},
      {"kavrel_meter_timeouts_total", "Requests that got no reply in time.", &TLinkCounters::Timeouts},
      {"kavrel_meter_check_errors_total",
       "Requests answered by bytes that were no valid reply (check, address or size wrong).",
       &TLinkCounters::CheckErrors},
      {"kavrel_meter_exceptions_total", "Requests the meter refused with a Modbus exception.",
       &TLinkCounters::Exceptions},
  };
  for (const TCounter& c : counters) {
    Header(out, c.Name, "counter", c.Help);
    for (const TMeterSnapshot& m : meters)
      out += std::string(c.Name) + "{" + MeterLabels(m) + "} " + std::to_string(m.Counters.*c.Field) + "\n";
  }

  Header(out, "kavrel_meter_reply_duration_seconds", "histogram", "Time from request to complete reply.");
  for (const TMeterSnapshot& m : meters) {
    uint64_t cumulative = 0;
    for (size_t b = 0; b < REPLY_TIME_BUCKETS.size(); ++b) {
      cumulative += m.Counters.Buckets[b];
      out += "kavrel_meter_reply_duration_seconds_bucket{" + MeterLabels(m) + ",le=\"" +
             Number(REPLY_TIME_BUCKETS[b]) + "\"} " + std::to_string(cumulative) + "\n";
    }
    out += "kavrel_meter_reply_duration_seconds_bucket{" + MeterLabels(m) + ",le=\"+Inf\"} " +
           std::to_string(m.Counters.ReplyCount) + "\n";
    out += "kavrel_meter_reply_duration_seconds_sum{" + MeterLabels(m) + "} " + Number(m.Counters.ReplySeconds) + "\n";
    out += "kavrel_meter_reply_duration_seconds_count{" + MeterLabels(m) + "} " +
           std::to_string(m.Counters.ReplyCount) + "\n";
  }

  const auto lines = state.LinesOpen();
  Header(out, "kavrel_line_port_open", "gauge", "1 while the line's serial port is open.");
  for (const auto& [name, open] : lines)
    out += "kavrel_line_port_open{line=\"" + EscapeLabel(name) + "\"} " + (open ? "1" : "0") + "\n";

  const auto outputs = state.OutputStatus();
  if (!outputs.empty()) {
    Header(out, "kavrel_output_up", "gauge",
           "1 while the output works (MQTT: connected to the broker; SQLite: writes succeed).");
    for (const auto& [name, s] : outputs)
      out += "kavrel_output_up{output=\"" + EscapeLabel(name) + "\"} " + (s.first ? "1" : "0") + "\n";
    Header(out, "kavrel_output_dropped_total", "counter",
           "What an output could not deliver: SQLite rows not stored, MQTT messages not sent.");
    for (const auto& [name, s] : outputs)
      out += "kavrel_output_dropped_total{output=\"" + EscapeLabel(name) + "\"} " + std::to_string(s.second) + "\n";
  }
  return out;
}

std::string RenderMetersJson(const TGatewayState& state) {
  const auto now = std::chrono::steady_clock::now();
  nlohmann::json meters = nlohmann::json::array();
  for (const TMeterSnapshot& m : state.SnapshotAll()) {
    nlohmann::json values = nlohmann::json::object();
    for (int q = 0; q < QUANTITY_COUNT; ++q) {
      if (!m.Has[q]) continue;
      values[QuantityCode(q)] = {
          {"value", m.IsLive(q, now) ? nlohmann::json(Rounded(m.Values[q])) : nlohmann::json(nullptr)},
          {"unit", QuantityUnit(q)},
          {"age_s", std::chrono::duration<double>(now - m.Updated[q]).count()},
      };
    }
    const TLinkCounters& c = m.Counters;
    meters.push_back({
        {"name", m.Name},
        {"model", m.Model},
        {"line", m.Line},
        {"address", m.Address},
        {"link", LinkText(m.LinkState)},
        {"failed_in_a_row", m.FailStreak},
        {"retry_in_s", m.RetryInS},
        {"values", values},
        {"counters",
         {{"requests", c.Requests},
          {"replies", c.Replies},
          {"timeouts", c.Timeouts},
          {"check_errors", c.CheckErrors},
          {"exceptions", c.Exceptions}}},
    });
  }
  nlohmann::json doc = {{"meters", meters}};
  return doc.dump(1) + "\n";
}

bool CheckHealth(const TGatewayState& state, std::string& text) {
  for (const auto& [name, open] : state.LinesOpen()) {
    if (!open) {
      text = "the port of line " + name + " is not open\n";
      return false;
    }
  }
  text = "ok\n";
  return true;
}

THttpExporter::THttpExporter(const THttpConfig& config, const TGatewayState& state)
    : Config(config), State(state), Server(std::make_unique<httplib::Server>()) {
  // One gateway per address and port: the library's default also sets
  // SO_REUSEPORT, which lets a second gateway listen beside the first and
  // take every other scrape. SO_REUSEADDR alone still allows a restart while
  // old connections linger.
  Server->set_socket_options([](int sock) {
    int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
  Server->Get("/metrics", [this](const httplib::Request&, httplib::Response& res) {
    res.set_content(RenderMetrics(State) + State.ExtraMetrics(), "text/plain; version=0.0.4; charset=utf-8");
  });
  Server->Get("/api/meters", [this](const httplib::Request&, httplib::Response& res) {
    res.set_content(RenderMetersJson(State), "application/json");
  });
  Server->Get("/healthz", [this](const httplib::Request&, httplib::Response& res) {
    std::string text;
    res.status = CheckHealth(State, text) ? 200 : 503;
    res.set_content(text, "text/plain; charset=utf-8");
  });
}

THttpExporter::~THttpExporter() { Stop(); }

bool THttpExporter::Start(std::string& error) {
  if (Config.Port == 0) {
    BoundPort = Server->bind_to_any_port(Config.Address);
  } else {
    BoundPort = Server->bind_to_port(Config.Address, Config.Port) ? Config.Port : -1;
  }
  if (BoundPort <= 0) {
    error = "http: cannot listen on " + Config.Address + ":" + std::to_string(Config.Port) + ": " +
            BindFailure(Config.Address, Config.Port);
    return false;
  }
  Thread = std::thread([this] { Server->listen_after_bind(); });
  return true;
}

void THttpExporter::Stop() {
  if (!Thread.joinable()) return;
  // A stop asked before the server thread began listening would be missed.
  for (int i = 0; i < 400 && !Server->is_running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  Server->stop();
  Thread.join();
}

#include "sim/SimServer.h"

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <set>

#include "comm/ModbusFrame.h"

namespace {

constexpr size_t kLogLimit = 100000;
constexpr auto kTick = std::chrono::milliseconds(200);     // physics and alarms
constexpr auto kRetry = std::chrono::milliseconds(1000);   // reopening a lost line

// Silence that ends a partial RTU request: 3.5 characters, but no less than
// what the scheduling of a PC and a USB adapter can make of a gap.
std::chrono::milliseconds RtuGap(int baud) {
  const long ms = baud > 0 ? static_cast<long>(3.5 * 11 * 1000 / baud) + 1 : 0;
  return std::chrono::milliseconds(std::max(ms, 50L));
}

std::chrono::microseconds CharTime(int mode, int baud) {
  const SimCharFormat f = SimModeFormat(mode);
  const int bits = 1 + f.DataBits + (f.Parity == 'N' ? 0 : 1) + f.StopBits;
  return std::chrono::microseconds(baud > 0 ? 1000000L * bits / baud : 0);
}

}  // namespace

SimServer::SimServer(SimConfig config)
    : config_(std::move(config)),
      rtu_(SimModeIsRtu(config_.Mode)),
      scanner_(rtu_, RtuGap(config_.Baud)),
      noise_(config_.Seed ^ 0x9E3779B9u),
      started_(SimClock::now()) {
  uint32_t seed = config_.Seed;
  for (const SimMeterConfig& m : config_.Meters) {
    meters_.push_back(std::make_unique<SimMeter>(m.Type, m.Address, seed));
    seed = seed * 2654435761u + 12345u;  // each meter drifts its own way
  }
}

SimServer::~SimServer() { Stop(); }

bool SimServer::Validate(const SimConfig& config, std::string& error) {
  if (config.Meters.empty()) {
    error = "no meter configured";
    return false;
  }
  std::set<int> addresses;
  for (const SimMeterConfig& m : config.Meters) {
    if (SimRegisterMap(m.Type).Empty()) {
      error = "unknown meter type " + std::to_string(m.Type) + " (TR5, TR5B, VR5, VR5B or TR8)";
      return false;
    }
    if (m.Address < 1 || m.Address > 247) {
      error = "meter address " + std::to_string(m.Address) + " outside 1..247";
      return false;
    }
    if (!addresses.insert(m.Address).second) {
      error = "two meters at address " + std::to_string(m.Address);
      return false;
    }
  }
  if (config.Mode < 0 || config.Mode > 6) {
    error = "transmission mode " + std::to_string(config.Mode) + " outside 0..6";
    return false;
  }
  if (!SimBaudSupported(config.Baud)) {
    error = "baud rate " + std::to_string(config.Baud) + " not one of 300 600 1200 2400 4800 9600 19200";
    return false;
  }
  if (config.Device.empty() && config.LinkPath.empty()) {
    // Allowed: the pseudo-terminal's own name (DevicePath) is then the way in.
  }
  return true;
}

bool SimServer::Start(std::string* error) {
  std::string why;
  std::unique_lock lock(mutex_);
  if (running_) {
    why = "already running";
  } else if (Validate(config_, why) && OpenLine(why)) {
    int fds[2] = {-1, -1};
#ifdef _WIN32
    const bool woken = true;  // Wake() sets woken_ and notifies changed_
#else
    const bool woken = pipe2(fds, O_NONBLOCK | O_CLOEXEC) == 0;
#endif
    if (!woken) {
      why = "cannot create the wake-up pipe";
      CloseLine();
    } else {
      wakeRead_ = fds[0];
      wakeWrite_ = fds[1];
      stop_ = false;
      running_ = true;
      plugged_ = true;
      nextTick_ = SimClock::now();
      thread_ = std::thread([this] { Run(); });
      return true;
    }
  }
  if (error) *error = why;
  return false;
}

void SimServer::Stop() {
  std::thread thread;
  {
    std::lock_guard lock(mutex_);
    if (!running_) return;
    stop_ = true;
    Wake();
    thread = std::move(thread_);
  }
  thread.join();
  std::lock_guard lock(mutex_);
  CloseLine();
  output_.clear();
#ifndef _WIN32
  close(wakeRead_);
  close(wakeWrite_);
#endif
  wakeRead_ = wakeWrite_ = -1;
  running_ = false;
  changed_.notify_all();
}

bool SimServer::Running() const {
  std::lock_guard lock(mutex_);
  return running_;
}

std::string SimServer::LinkPath() const {
  std::lock_guard lock(mutex_);
  return line_.LinkPath();
}

std::string SimServer::DevicePath() const {
  std::lock_guard lock(mutex_);
  return line_.DevicePath();
}

bool SimServer::OpenLine(std::string& error) {
  scanner_.Reset();
  if (!config_.Device.empty()) return line_.OpenDevice(config_.Device, config_.Mode, config_.Baud, error);
  return line_.OpenPty(config_.LinkPath, config_.ForceLink, error);
}

void SimServer::CloseLine() {
  line_.Close();
  scanner_.Reset();
  output_.clear();
}

void SimServer::Wake() {
#ifdef _WIN32
  woken_ = true;
  changed_.notify_all();
#else
  if (wakeWrite_ >= 0) {
    const uint8_t b = 1;
    [[maybe_unused]] const ssize_t n = write(wakeWrite_, &b, 1);  // a full pipe wakes all the same
  }
#endif
}

void SimServer::SetFaults(const SimFaults& faults) {
  std::lock_guard lock(mutex_);
  faults_ = faults;
  Wake();
}

SimFaults SimServer::Faults() const {
  std::lock_guard lock(mutex_);
  return faults_;
}

void SimServer::Unplug(std::chrono::milliseconds duration) {
  std::unique_lock lock(mutex_);
  if (!running_) return;
  const unsigned generation = lineGeneration_;
  lineRequest_ = LineRequest::Unplug;
  unplugFor_ = duration;
  Wake();
  changed_.wait(lock, [&] { return lineGeneration_ != generation || !running_; });
}

bool SimServer::Plug(std::string* error) {
  std::unique_lock lock(mutex_);
  if (!running_) {
    if (error) *error = "not running";
    return false;
  }
  const unsigned generation = lineGeneration_;
  lineRequest_ = LineRequest::Plug;
  Wake();
  changed_.wait(lock, [&] { return lineGeneration_ != generation || !running_; });
  if (!plugged_ && error) *error = plugError_;
  return plugged_;
}

bool SimServer::Plugged() const {
  std::lock_guard lock(mutex_);
  return running_ && plugged_;
}

SimMeter* SimServer::FindMeter(int address) {
  for (auto& m : meters_)
    if (m->Address() == address) return m.get();
  return nullptr;
}

std::optional<double> SimServer::GetRegister(int address, int reg) {
  std::lock_guard lock(mutex_);
  SimMeter* m = FindMeter(address);
  if (!m) return std::nullopt;
  m->Advance(SimClock::now(), std::chrono::system_clock::now());
  return m->Get(reg);
}

bool SimServer::HoldRegister(int address, int reg, double value) {
  std::lock_guard lock(mutex_);
  SimMeter* m = FindMeter(address);
  return m && m->Hold(reg, value);
}

bool SimServer::ReleaseRegister(int address, int reg) {
  std::lock_guard lock(mutex_);
  SimMeter* m = FindMeter(address);
  return m && m->Release(reg);
}

int SimServer::WriteRegister(int address, int reg, int value) {
  std::lock_guard lock(mutex_);
  SimMeter* m = FindMeter(address);
  if (!m) return -1;
  const auto r = static_cast<uint16_t>(reg);
  const auto v = static_cast<uint16_t>(value);
  const SimBytes reply = m->Handle(SimBytes{static_cast<uint8_t>(address), modbus::WRITE_SINGLE_REGISTER,
                                            static_cast<uint8_t>(r >> 8), static_cast<uint8_t>(r & 0xFF),
                                            static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v & 0xFF)});
  return reply.size() >= 3 && (reply[1] & modbus::EXCEPTION_FLAG) ? reply[2] : 0;
}

bool SimServer::WithMeter(int address, const std::function<void(SimMeter&)>& f) {
  std::lock_guard lock(mutex_);
  SimMeter* m = FindMeter(address);
  if (!m) return false;
  f(*m);
  return true;
}

std::vector<SimRequest> SimServer::Requests() const {
  std::lock_guard lock(mutex_);
  return {log_.begin(), log_.end()};
}

size_t SimServer::RequestCount() const {
  std::lock_guard lock(mutex_);
  return total_;
}

void SimServer::ClearRequests() {
  std::lock_guard lock(mutex_);
  log_.clear();
  total_ = 0;
}

bool SimServer::WaitForRequests(size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return total_ >= count; });
}

void SimServer::SetObserver(std::function<void(const SimRequest&)> observer) {
  std::lock_guard lock(mutex_);
  observer_ = std::move(observer);
}

void SimServer::AdvanceAll(SimClock::time_point now) {
  const auto wall = std::chrono::system_clock::now();
  for (auto& m : meters_) m->Advance(now, wall);
}

void SimServer::Run() {
  std::unique_lock lock(mutex_);
  while (!stop_) {
    auto now = SimClock::now();

    // Line requests from the API, and the automatic return of an unplugged line.
    if (lineRequest_ == LineRequest::Unplug) {
      CloseLine();
      plugged_ = false;
      plugAt_.reset();
      if (unplugFor_.count() > 0) plugAt_ = now + unplugFor_;
    }
    if (lineRequest_ == LineRequest::Plug || (plugAt_ && now >= *plugAt_)) {
      plugAt_.reset();
      if (!line_.IsOpen()) {
        plugged_ = OpenLine(plugError_);
        if (!plugged_) plugAt_ = now + kRetry;  // keep trying, e.g. while the link name is taken
      }
    }
    if (lineRequest_ != LineRequest::None) {
      lineRequest_ = LineRequest::None;
      ++lineGeneration_;
      changed_.notify_all();
    }

    if (now >= nextTick_) {
      AdvanceAll(now);
      nextTick_ = now + kTick;
    }
    Flush(now);

    auto deadline = nextTick_;
    bool wantWrite = false;
    if (!output_.empty()) {
      deadline = std::min(deadline, output_.front().Due);
      wantWrite = output_.front().Due <= now;  // due but the line was full
    }
    if (plugAt_) deadline = std::min(deadline, *plugAt_);
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
    const int timeout = static_cast<int>(std::clamp<long>(wait + 1, 0, 1000));

#ifdef _WIN32
    // A COM port gives nothing to wait on together with the wake-up: the
    // line is looked at every few milliseconds, and at once when woken.
    changed_.wait_for(lock, std::chrono::milliseconds(std::clamp(timeout, 1, 2)), [this] { return woken_; });
    woken_ = false;
    (void)wantWrite;
    if (line_.IsOpen()) ReadLine(SimClock::now());
#else
    pollfd fds[2] = {{wakeRead_, POLLIN, 0}, {line_.Fd(), static_cast<short>(POLLIN | (wantWrite ? POLLOUT : 0)), 0}};
    const nfds_t count = line_.IsOpen() ? 2 : 1;
    const int lineFd = line_.Fd();
    lock.unlock();
    const int ready = poll(fds, count, timeout);
    lock.lock();
    if (ready < 0 && errno != EINTR) break;
    if (fds[0].revents & POLLIN) {
      uint8_t drain[64];
      while (read(wakeRead_, drain, sizeof drain) > 0) {
      }
    }
    if (count == 2 && lineFd == line_.Fd() && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)))
      ReadLine(SimClock::now());
#endif
  }
}

void SimServer::ReadLine(SimClock::time_point now) {
  uint8_t buffer[512];
  std::vector<SimBytes> frames;
  for (;;) {
    const long n = line_.Read(buffer, sizeof buffer);
    if (n > 0) {
      if (faults_.Echo) Queue(SimBytes(buffer, buffer + n), now, SimFaults{});
      scanner_.Feed(buffer, static_cast<size_t>(n), now, frames);
      continue;
    }
    if (n == 0) break;
    // The device went away (an adapter pulled out): try to get it back.
    CloseLine();
    plugged_ = false;
    plugAt_ = now + kRetry;
    return;
  }
  for (const SimBytes& f : frames) HandleFrame(f, now);
}

void SimServer::HandleFrame(const SimBytes& frame, SimClock::time_point now) {
  SimRequest r;
  r.Time = std::chrono::duration<double>(now - started_).count();
  r.Address = frame[0];
  r.Function = frame.size() > 1 ? frame[1] : 0;
  if (frame.size() >= 6 && (r.Function == modbus::READ_HOLDING_REGISTERS || r.Function == modbus::WRITE_SINGLE_REGISTER)) {
    r.Register = frame[2] << 8 | frame[3];
    const int word = frame[4] << 8 | frame[5];
    if (r.Function == modbus::READ_HOLDING_REGISTERS) r.Count = word;
    else r.Value = static_cast<int16_t>(static_cast<uint16_t>(word));
  }

  const auto wall = std::chrono::system_clock::now();
  SimBytes reply;
  SimFaults faults;
  if (r.Address == 0) {  // broadcast: every meter acts, none answers
    for (auto& m : meters_) {
      m->Advance(now, wall);
      m->Handle(frame);
    }
  } else if (SimMeter* m = FindMeter(r.Address)) {
    if (faults_.OnlyAddress == 0 || faults_.OnlyAddress == r.Address) {
      faults = faults_;
      if (faults_.ForReplies > 0 && --faults_.ForReplies == 0) {
        const bool echo = faults_.Echo;
        faults_ = SimFaults{};
        faults_.Echo = echo;
      }
    }
    m->Advance(now, wall);
    // A meter that stays silent or refuses with an exception does not carry
    // the request out; the other faults spoil only the reply on its way back.
    if (faults.NoReply || faults.ExceptionCode > 0) reply = SimBytes{frame[0], frame[1]};
    else reply = m->Handle(frame);
  }

  if (!reply.empty()) {
    if (faults.ExceptionCode > 0)
      reply = SimBytes{reply[0], static_cast<uint8_t>(frame[1] | modbus::EXCEPTION_FLAG), static_cast<uint8_t>(faults.ExceptionCode)};
    if (faults.NoReply) {
      reply.clear();
    } else {
      if (faults.WrongAddress) reply[0] = static_cast<uint8_t>(reply[0] % 247 + 1);
      Queue(SimFrameReply(rtu_, reply, faults.BadCheck), now, faults);
      r.Reply = reply[1];
      if ((reply[1] & modbus::EXCEPTION_FLAG) && reply.size() > 2) r.Exception = reply[2];
    }
  }

  log_.push_back(r);
  if (log_.size() > kLogLimit) log_.pop_front();
  ++total_;
  changed_.notify_all();
  if (observer_) observer_(r);
  Flush(SimClock::now());
}

void SimServer::Queue(const SimBytes& bytes, SimClock::time_point now, const SimFaults& faults) {
  SimBytes noise;
  for (int i = 0; i < faults.NoiseBytes; ++i) {
    uint8_t b;
    do {
      b = static_cast<uint8_t>(noise_());
    } while (!rtu_ && b == ':');  // a colon would start a frame of its own
    noise.push_back(b);
  }
  SimBytes all = noise;
  all.insert(all.end(), bytes.begin(), bytes.end());

  // Each reply starts after the one before it has gone out.
  SimClock::time_point due = now + std::chrono::milliseconds(std::max(faults.DelayMs, 0));
  if (!output_.empty()) due = std::max(due, output_.back().Due);
  std::chrono::microseconds spacing{0};
  if (faults.TrickleMs > 0) spacing = std::chrono::milliseconds(faults.TrickleMs);
  else if (config_.Pace) spacing = CharTime(config_.Mode, config_.Baud);
  if (spacing.count() == 0) {
    output_.push_back({due, std::move(all)});
    return;
  }
  for (uint8_t b : all) {
    output_.push_back({due, SimBytes{b}});
    due += spacing;
  }
}

void SimServer::Flush(SimClock::time_point now) {
  while (!output_.empty() && output_.front().Due <= now && line_.IsOpen()) {
    Chunk& c = output_.front();
    const long n = line_.Write(c.Bytes.data(), c.Bytes.size());
    if (n == 0) return;  // line full: poll for room
    if (n < 0) {
      output_.clear();  // nobody can read it: drop
      return;
    }
    c.Bytes.erase(c.Bytes.begin(), c.Bytes.begin() + n);
    if (!c.Bytes.empty()) return;
    output_.pop_front();
  }
}

#include "gateway/PassThrough.h"

#include "comm/ModbusFrame.h"
#include "comm/Trans.h"
#include "gateway/GatewayLog.h"
#include "gateway/MbapParser.h"
#include "model/TR5.h"

void TPassQueue::SetLimit(size_t limit) {
  std::lock_guard lock(Mutex);
  Limit = limit;
}

TPassQueue::TPush TPassQueue::Push(TPassRequest request) {
  std::lock_guard lock(Mutex);
  if (Closed) return TPush::Closed;
  if (Waiting.size() >= Limit) return TPush::Full;
  Waiting.push_back(std::move(request));
  return TPush::Queued;
}

bool TPassQueue::Pop(TPassRequest& request) {
  std::lock_guard lock(Mutex);
  if (Waiting.empty()) return false;
  request = std::move(Waiting.front());
  Waiting.pop_front();
  return true;
}

size_t TPassQueue::Depth() const {
  std::lock_guard lock(Mutex);
  return Waiting.size();
}

void TPassQueue::FailAll(uint8_t code, bool close) {
  std::deque<TPassRequest> failed;
  {
    std::lock_guard lock(Mutex);
    failed.swap(Waiting);
    if (close) Closed = true;
  }
  for (TPassRequest& r : failed) r.Done(TPassResult{code, {}});
}

void TPassQueue::Open() {
  std::lock_guard lock(Mutex);
  Closed = false;
}

int SelectorOfRegister(int meterType, int reg) {
  const uint16_t mask = ModelMask(meterType);
  for (int g = 0; g < PARAM_GROUP_COUNT; ++g) {
    const TParamGroup* group = GetParamGroup(g);
    if (!group || !(group->Models & mask)) continue;
    for (int i = 0; i < group->Count; ++i)
      if (group->Definitions[i].Register == reg) return g * 100 + i + 1;
  }
  return 0;
}

namespace {

TPassResult Read(const TPassRequest& request, TModbusPort& port, TTR5& meter) {
  // The meter answers function 3 only; a function-4 read is asked as 3.
  const int r = port.ReadRegistersWait(meter.Address, static_cast<int16_t>(request.Register),
                                       static_cast<int16_t>(request.Count));
  if (r == modbus::READ_HOLDING_REGISTERS) {
    const uint8_t* data = port.Reply.Data + 3;
    const long held = port.Reply.Tail - data;
    if (held < port.Reply.ByteCount) return {mbap::TARGET_FAILED, {}};
    return {0, std::vector<uint8_t>(data, data + port.Reply.ByteCount)};
  }
  // The meter's own refusal goes back as it is.
  if (r == (modbus::READ_HOLDING_REGISTERS | modbus::EXCEPTION_FLAG) && port.Reply.ByteCount != 0)
    return {port.Reply.ByteCount, {}};
  return {mbap::TARGET_FAILED, {}};
}

TPassResult Write(const TPassRequest& request, TTR5& meter) {
  const int selector = SelectorOfRegister(meter.Kind, request.Register);
  const int value = static_cast<int16_t>(request.Count);
  const std::string what = "modbus_tcp: client " + request.Client + " writes " + std::to_string(value) +
                           " to register " + std::to_string(request.Register) + " of " + request.MeterName;
  if (selector == 0) {
    GatewayLog(TLogLevel::Warning, what + ": refused, no such setup register");
    return {mbap::ILLEGAL_ADDRESS, {}};
  }
  std::string message;
  const int result = meter.WriteParameter(selector, std::to_string(value).c_str(), message);
  uint8_t code = 0;
  switch (result) {
    case WRITE_OK:
      break;
    case WRITE_OUT_OF_RANGE:
      code = mbap::ILLEGAL_VALUE;
      break;
    case WRITE_READ_ONLY:
      code = mbap::ILLEGAL_ADDRESS;
      break;
    case WRITE_NO_LINK:
      code = mbap::TARGET_FAILED;
      break;
    default:
      code = mbap::DEVICE_FAILURE;
      break;
  }
  if (code == 0)
    GatewayLog(TLogLevel::Notice, what + ": done, read back");
  else
    GatewayLog(TLogLevel::Warning, what + ": refused, " + (message.empty() ? "no link" : message));
  return {code, {}};
}

}  // namespace

TPassResult ServePassRequest(const TPassRequest& request, TModbusPort& port, TTR5& meter) {
  // A pass-through request waits for the whole reply time-out, not the wait
  // learnt for polled blocks.
  port.ReplyWaitMs = 0;
  if (request.Function == mbap::WRITE_SINGLE) return Write(request, meter);
  return Read(request, port, meter);
}

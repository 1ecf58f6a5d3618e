#include "comm/Trans.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "comm/LineFormat.h"
#include "comm/ModbusFrame.h"
#include "comm/SerialDeviceTcp.h"
#include "comm/SerialPlatform.h"

namespace {

// The port's reply time-out by baud index, ms.
constexpr uint32_t BAUD_TIMEOUT_MS[lineformat::BAUD_COUNT] = {5000, 5000, 4900, 3100, 1100, 1000, 1000};

constexpr int16_t IO_BASE[] = {0x3F8, 0x2F8, 0x3E8, 0x2E8, 0x2F8, -1, -1, -1};
constexpr int PORT_COUNT = 8;

constexpr const char* OPEN_LINE_SETTINGS = "9600,N,8,1";

// The longest exchange the program makes is a read of 34 registers of 4 bytes:
// a 6-byte request and a reply of address, function, byte count and 136 data
// bytes. In line characters: request 17 (ASCII) or 8 (RTU), reply 283 or 141.
constexpr int LONGEST_REPLY_DATA = 34 * 4;
constexpr int LONGEST_EXCHANGE_ASCII = (2 * 6 + 5) + (2 * (3 + LONGEST_REPLY_DATA) + 5);
constexpr int LONGEST_EXCHANGE_RTU = (6 + 2) + (3 + LONGEST_REPLY_DATA + 2);

// What the reply time-out allows beyond the line time of that exchange: the
// meter's turnaround plus the latency of the poll that notices the reply.
// 400 ms keeps the baud table in force wherever it already leaves that much
// slack (1200 bit/s and faster, every character format) and lengthens the
// time-out only where the table is shorter than the line itself needs
// (300 bit/s, and 600 bit/s in ASCII).
constexpr uint32_t REPLY_MARGIN_MS = 400;

// How often a lost device is looked for again.
constexpr uint32_t REOPEN_INTERVAL_MS = 1000;

// Room the RTS-switched write allows beyond the frame's own line time before it
// gives up waiting for the transmitter and turns the line round regardless.
constexpr int RTS_WAIT_MARGIN_MS = 100;

constexpr uint8_t GAP_MS = 20;

using lineformat::BitsPerCharacter;

// The settings text of a mode's character format, as "N,8,1".
std::string FormatText(int mode) {
  const lineformat::TCharFormat& f = lineformat::MODE_FORMATS[lineformat::ModeOrDefault(mode)];
  return std::string(1, f.Parity) + "," + std::to_string(f.Data) + "," + std::to_string(f.Stop);
}

// Any int may arrive from the settings file; widen before adding one.
std::string PortName(int portIndex) { return "COM" + std::to_string(static_cast<long long>(portIndex) + 1); }

void SleepAbout(std::chrono::microseconds t) { std::this_thread::sleep_for(t); }

}  // namespace

uint32_t GetTickCount32() {
  using namespace std::chrono;
  return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

TModbusPort::TModbusPort() : TModbusPort(OpenPortDevice) {}

TModbusPort::TModbusPort(DeviceOpener opener) : Opener(std::move(opener)) {
  if (!Opener) Opener = OpenPortDevice;
}

TModbusPort::~TModbusPort() = default;

// ---------------------------------------------------------------------------
// Port link

void TModbusPort::CheckPlatform() { Platform = QuerySerialPlatform(); }

void TModbusPort::UseNetwork(const std::string& name) {
  if (name == NetworkName) return;
  if (PortIndex >= 0) Close();
  NetworkName = name;
}

void TModbusPort::UseDevice(const std::string& name) {
  if (IsTcpDeviceName(name)) {
    if (!DeviceName.empty() && PortIndex >= 0) Close();
    DeviceName.clear();
    UseNetwork(name);
    return;
  }
  UseNetwork("");
  if (name == DeviceName) return;
  if (PortIndex >= 0) Close();
  DeviceName = name;
}

std::string TModbusPort::WantedName() const {
  if (!NetworkName.empty()) return NetworkName;
  if (!DeviceName.empty()) return DeviceName;
  return RequestedPortIndex >= 0 ? PortName(RequestedPortIndex) : std::string();
}

bool TModbusPort::PrepareDevice(SerialDevice& device, const char* lineSettings, bool rtsToggle) {
  device.SetQueueSizes(RING_SIZE, 250);
  device.SetNonBlocking();
  device.SaveOriginal();
  const bool applied = device.ApplyLineSettings(lineSettings, rtsToggle);
  device.PurgeInput();
  device.PurgeOutput();
  return applied;
}

int TModbusPort::Open(int portIndex) {
  CheckPlatform();
  RequestedPortIndex = portIndex;
  if (portIndex == PortIndex) return PortIndex;
  if (PortIndex >= 0) Close();
  OpenWanted = portIndex >= 0;
  const std::string name = portIndex >= 0 ? WantedName() : std::string();
  std::unique_ptr<SerialDevice> device = portIndex >= 0 ? Opener(name) : nullptr;
  LastOpenTryTick = GetTickCount32();
  if (!device) {
    PortIndex = -1;
    return -1;
  }
  OpenRetryMs = 0;
  Handle = std::move(device);
  DeviceLost = false;
  OpenedName = name;
  OpenedThroughFile = SerialPortFileExists(name);
  LineEcho = TLineEcho::Unknown;
  PortIndex = portIndex;
  if (!PrepareDevice(*Handle, OPEN_LINE_SETTINGS, false)) return -2;
  return PortIndex;
}

bool TModbusPort::RetryOpen() {
  if (PortIndex >= 0) return true;
  if (!OpenWanted) return false;
  OpenRetryMs = std::clamp<uint32_t>(OpenRetryMs, 500, PORT_RETRY_MAX_MS);
  if (GetTickCount32() - LastOpenTryTick < OpenRetryMs) return false;
  const uint32_t step = OpenRetryMs;
  if (Open(RequestedPortIndex) < 0) {
    OpenRetryMs = std::min(2 * step, PORT_RETRY_MAX_MS);
    return false;
  }
  if (LineSettingsText[0]) Handle->ApplyLineSettings(LineSettingsText, true);
  Handle->SetRts(false);
  return true;
}

int TModbusPort::Close() {
  if (PortIndex >= 0 && (Handle || DeviceLost)) {
    if (Handle) {
      Handle->RestoreOriginal();
      Handle->SetDtr(false);
      Handle->SetRts(false);
    }
    Handle.reset();
    PortIndex = -100;
  } else {
    PortIndex = -1;
  }
  DeviceLost = false;
  OpenWanted = false;
  RingRead = 0;
  RingWrite = 0;
  State = 0;
  EchoCheck = TEchoCheck::Off;
  return PortIndex;
}

int TModbusPort::Configure(int portIndex, int baudIndex, int mode, int linkType) {
  const bool portGiven = portIndex >= 0 && portIndex < PORT_COUNT;
  const bool baudGiven = baudIndex >= 0 && baudIndex < lineformat::BAUD_COUNT;
  const bool modeGiven = mode >= 0 && mode < lineformat::MODE_COUNT;
  int result = 0;
  if (portGiven) result = Open(portIndex);
  if (baudGiven) {
    BaudIndex = baudIndex;
    BaseTimeout = BAUD_TIMEOUT_MS[baudIndex];
  }
  if (modeGiven) Mode = mode;
  if (linkType >= 0) LinkType = linkType;
  if (portGiven) IoBase = IO_BASE[portIndex];

  // The table's time-out stands unless the longest reply cannot even cross
  // the line in that time at this baud rate and character format.
  if (baudGiven || modeGiven) {
    const int chars = IsRtu() ? LONGEST_EXCHANGE_RTU : LONGEST_EXCHANGE_ASCII;
    ReplyTimeout = std::max(BaseTimeout, FrameLineTimeMs(chars) + REPLY_MARGIN_MS);
  }

  std::snprintf(LineSettingsText, sizeof LineSettingsText, "%ld,%s", lineformat::BaudRate(BaudIndex),
                FormatText(Mode).c_str());
  if (PortIndex >= 0 && Handle) {
    Handle->ApplyLineSettings(LineSettingsText, true);
    Handle->SetRts(false);
  }
  State = 0;
  RingRead = 0;
  RingWrite = 0;
  EchoCheck = TEchoCheck::Off;
  LineEcho = TLineEcho::Unknown;
  return result;
}

void TModbusPort::GetSettings(int& portIndex, int& baudIndex, int& mode, int& linkType, int& ioBase) const {
  portIndex = PortIndex;
  baudIndex = BaudIndex;
  mode = Mode;
  linkType = LinkType;
  ioBase = IoBase;
}

uint32_t TModbusPort::FrameLineTimeMs(int characters) const {
  const long bits = static_cast<long>(characters) * BitsPerCharacter(Mode);
  const long rate = lineformat::BaudRate(BaudIndex);
  return static_cast<uint32_t>((bits * 1000 + rate - 1) / rate);
}

void TModbusPort::ReleaseLostDevice() {
  if (!Handle || !Handle->Lost()) return;
  // Closing at once lets the system give the name back to the device when it
  // returns (a USB adapter held open comes back under another name).
  Handle.reset();
  DeviceLost = true;
  LastReopenTick = GetTickCount32();
}

void TModbusPort::RecoverDevice() {
  ReleaseLostDevice();
  if (!DeviceLost || PortIndex < 0) return;
  const uint32_t now = GetTickCount32();
  if (now - LastReopenTick < REOPEN_INTERVAL_MS) return;
  LastReopenTick = now;
  // Only by the name and the way it was opened: while the port's file in the
  // working directory is missing, the port stays unplugged rather than
  // becoming the machine's own serial port of that number.
  if (SerialPortFileExists(OpenedName) != OpenedThroughFile) return;
  std::unique_ptr<SerialDevice> device = Opener(OpenedName);
  if (!device) return;
  const char* settings = LineSettingsText[0] ? LineSettingsText : OPEN_LINE_SETTINGS;
  PrepareDevice(*device, settings, LineSettingsText[0] != 0);
  device->SetRts(false);
  Handle = std::move(device);
  DeviceLost = false;
  LineEcho = TLineEcho::Unknown;
}

int TModbusPort::WriteWithRts(const uint8_t* frame, int length) {
  using clock = std::chrono::steady_clock;
  Handle->SetRts(true);
  const long written = Handle->Write(frame, static_cast<size_t>(length));
  // Every wait below ends by the frame's line time plus a margin, so an adapter
  // that never reports its transmitter empty cannot hold the program.
  const auto deadline = clock::now() + std::chrono::milliseconds(FrameLineTimeMs(length) + RTS_WAIT_MARGIN_MS);
  TSerialStatus status;
  while (Handle->GetStatus(status) && status.OutQueue != 0 && clock::now() < deadline)
    SleepAbout(std::chrono::microseconds(100));
  while (clock::now() < deadline) {
    const int empty = Handle->TransmitterEmpty();
    if (empty == 1) break;
    if (empty < 0) {  // the driver cannot tell: let it drain its own queue
      Handle->Drain();
      break;
    }
    SleepAbout(std::chrono::microseconds(50));
  }
  Handle->SetRts(false);
  return written < 0 ? 0 : static_cast<int>(written);
}

int TModbusPort::Send(const uint8_t* frame, int length) {
  Request.Length = 0;
  if (!Handle || length <= 0) return 0;
  TSerialStatus status;
  Handle->GetStatus(status);
  Handle->PurgeInput();
  Handle->PurgeOutput();
  Handle->ClearBreak();

  int written = 0;
  if (LinkType == 0 || !NetworkName.empty()) {  // a network server switches its line itself
    const long n = Handle->Write(frame, static_cast<size_t>(length));
    written = n < 0 ? 0 : static_cast<int>(n);
  } else if (LinkType == 1) {
    if (IoBase < 0) {
      written = 0;
    } else if (Platform == 2) {
      const long n = Handle->Write(frame, static_cast<size_t>(length));
      written = n < 0 ? 0 : static_cast<int>(n);
    } else {
      written = WriteWithRts(frame, length);
    }
  }
  ReleaseLostDevice();
  return written;
}

int TModbusPort::ReadInput() {
  if (!Handle) return -1;
  TSerialStatus status;
  if (!Handle->GetStatus(status)) {
    ReleaseLostDevice();
    return -1;
  }
  if (status.RxOverflow) {
    Handle->PurgeInput();
    return 0;
  }
  const int waiting = static_cast<int>(std::min<uint32_t>(status.InQueue, 1u << 30));
  uint8_t chunk[256];
  int taken = 0;
  while (taken < waiting) {
    const size_t want = std::min<size_t>(sizeof chunk, static_cast<size_t>(waiting - taken));
    const long n = Handle->Read(chunk, want);
    if (n <= 0) break;
    for (long i = 0; i < n; ++i) {
      Ring[RingWrite] = chunk[i];
      RingWrite = RingWrite + 1 == RING_SIZE ? 0 : RingWrite + 1;
    }
    taken += static_cast<int>(n);
  }
  ReleaseLostDevice();
  return waiting;
}

// ---------------------------------------------------------------------------
// Framing

int TModbusPort::BuildFrame(TModbusMessage& request) {
  // The PDU is the header bytes placed in front of the data area followed by
  // the appended data; it is gathered into one piece for the builders.
  uint8_t pdu[MESSAGE_HEADER_ROOM + MESSAGE_DATA_SIZE];
  int size = -1;
  const long inHeader = modbus::OffsetIn(request.Head, request.HeaderRoom, MESSAGE_HEADER_ROOM);
  if (inHeader >= 0 && inHeader < MESSAGE_HEADER_ROOM) {
    const int header = MESSAGE_HEADER_ROOM - static_cast<int>(inHeader);
    const int data = request.Length - header;
    if (data >= 0 && data <= MESSAGE_DATA_SIZE) {
      std::memcpy(pdu, request.HeaderRoom + inHeader, static_cast<size_t>(header));
      std::memcpy(pdu + header, request.Data, static_cast<size_t>(data));
      size = request.Length;
    }
  } else {
    const long inData = modbus::OffsetIn(request.Head, request.Data, MESSAGE_DATA_SIZE);
    if (inData >= 0 && request.Length >= 0 && inData + request.Length <= MESSAGE_DATA_SIZE) {
      std::memcpy(pdu, request.Data + inData, static_cast<size_t>(request.Length));
      size = request.Length;
    }
  }
  int length = -1;
  if (size > 0) {
    length = IsRtu() ? modbus::BuildRtuFrame(pdu, size, TxBuffer, TX_BUFFER_SIZE)
                     : modbus::BuildAsciiFrame(pdu, size, TxBuffer, TX_BUFFER_SIZE);
  }
  request.Head = request.Data;
  request.Tail = request.Data;
  return length;
}

int TModbusPort::ParseReply(TModbusMessage& reply) {
  bool broken = false;
  return ParseReply(reply, broken);
}

int TModbusPort::ParseReply(TModbusMessage& reply, bool& broken) {
  const modbus::TReplyMatch match{Request.Address, Request.Function};
  return IsRtu() ? modbus::ParseRtuReply(Ring, RingRead, RingWrite, reply, match, &broken)
                 : modbus::ParseAsciiReply(Ring, RingRead, RingWrite, reply, match, &broken);
}

// ---------------------------------------------------------------------------
// Transactions

int TModbusPort::AppendValue(char kind, const void* source) { return modbus::AppendValue(Request, kind, source); }

int TModbusPort::TakeValue(char kind, void* destination) { return modbus::TakeValue(Reply, kind, destination); }

int TModbusPort::RingAvailable() const {
  return (RingWrite - RingRead + RING_SIZE) % RING_SIZE;
}

// A line that echoes hands back the request frame itself, byte for byte, in
// front of the reply. The copy is skipped. For a write it cannot be told from
// the meter's reply (they are the same bytes) until the line is known: the
// copy is then held, and taken as the reply only when nothing follows it.
void TModbusPort::SkipEcho() {
  if (EchoCheck != TEchoCheck::Watching) return;
  // The copy is looked for by the request's own bytes. On a line known to echo
  // our own bytes come back before anything our request causes, so whatever
  // arrives in front of a copy is a stray (noise at the turnaround), never the
  // start of the reply; elsewhere a copy can only come first. Nothing is
  // passed over before a whole copy is there.
  const int available = RingAvailable();
  if (available == 0) return;
  const int lastStart = LineEcho == TLineEcho::Echoing ? available - 1 : 0;
  bool arriving = false;
  for (int start = 0; start <= lastStart; ++start) {
    const int n = std::min(available - start, SentLength);
    int same = 0;
    while (same < n && Ring[(RingRead + start + same) % RING_SIZE] == TxBuffer[same]) ++same;
    if (same < n) continue;
    if (n < SentLength) {  // a copy may still be arriving
      arriving = true;
      continue;
    }
    RingRead = (RingRead + start) % RING_SIZE;
    if (Request.Function == modbus::WRITE_SINGLE_REGISTER && LineEcho != TLineEcho::Echoing) {
      HeldCopyStart = RingRead;
      EchoCheck = TEchoCheck::Held;
    } else {
      EchoCheck = TEchoCheck::Skipped;
      LineEcho = TLineEcho::Echoing;
    }
    RingRead = (RingRead + SentLength) % RING_SIZE;
    return;
  }
  if (!arriving) EchoCheck = TEchoCheck::Off;  // no copy: these bytes are the reply
}

// The held copy of a write, once the time-out has passed with nothing behind
// it: on a line not known to echo it is the meter's reply.
int TModbusPort::TakeHeldCopy() {
  EchoCheck = TEchoCheck::Off;
  RingRead = HeldCopyStart;
  RingWrite = (HeldCopyStart + SentLength) % RING_SIZE;
  const int result = ParseReply(Reply);
  return result > 0 && Reply.Address == Request.Address ? result : -1;
}

int TModbusPort::PollReply() {
  const uint32_t now = GetTickCount32();
  if (Reply.StartTick == 0) Reply.StartTick = now;
  int result = -1;
  bool broken = false;
  const bool arrived = ReadInput() > 0;
  const TEchoCheck before = EchoCheck;
  SkipEcho();
  if (EchoCheck != TEchoCheck::Watching && EchoCheck != TEchoCheck::Held && RingAvailable() > 0)
    ReplyStarted = true;
  if ((arrived || EchoCheck != before) && EchoCheck != TEchoCheck::Watching && RingAvailable() > 0)
    result = ParseReply(Reply, broken);
  if (result > 0) {
    // A reply to a read with no copy of the request in front: no echo here.
    if (EchoCheck == TEchoCheck::Off && Request.Function == modbus::READ_HOLDING_REGISTERS)
      LineEcho = TLineEcho::Quiet;
    if (EchoCheck == TEchoCheck::Held) LineEcho = TLineEcho::Echoing;
    EchoCheck = TEchoCheck::Off;
    LastEnd = TReplyEnd::Reply;
    if (Reply.Address != Request.Address) result = MB_NO_REPLY;
    return result;
  }
  // A whole answer that failed its check: no other is coming, end at once.
  if (broken) {
    EchoCheck = TEchoCheck::Off;
    LastEnd = TReplyEnd::Broken;
    RingRead = 0;
    RingWrite = 0;
    return MB_NO_REPLY;
  }
  const uint32_t limit =
      ReplyWaitMs > 0 && !ReplyStarted ? std::min(ReplyWaitMs, ReplyTimeout) : ReplyTimeout;
  if (now - Reply.StartTick > limit) {
    if (EchoCheck == TEchoCheck::Held) {
      result = TakeHeldCopy();
      if (result > 0) {
        LastEnd = TReplyEnd::Reply;
        return result;
      }
    }
    EchoCheck = TEchoCheck::Off;
    LastEnd = TReplyEnd::Silence;
    result = MB_NO_REPLY;
    RingRead = 0;
    RingWrite = 0;
  }
  return result;
}

// Places the header in front of the data area, frames the PDU and sends it.
// Returns 0, or MB_BAD_REQUEST (nothing sent) when the frame would not fit.
int TModbusPort::SendRequest(uint8_t address, uint8_t function, int16_t reg, int headerBytes) {
  Request.Address = address;
  Request.Function = function;
  Request.Register = reg;
  const auto r = static_cast<uint16_t>(reg);
  const auto q = static_cast<uint16_t>(Request.Quantity);
  const uint8_t header[6] = {address, function, static_cast<uint8_t>(r >> 8), static_cast<uint8_t>(r),
                             static_cast<uint8_t>(q >> 8), static_cast<uint8_t>(q)};
  uint8_t* start = Request.HeaderRoom + (MESSAGE_HEADER_ROOM - headerBytes);
  std::memcpy(start, header, static_cast<size_t>(headerBytes));
  Request.Head = start;
  const int length = BuildFrame(Request);
  if (length < 0) {
    Request.Clear();
    return MB_BAD_REQUEST;
  }
  // Nothing left of the last transaction may be taken for this one's echo or reply.
  RingRead = 0;
  RingWrite = 0;
  ReplyStarted = false;
  LastEnd = TReplyEnd::None;
  Send(TxBuffer, length);
  SentLength = length;
  // On a line known to be quiet a copy of a write is the meter's reply.
  const bool quietWrite = function == modbus::WRITE_SINGLE_REGISTER && LineEcho == TLineEcho::Quiet;
  EchoCheck = quietWrite ? TEchoCheck::Off : TEchoCheck::Watching;
  State = MB_PENDING;
  Reply.StartTick = 0;
  return 0;
}

// Polls until the transaction ends, sleeping a little between polls.
int TModbusPort::WaitReply(bool cursorOnData) {
  int result;
  for (;;) {
    result = PollReply();
    if (cursorOnData) Reply.Head = Reply.Data + 3;
    if (result >= 0) break;
    SleepAbout(std::chrono::milliseconds(1));
  }
  State = 0;
  return result;
}

void TModbusPort::FinishPending() {
  if (State == MB_PENDING) WaitReply(false);
  std::this_thread::sleep_for(std::chrono::milliseconds(GAP_MS));
}

int TModbusPort::ReadRegisters(int address, int reg, int16_t count) {
  if (PortIndex < 0) return MB_PORT_CLOSED;
  if (address == 0) return MB_BAD_REQUEST;
  RecoverDevice();
  if (State == MB_PENDING) {
    const int result = PollReply();
    if (result > 0) {
      State = 0;
      if (result != modbus::READ_HOLDING_REGISTERS) return result;
      const bool matches = static_cast<uint8_t>(address) == Request.Address &&
                           Request.Function == modbus::READ_HOLDING_REGISTERS &&
                           static_cast<int16_t>(reg) == Request.Register &&
                           Reply.Function == modbus::READ_HOLDING_REGISTERS;
      return matches ? result : MB_NO_REPLY;
    }
  }
  if (State == MB_PENDING) return MB_PENDING;
  Request.Quantity = count;
  Request.Length = 6;
  const int sent =
      SendRequest(static_cast<uint8_t>(address), modbus::READ_HOLDING_REGISTERS, static_cast<int16_t>(reg), 6);
  return sent < 0 ? sent : MB_PENDING;
}

int TModbusPort::ReadRegistersWait(int address, int16_t reg, int16_t count) {
  if (PortIndex < 0) return MB_PORT_CLOSED;
  if (address == 0) return MB_BAD_REQUEST;
  RecoverDevice();
  FinishPending();
  State = 0;
  Request.Quantity = count;
  Request.Length = 6;
  const int sent = SendRequest(static_cast<uint8_t>(address), modbus::READ_HOLDING_REGISTERS, reg, 6);
  if (sent < 0) return sent;
  return WaitReply(true);
}

int TModbusPort::WriteRegister(uint8_t address, int16_t reg) {
  if (PortIndex < 0) return MB_PORT_CLOSED;
  if (Request.Length == 0) return MB_BAD_REQUEST;
  RecoverDevice();
  FinishPending();
  Request.Length += 4;
  const int sent = SendRequest(address, modbus::WRITE_SINGLE_REGISTER, reg, 4);
  if (sent < 0) return sent;
  return WaitReply(false);
}

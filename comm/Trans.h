// The serial link and Modbus master: one port, ASCII/RTU framing, and the
// request/reply transactions of functions 3 and 6.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "comm/ModbusMessage.h"
#include "comm/SerialDevice.h"

constexpr int MB_PENDING = 25;
constexpr int MB_NO_REPLY = 2;
constexpr int MB_BAD_REQUEST = -1;
constexpr int MB_PORT_CLOSED = -2;

// Monotonic milliseconds, wrapping at 32 bits like the system tick count.
uint32_t GetTickCount32();

class TModbusPort {
public:
  // Opens a device by its port name ("COM1", a device path, "tcp://HOST:PORT");
  // replaceable for tests.
  using DeviceOpener = std::function<std::unique_ptr<SerialDevice>(const std::string&)>;

  TModbusPort();
  explicit TModbusPort(DeviceOpener opener);
  ~TModbusPort();
  TModbusPort(const TModbusPort&) = delete;
  TModbusPort& operator=(const TModbusPort&) = delete;

  // Port link.
  int Open(int portIndex);
  int Close();
  int Configure(int portIndex, int baudIndex, int mode, int linkType);
  void GetSettings(int& portIndex, int& baudIndex, int& mode, int& linkType, int& ioBase) const;
  void CheckPlatform();
  int Send(const uint8_t* frame, int length);
  int ReadInput();

  // Framing.
  int BuildFrame(TModbusMessage& request);
  int ParseReply(TModbusMessage& reply);
  // As above; broken tells that a whole frame failed its check and no reply came.
  int ParseReply(TModbusMessage& reply, bool& broken);

  // Transactions.
  int AppendValue(char kind, const void* source);
  int TakeValue(char kind, void* destination);
  int PollReply();
  int ReadRegisters(int address, int reg, int16_t count);
  int ReadRegistersWait(int address, int16_t reg, int16_t count);
  int WriteRegister(uint8_t address, int16_t reg);

  bool IsRtu() const { return Mode >= 3 && Mode <= 6; }

  // Whether the line hands back what the master sends (a 2-wire adapter with
  // local echo), learnt from the traffic itself: a copy of the request frame
  // arriving in front of the reply to a read.
  enum class TLineEcho { Unknown, Echoing, Quiet };
  TLineEcho LineEcho = TLineEcho::Unknown;
  // A network serial server ("tcp://HOST:PORT") to open instead of the port's
  // COM name; empty for the serial port. The port index keeps its meaning (the
  // settings file, the I/O base). A change closes the open port; the next Open
  // or Configure opens the new choice.
  void UseNetwork(const std::string& name);
  std::string NetworkName;
  // A name to open instead of COM<index+1> whatever index the port is opened
  // under: "COM<n>", a device path ("/dev/ttyUSB0"), or a network server's
  // "tcp://HOST:PORT" (which is UseNetwork). Empty: the index's COM name. A
  // change closes the open port.
  void UseDevice(const std::string& name);
  std::string DeviceName;
  // The name the port is asked to open: the server, the device, or COM<n>.
  std::string WantedName() const;
  // The name the open port was opened by; a lost device is reopened by this
  // name only, never by another that an index or a setting might lead to.
  std::string OpenedName;

  // A port asked for that did not open (not there yet, refused) is tried again
  // here, at most once per back-off step: half a second, doubling up to
  // PORT_RETRY_MAX_MS. True once the port is open; it then has the line
  // settings in force. False at once when no port was asked for, or it was
  // closed since.
  bool RetryOpen();
  // True while a port asked for is not open and RetryOpen keeps trying it.
  bool WaitingForPort() const { return OpenWanted && PortIndex < 0; }
  static constexpr uint32_t PORT_RETRY_MAX_MS = 5000;

  // How the last transaction ended: its reply (or an exception, or another
  // slave's answer), a whole frame that failed its check, or silence.
  enum class TReplyEnd { None, Reply, Broken, Silence };
  TReplyEnd LastEnd = TReplyEnd::None;
  // The longest the transaction under way waits for its reply to start, in ms;
  // 0 for the whole ReplyTimeout, which bounds it in any case. A reply that has
  // started arriving is given the whole ReplyTimeout. Set by a master that
  // learns its meters' timing (the gateway).
  uint32_t ReplyWaitMs = 0;

  // Fields.
  std::unique_ptr<SerialDevice> Handle;  // the open port; null when none
  int State = 0;           // 0 idle, 25 a request is out
  int PortIndex = -100;    // 0..7 open, -100 closed, -1 last open failed
  int RequestedPortIndex = -100;  // the port last asked of Open, whether or not it opened
  int LinkType = 0;        // 0 RS485 card, 1 KX7 converter (RTS switched)
  int Mode = 0;            // 0..2 ASCII, 3..6 RTU
  int Platform = 0;        // 0 other, 1 Windows 9x, 2 Windows NT
  uint32_t ReplyTimeout = 800;
  int BaudIndex = 5;
  int16_t IoBase = -1;
  char LineSettingsText[34] = {};
  TModbusMessage Request;
  TModbusMessage Reply;
  uint8_t TxBuffer[TX_BUFFER_SIZE] = {};
  uint8_t Ring[RING_SIZE] = {};
  int RingRead = 0;
  int RingWrite = 0;

private:
  void ReleaseLostDevice();
  void RecoverDevice();
  bool PrepareDevice(SerialDevice& device, const char* lineSettings, bool rtsToggle);
  int SendRequest(uint8_t address, uint8_t function, int16_t reg, int headerBytes);
  void FinishPending();
  int WaitReply(bool cursorOnData);
  int RingAvailable() const;
  void SkipEcho();
  int TakeHeldCopy();
  int WriteWithRts(const uint8_t* frame, int length);
  uint32_t FrameLineTimeMs(int characters) const;

  DeviceOpener Opener;
  uint32_t BaseTimeout = 800;   // the baud table's time-out; ReplyTimeout never falls below it
  bool DeviceLost = false;      // the open port's device failed for good; reopened by name
  bool OpenedThroughFile = false;  // the open port's name is a file in the working directory
  uint32_t LastReopenTick = 0;  // tick of the last attempt to reopen a lost device
  uint32_t LastOpenTryTick = 0;  // tick of the last attempt to open a port that did not open
  uint32_t OpenRetryMs = 0;      // the back-off step RetryOpen waits now
  bool OpenWanted = false;       // a port was asked of Open and not closed since

  // Echo of the request that is out (TxBuffer holds its frame, SentLength long).
  enum class TEchoCheck { Off, Watching, Skipped, Held };
  TEchoCheck EchoCheck = TEchoCheck::Off;
  int SentLength = 0;
  int HeldCopyStart = 0;  // ring index of a copy that may be the echo or the reply
  bool ReplyStarted = false;  // bytes other than our own copy came since the send
};

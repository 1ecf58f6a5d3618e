// The request and reply record of the Modbus master, and the sizes of the
// buffers framing works on. Shared by the framing (ModbusFrame) and the port
// (Trans) without tying the one to the other.
#pragma once

#include <cstdint>

// Receive ring of the port, which the reply scanners read.
constexpr int RING_SIZE = 1024;
// Transmit buffer of the port: the longest frame a request makes.
constexpr int TX_BUFFER_SIZE = 100;
// Room in front of the data area for a request's header (address, function,
// register and count).
constexpr int MESSAGE_HEADER_ROOM = 7;
// Data area: the longest PDU after the address byte.
constexpr int MESSAGE_DATA_SIZE = 253;

// Request and reply record.
struct TModbusMessage {
  uint32_t StartTick = 0;  // reply: tick of the first poll after the send; 0 = not started
  int Length = 0;          // request: PDU bytes to send; reply: decoded bytes after the function
  uint8_t ByteCount = 0;   // reply: third byte
  int16_t Quantity = 0;    // request: register count of a read
  int16_t Register = 0;    // request: first register read or the register written
  uint8_t Function = 0;
  uint8_t Address = 0;
  uint8_t* Head = nullptr;  // request: first PDU byte; reply: read cursor of TakeValue
  uint8_t* Tail = nullptr;  // request: where AppendValue writes; reply: end of decoded bytes
  uint8_t HeaderRoom[MESSAGE_HEADER_ROOM] = {};
  uint8_t Data[MESSAGE_DATA_SIZE] = {};

  TModbusMessage() : Head(Data), Tail(Data) {}
  TModbusMessage(const TModbusMessage&) = delete;
  TModbusMessage& operator=(const TModbusMessage&) = delete;
  // Cursors back to the start of Data, length 0.
  void Clear() {
    Head = Data;
    Tail = Data;
    Length = 0;
  }
};

// The Windows serial layer over a handle opened elsewhere: OpenSerialDevice
// uses it, and the tests wrap a second handle of a port they watch.
#pragma once

#include <memory>

#include "comm/SerialDevice.h"

// Takes ownership of handle (a HANDLE of an open communications device). The
// port's timeouts and line settings as found now are what Close puts back.
std::unique_ptr<SerialDevice> MakeWin32SerialDevice(void* handle);

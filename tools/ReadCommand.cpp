// kavrel-cli read: a group of setup items, or one item, read from the meter.
#include "tools/CliSession.h"

#include <cstdio>
#include <string>

#include "comm/ModbusFrame.h"

namespace cli {

namespace {

// A Modbus exception code, with what it means for a read of this meter.
std::string ExceptionText(int code) {
  const std::string head = "exception " + std::to_string(code);
  switch (code) {
    case 1:
      return head + " (illegal function): the meter does not read registers this way";
    case 2:
      return head + " (illegal data address): the registers do not exist on that meter; is the model right?";
    case 3:
      return head + " (illegal data value): the meter refuses a read of that length";
    case 4:
      return head + " (slave device failure): the meter could not carry the read out";
    case 6:
      return head + " (slave device busy): try again";
    default:
      return head;
  }
}

}  // namespace

int TSession::Read(const std::string& selectorText) {
  int selector = 0;
  if (int r = CheckSelector(selectorText, true, selector); r != RC_OK) return r;
  if (int r = OpenPort(); r != RC_OK) return r;
  if (!Connect()) return RC_NO_REPLY;
  const int group = selector / 100;
  std::string text;
  Port.Reply.Function = 0;  // an exception reply to this read, not to an earlier one
  Meter.ReadOrFormatValue(group * 100, text, nullptr);
  if (!Meter.LastGroupReadOk) {
    if (Port.Reply.Function == (modbus::READ_HOLDING_REGISTERS | modbus::EXCEPTION_FLAG)) {
      std::fprintf(stderr, "kavrel-cli: %s answered the read of group %d with %s\n", Meter.Name, group,
                   ExceptionText(Port.Reply.ByteCount).c_str());
    } else {
      std::fprintf(stderr, "kavrel-cli: no reply to the read of group %d from %s\n", group, Meter.Name);
    }
    return RC_NO_REPLY;
  }
  std::string title;
  Meter.GetCatalogText(group * 100, title);
  std::printf("%s: %s\n", Meter.Name, title.c_str());
  const TParamGroup* g = GetParamGroup(group);
  for (int n = 1; g && n <= g->Count; ++n) {
    const int item = group * 100 + n;
    if (selector % 100 != 0 && item != selector) continue;
    std::string code, description, value;
    Meter.GetCatalogText(item, description);
    Meter.FormatValueWithUnit(item, value, &code);
    while (!value.empty() && value.back() == ' ') value.pop_back();  // no unit
    std::printf("%6d  %-10s %-52s %s\n", item, code.c_str(), description.c_str(), value.c_str());
  }
  return RC_OK;
}

}  // namespace cli

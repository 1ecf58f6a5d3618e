// TTR5: link events, then the start and end of the relay alarms A1..A3.
#include "model/TR5.h"

namespace {

constexpr int ALARM_COUNT = 3;

const char* const ALARM_START_TEXT[ALARM_COUNT] = {
    "\tStart of alarm A1",
    "\tStart of alarm A2",
    "\tStart of alarm A3",
};
const char* const ALARM_END_TEXT[ALARM_COUNT] = {
    "\tEnd of alarm A1",
    "\tEnd of alarm A2",
    "\tEnd of alarm A3",
};

}  // namespace

int TTR5::NextEvent(int& code, std::string& text) {
  const int link = TSlownik::NextEvent(code, text);
  if (link != 0) return link;  // a link event, or not connected: no alarms

  TZmienna* first = FirstChild();
  TZmienna* alr = first ? first->FindById(RELAY_VARIABLE_ID) : nullptr;
  if (!alr) return 0;
  const float v = alr->GetValue();
  // A VR5 or VR5B has four relay outputs (0..15), the other models three
  // (0..7); alarms A1..A3 are bits 0 to 2 whatever output 4 does. NO_VALUE
  // (never read), a reading outside that range or not a number tells nothing
  // about the alarms.
  const float outputs = (Kind == MT_VR5 || Kind == MT_VR5B) ? 16.0f : 8.0f;
  if (!(v >= 0.0f && v < outputs)) return 0;

  const int bits = static_cast<int>(v) & 7;
  const int changed = (bits ^ AlarmFlags) & 0xFFFF;
  for (int a = 0; a < ALARM_COUNT; ++a) {
    const int bit = 1 << a;
    if (!(changed & bit)) continue;
    if (bits & bit) {
      text = ALARM_START_TEXT[a];
      AlarmFlags |= bit;
    } else {
      text = ALARM_END_TEXT[a];
      AlarmFlags &= ~bit;
    }
    return 1;
  }
  return 0;
}

// A line's framing named as outside the port dialog: "ascii" or "rtu" with a
// character format such as "8N1" or "7E1", and the mode number the settings
// file keeps as Mode= (0 ASCII 8N1, 1 ASCII 7E1, 2 ASCII 7O1, 3 RTU 8N2,
// 4 RTU 8E1, 5 RTU 8O1, 6 RTU 8N1).
#pragma once

#include <string>
#include <string_view>

// The mode of a framing and a format (letter case ignored; an empty format is
// 8N1). -1 with the reason in error for a framing or a format the line has not.
int ModeFromFraming(std::string_view framing, std::string_view format, std::string& error);

// Operating system family as the port link classifies it.
#pragma once

// 1 Windows 9x family, 2 Windows NT family, 0 any other system (or the query failed).
int QuerySerialPlatform();

// Toolbar glyphs and the program icon, drawn in code so that they are sharp at
// every size and screen scale.
#pragma once

#include <QIcon>

enum class TGlyph { Table, Charts, Print, Exit, DeviceList, Program };

QIcon MakeGlyph(TGlyph glyph);

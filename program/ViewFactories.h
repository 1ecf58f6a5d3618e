// The windows the main window opens, joined to it once for the program and
// for the screenshots of the user guide.
#pragma once

#include "views/ChildWin.h"
#include "views/Dlgprog.h"
#include "views/Harm.h"
#include "views/MeterView.h"
#include "views/Minmax.h"
#include "views/Tabela.h"

inline TViewFactories ProgramViews() {
  TViewFactories views;
  views.ChartWindow = MakeChartWindow;
  views.TableWindow = MakeTableWindow;
  views.Harmonics = MakeHarmonicsWindow;
  views.Extreme = MakeExtremeWindow;
  views.Programming = RunProgrammingDialog;
  return views;
}

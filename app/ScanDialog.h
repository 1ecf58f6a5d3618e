// "Find meters": the bus scan run from the device list. The scan runs on a
// thread of its own, so the window stays responsive; progress and Cancel are
// shown while it runs, and the meters found can be chosen for the device list.
#pragma once

#include <QDialog>
#include <QString>
#include <memory>
#include <thread>
#include <vector>

#include "model/BusScan.h"

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableWidget;
class TModbusPort;

class TScanDialog : public QDialog {
  Q_OBJECT
public:
  // The port must stay open and untouched by anything else while a scan runs:
  // ScanRunning(true) asks for polling to pause, ScanRunning(false) lets it go on.
  explicit TScanDialog(TModbusPort* port, QWidget* parent = nullptr);
  ~TScanDialog() override;

  // A meter chosen for the device list.
  struct TChosen {
    int MeterType = 0;
    int Address = 0;
    TLineSetting Setting;
  };

  QSpinBox* FromBox;
  QSpinBox* ToBox;
  QCheckBox* AllSettingsBox;
  QLabel* EstimateLabel;
  QPushButton* StartButton;
  QPushButton* CancelButton;
  QProgressBar* Progress;
  QLabel* StatusLabel;
  // One row per meter found: Add (check box), Address, Model (a choice where
  // the registers cannot name it), Settings.
  QTableWidget* FindList;
  QPushButton* AddButton;
  QPushButton* CloseButton;
  // What each first probe waits beyond its line time (TBusScan::ProbeMarginMs).
  uint32_t ProbeMarginMs = 50;
  // The port's latency measured by the last scan, for the next one and its estimate.
  uint32_t LatencyMs = 0;

  bool Running() const { return Worker.joinable(); }
  const std::vector<TScanFind>& Found() const { return Finds; }
  // Filled by AddClick, which accepts the dialog when every ticked row has a model.
  const std::vector<TChosen>& Chosen() const { return ChosenList; }

  void StartClick();
  void CancelClick();
  void AddClick();
  void UpdateEstimate();

signals:
  void ScanRunning(bool running);
  void ScanDone();

public slots:
  void done(int result) override;

private:
  void ShowProgress(const TScanProgress& progress);
  void ShowFind(const TScanFind& find);
  void Finish(const TScanResult& result);
  void StopWorker();
  void ReleasePort();

  TModbusPort* Port;
  std::unique_ptr<TBusScan> Scan;
  std::thread Worker;
  std::vector<TScanFind> Finds;
  std::vector<TChosen> ChosenList;
  bool PortTaken = false;  // ScanRunning(true) sent, (false) not yet
};

// The meter setup dialog of "Compare with file…" and "Restore from file…":
// the items whose value in a setup file differs from the meter's, side by
// side; on restore, after the user agrees, each of them written through the
// meter's writing path and reported as written, refused or not confirmed.
#pragma once

#include <QDialog>
#include <QString>
#include <vector>

#include "model/SetupFile.h"

class QLabel;
class QPushButton;
class QTableWidget;
class TTR5;

class TSetupDialog : public QDialog {
  Q_OBJECT
public:
  enum class TMode { Compare, Restore };

  // Reads the file and the meter at once; what went wrong shows in Summary.
  TSetupDialog(TTR5& meter, TMode mode, const QString& path, QWidget* parent = nullptr);

  // Columns: selector, code, description, file, meter, unit, result.
  QTableWidget* Table;
  QLabel* Summary;
  QPushButton* WriteBtn;  // restore only: "Write"
  QPushButton* CloseBtn;

  // The differences found; empty when the file was refused or matches.
  const std::vector<TSetupDifference>& Differences() const { return Found; }
  // Writes the differing items one by one and fills the result column.
  void WriteClick();

private:
  void Load(const QString& path);
  static QString RestoreText(const TRestoreResult& r);

  TTR5& Meter;
  TMode Mode;
  std::vector<TSetupDifference> Found;
};

// Reads every setup item of meter and writes the setup file at path (UTF-8,
// replaced only once complete). False with the reason in error.
bool SaveMeterSetup(TTR5& meter, const QString& path, QString& error, int* items = nullptr);

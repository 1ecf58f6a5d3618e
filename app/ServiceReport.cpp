#include "app/ServiceReport.h"

#include <QColor>
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <string>

#include "comm/LineFormat.h"
#include "comm/Trans.h"
#include "model/ParamDef.h"
#include "model/SetupFile.h"
#include "model/TR5.h"
#include "views/MeterTexts.h"

namespace {

constexpr int THD_GROUP = 20;
// A harmonic's bar: the largest of a phase this long, in the document's
// pixels; the image it is drawn with.
constexpr int BAR_LENGTH = 400;
constexpr int BAR_HEIGHT = 10;
constexpr const char* BAR_IMAGE = "bar.png";
const QColor BAR_COLOUR(0x3a, 0x6f, 0xb0);
// Harmonics of U1, U2, U3, I1, I2, I3 (groups 22 to 27), their THD items in group 20.
constexpr int FIRST_HARMONICS_GROUP = 22;
constexpr int PHASES = 6;
const char* const PHASE_NAMES[PHASES] = {"Voltage L1", "Voltage L2", "Voltage L3",
                                         "Current L1", "Current L2", "Current L3"};
// Extreme values groups and the groups of their times.
constexpr struct {
  int Values;
  int Times;
} EXTREMES[] = {{28, 34}, {29, 35}, {30, 36}, {31, 37}, {21, 38}};

const char* const MODE_TEXT[] = {"ASCII 8N1", "ASCII 7E1", "ASCII 7O1", "RTU 8N2", "RTU 8E1", "RTU 8O1", "RTU 8N1"};

QString Esc(const QString& s) { return s.toHtmlEscaped(); }
QString Esc(const std::string& s) { return QString::fromStdString(s).toHtmlEscaped(); }
QString Esc(const char* s) { return QString::fromUtf8(s).toHtmlEscaped(); }

bool HasGroup(const TTR5& meter, int group) {
  const TParamGroup* g = GetParamGroup(group);
  return g && (g->Models & ModelMask(meter.Kind));
}

QString ValueText(TTR5& meter, int selector) {
  std::string text;
  meter.ReadOrFormatValue(selector, text, nullptr);
  return text.empty() ? QStringLiteral("—") : Esc(text);
}

class TReport {
public:
  TReport(TTR5& meter, const std::function<bool(int, int, const QString&)>& progress)
      : Meter(meter), Progress(progress) {}

  // Reads a group for the report; false (and noted as missing) when it fails.
  bool Read(int group, const QString& what) {
    if (Cancelled) return false;
    if (Progress && !Progress(Step++, Steps, what)) {
      Cancelled = true;
      Outcome.Missing << QStringLiteral("cancelled before: %1").arg(what);
      return false;
    }
    std::string text;
    if (Meter.LinkState == 1) Meter.ReadOrFormatValue(group * 100, text, nullptr);
    if (Meter.LinkState != 1 || Meter.LastGroupReadOk != 1) {
      Outcome.Missing << what;
      return false;
    }
    return true;
  }

  TTR5& Meter;
  std::function<bool(int, int, const QString&)> Progress;
  TReportOutcome Outcome;
  int Step = 0;
  int Steps = 0;
  bool Cancelled = false;
};

}  // namespace

TReportOutcome WriteServiceReport(TTR5& meter, const TModbusPort& port, const std::vector<TCsvRow>& events,
                                  const QString& path, const QString& version,
                                  const std::function<bool(int, int, const QString&)>& progress) {
  TReport report(meter, progress);
  const char* model = ModelName(meter.Kind);
  std::vector<int> extremes;
  for (const auto& e : EXTREMES)
    if (HasGroup(meter, e.Values)) extremes.push_back(e.Values);
  const bool times = meter.Kind == MT_VR5 || meter.Kind == MT_VR5B;
  report.Steps = 1 + PHASES + int(extremes.size()) * (times ? 2 : 1) + 1;

  QString html;
  html += QStringLiteral(
      "<html><head><style>"
      "body { font-family: sans-serif; font-size: 9pt; } h1 { font-size: 16pt; } h2 { font-size: 12pt; }"
      "td, th { padding: 1px 4px; } th { background: #dde4ee; text-align: left; }"
      ".warn { color: #b00000; font-weight: bold; }"
      "</style></head><body>");
  html += (QStringLiteral("<h1>") + QCoreApplication::translate("TServiceReport", "Service report: %1 %2") +
           QStringLiteral("</h1>"))
              .arg(Esc(QString(model ? model : "?")), Esc(meter.Name));
  html += QStringLiteral("@@INCOMPLETE@@");

  // Identity and link.
  int portIndex = 0, baud = 0, mode = 0, link = 0, ioBase = 0;
  port.GetSettings(portIndex, baud, mode, link, ioBase);
  const int shownPort = portIndex >= 0 ? portIndex : port.RequestedPortIndex;
  html += QStringLiteral("<h2>") + QCoreApplication::translate("TServiceReport", "Meter and link") +
          QStringLiteral("</h2><table>");
  auto row = [&](const QString& a, const QString& b) {
    html += QStringLiteral("<tr><th>%1</th><td>%2</td></tr>").arg(a, b);
  };
  row(QCoreApplication::translate("TServiceReport", "Model"), Esc(QString(model ? model : "?")));
  row(QCoreApplication::translate("TServiceReport", "Address"), QString::number(meter.Address));
  row(QCoreApplication::translate("TServiceReport", "Name"), Esc(meter.Name));
  row(QCoreApplication::translate("TServiceReport", "Description"), Esc(meter.Description));
  row(QCoreApplication::translate("TServiceReport", "Port"),
      shownPort >= 0 ? QStringLiteral("COM%1").arg(shownPort + 1)
                     : QCoreApplication::translate("TServiceReport", "none"));
  row(QCoreApplication::translate("TServiceReport", "Baud rate"),
      baud >= 0 && baud < lineformat::BAUD_COUNT ? QString::number(lineformat::BAUD_RATES[baud])
                                                 : QString("?"));
  row(QCoreApplication::translate("TServiceReport", "Transmission mode"),
      mode >= 0 && mode < 7 ? QString(MODE_TEXT[mode]) : QString("?"));
  row(QCoreApplication::translate("TServiceReport", "Link"),
      link == 1 ? QCoreApplication::translate("TServiceReport", "KX7 converter")
                : QCoreApplication::translate("TServiceReport", "RS485 card"));
  row(QCoreApplication::translate("TServiceReport", "Made"),
      QDateTime::currentDateTime().toString(Qt::ISODate));
  row(QCoreApplication::translate("TServiceReport", "Program"),
      QStringLiteral("Kavrel %1").arg(Esc(version)));
  html += QStringLiteral("</table>");

  // Live values as the table shows them.
  html += QStringLiteral("<h2>%1</h2><table><tr><th>%2</th><th>%3</th><th>%4</th></tr>")
              .arg(QCoreApplication::translate("TServiceReport", "Live values"),
                   QCoreApplication::translate("TServiceReport", "Code"),
                   QCoreApplication::translate("TServiceReport", "Description"),
                   QCoreApplication::translate("TServiceReport", "Value"));
  for (TZmienna* z = meter.FirstChild(); z; z = z->Next.get()) {
    if (IsSetupRegister(z->Id)) continue;
    const auto* num = dynamic_cast<const TZmiennaNum*>(z);
    const float v = z->GetValue();
    const QString value = !(std::fabs(v) < NO_VALUE)
                              ? QStringLiteral("—")
                              : Esc(MagnitudeText(v)) + (num && num->Unit[0] ? " " + Esc(num->Unit) : "");
    html += QStringLiteral("<tr><td>%1</td><td>%2</td><td align=right>%3</td></tr>")
                .arg(Esc(z->Name), Esc(TranslatedMeterText(z->Description)), value);
  }
  html += QStringLiteral("</table>");

  // THD and harmonics.
  html += QStringLiteral("<h2>") + QCoreApplication::translate("TServiceReport", "THD and harmonics") +
          QStringLiteral("</h2>");
  const bool thd = report.Read(THD_GROUP, "THD");
  for (int p = 0; p < PHASES; ++p) {
    const int group = FIRST_HARMONICS_GROUP + p;
    if (!HasGroup(meter, group)) continue;
    html += QStringLiteral("<h3>%1: THD %2</h3>")
                .arg(QCoreApplication::translate("THarmoniczne", PHASE_NAMES[p]),
                     thd ? ValueText(meter, THD_GROUP * 100 + p + 1) : QStringLiteral("—"));
    if (!report.Read(group, QStringLiteral("harmonics of %1").arg(PHASE_NAMES[p]))) continue;
    const TParamGroup* g = GetParamGroup(group);
    double high = 0;
    for (int i = 0; i < g->Count; ++i)
      if (std::fabs(g->Definitions[i].LastValue) < NO_VALUE) high = std::max(high, g->Definitions[i].LastValue);
    html += QStringLiteral("<table><tr><th>%1</th><th>%2</th><th></th></tr>")
                .arg(QCoreApplication::translate("TServiceReport", "Order"),
                     QCoreApplication::translate("TServiceReport", "Value"));
    for (int i = 0; i < g->Count; ++i) {
      // The bar is an image stretched to a length that follows the value: the
      // layout keeps an image's width on every page, where it gives a nested
      // table the whole cell.
      const double v = g->Definitions[i].LastValue;
      const int length =
          high > 0 && v > 0 && v < NO_VALUE ? std::max(1, int(std::lround(v / high * BAR_LENGTH))) : 0;
      const QString bar = length > 0 ? QStringLiteral("<img src=\"%1\" width=%2 height=%3>")
                                           .arg(QLatin1String(BAR_IMAGE))
                                           .arg(length)
                                           .arg(BAR_HEIGHT)
                                     : QString();
      html += QStringLiteral("<tr><td>%1</td><td align=right>%2</td><td>%3</td></tr>")
                  .arg(Esc(g->Definitions[i].Code), ValueText(meter, group * 100 + i + 1), bar);
    }
    html += QStringLiteral("</table>");
  }

  // Extreme values.
  html += QStringLiteral("<h2>") + QCoreApplication::translate("TServiceReport", "Extreme values") +
          QStringLiteral("</h2>");
  for (const auto& e : EXTREMES) {
    if (!HasGroup(meter, e.Values)) continue;
    const TParamGroup* g = GetParamGroup(e.Values);
    const bool values = report.Read(e.Values, Esc(g->Title));
    const bool withTimes = times && HasGroup(meter, e.Times) && values && report.Read(e.Times, Esc(GetParamGroup(e.Times)->Title));
    if (!values) continue;
    html +=
        QStringLiteral("<h3>%1</h3><table><tr><th>%3</th><th>%4</th>%2</tr>")
            .arg(
                Esc(TranslatedMeterText(g->Title)),
                withTimes
                    ? QStringLiteral("<th>%1</th>").arg(QCoreApplication::translate("TServiceReport", "Time"))
                    : QString(),
                QCoreApplication::translate("TServiceReport", "Quantity"),
                QCoreApplication::translate("TServiceReport", "Value"));
    for (int i = 0; i < g->Count; ++i) {
      html += QStringLiteral("<tr><td>%1</td><td align=right>%2</td>%3</tr>")
                  .arg(Esc(TranslatedMeterText(g->Definitions[i].Description)),
                       ValueText(meter, e.Values * 100 + i + 1),
                       withTimes ? "<td>" + ValueText(meter, e.Times * 100 + i + 1) + "</td>" : QString());
    }
    html += QStringLiteral("</table>");
  }

  // The whole setup.
  html += QStringLiteral("<h2>") + QCoreApplication::translate("TServiceReport", "Setup") +
          QStringLiteral("</h2>");
  TSetup setup;
  std::string error;
  bool setupRead = false;
  if (!report.Cancelled && (!progress || progress(report.Step++, report.Steps, QStringLiteral("setup")))) {
    setupRead = ReadSetup(meter, setup, error);
    if (!setupRead) report.Outcome.Missing << QStringLiteral("setup: %1").arg(QString::fromStdString(error));
  } else if (!report.Cancelled) {
    report.Cancelled = true;
    report.Outcome.Missing << QStringLiteral("cancelled before: setup");
  }
  if (setupRead) {
    html += QStringLiteral("<table><tr><th>%1</th><th>%2</th><th>%3</th><th>%4</th></tr>")
                .arg(QCoreApplication::translate("TServiceReport", "Item"),
                     QCoreApplication::translate("TServiceReport", "Code"),
                     QCoreApplication::translate("TServiceReport", "Description"),
                     QCoreApplication::translate("TServiceReport", "Value"));
    for (const TSetupItem& item : setup.Items) {
      html += QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3</td><td align=right>%4 %5</td></tr>")
                  .arg(item.Selector)
                  .arg(Esc(item.Code), Esc(TranslatedMeterText(item.Description)),
                       Esc(SetupValueText(item.Value)), Esc(item.Unit));
    }
    html += QStringLiteral("</table>");
  } else {
    html +=
        QStringLiteral("<p class=warn>%1</p>").arg(QCoreApplication::translate("TServiceReport", "not read"));
  }

  // Events, oldest first.
  html += QStringLiteral("<h2>%1</h2><table><tr><th>%2</th><th>%3</th></tr>")
              .arg(QCoreApplication::translate("TServiceReport", "Events"),
                   QCoreApplication::translate("TServiceReport", "Time"),
                   QCoreApplication::translate("TServiceReport", "Event"));
  for (size_t i = 1; i < events.size(); ++i) {
    if (events[i].size() < 2) continue;
    html += QStringLiteral("<tr><td>%1</td><td>%2</td></tr>").arg(Esc(events[i][0]), Esc(events[i][1]));
  }
  html += QStringLiteral("</table></body></html>");

  report.Outcome.Complete = report.Outcome.Missing.isEmpty();
  QString banner;
  if (!report.Outcome.Complete) {
    banner = (QStringLiteral("<p class=warn>") +
              QCoreApplication::translate("TServiceReport", "INCOMPLETE REPORT: not read: %1") +
              QStringLiteral("</p>"))
                 .arg(Esc(report.Outcome.Missing.join(QStringLiteral("; "))));
  }
  html.replace(QStringLiteral("@@INCOMPLETE@@"), banner);

  // Written beside the old file, which is replaced only by a complete one.
  const QString temp = path + QStringLiteral(".new");
  QFile::remove(temp);
  {
    QPdfWriter writer(temp);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setResolution(300);
    writer.setTitle(QStringLiteral("Kavrel service report"));
    writer.setCreator(QStringLiteral("Kavrel %1").arg(version));
    QTextDocument document;
    QImage bar(1, 1, QImage::Format_RGB32);
    bar.fill(BAR_COLOUR);
    document.addResource(QTextDocument::ImageResource, QUrl(QLatin1String(BAR_IMAGE)), bar);
    document.setHtml(html);
    // Printing a document without a page size of its own breaks it into pages
    // of the writer's size and numbers them at the foot of each page.
    document.print(&writer);
  }
  if (QFileInfo(temp).size() == 0 || (QFile::exists(path) && !QFile::remove(path)) || !QFile::rename(temp, path)) {
    QFile::remove(temp);
    report.Outcome.Error = QStringLiteral("Cannot write %1").arg(path);
    return report.Outcome;
  }
  report.Outcome.Written = true;
  return report.Outcome;
}

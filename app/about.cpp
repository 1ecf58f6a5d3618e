#include "app/about.h"

#include <QCoreApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/Glyphs.h"

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
  setWindowTitle(tr("About ..."));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
  setModal(true);

  auto* panel = new QFrame(this);
  panel->setFrameShape(QFrame::Panel);
  panel->setFrameShadow(QFrame::Sunken);

  ProgramIcon = new QLabel(panel);
  ProgramIcon->setPixmap(MakeGlyph(TGlyph::Program).pixmap(QSize(48, 48), devicePixelRatioF()));
  ProgramIcon->setFixedSize(52, 52);
  ProductName = new QLabel(tr("Kavrel - Service Program for TR5, TR5B, VR5, VR5B, TR8"), panel);
  ProductName->setWordWrap(true);
  // The version the program was built as, set at start-up (as --version prints it).
  Version = new QLabel(tr("Version %1").arg(QCoreApplication::applicationVersion()), panel);
  Copyright = new QLabel(tr("The Kavrel developers"), panel);
  Copyright->setAlignment(Qt::AlignCenter);
  Comments = new QLabel(tr("Free software under the GNU General Public License, version 3 or "
                           "later. It comes with ABSOLUTELY NO WARRANTY."),
                        panel);
  Comments->setWordWrap(true);
  Comments->setAlignment(Qt::AlignCenter);

  auto* top = new QHBoxLayout;
  top->addWidget(ProgramIcon, 0, Qt::AlignTop);
  auto* texts = new QVBoxLayout;
  texts->addWidget(ProductName);
  texts->addWidget(Version);
  top->addLayout(texts, 1);
  auto* inPanel = new QVBoxLayout(panel);
  inPanel->addLayout(top);
  inPanel->addStretch(1);
  inPanel->addWidget(Copyright);
  inPanel->addWidget(Comments);

  OKButton = new QPushButton(tr("OK"), this);
  OKButton->setDefault(true);
  connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(panel, 1);
  layout->addWidget(OKButton, 0, Qt::AlignHCenter);
  setMinimumSize(296, 218);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

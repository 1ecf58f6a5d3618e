// The device list dialog and the port settings dialog, driven through their
// widgets as a user would, and the about box.
#include <gtest/gtest.h>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <filesystem>
#include <memory>

#include "app/Dlgport.h"
#include "app/Konfig.h"
#include "app/about.h"
#include "comm/Trans.h"
#include "tests/support/GuiTestSupport.h"
#include "tests/support/PtyTools.h"
#include "tests/support/TcpPeer.h"

using Lines = std::vector<std::string>;

namespace {

// A dialog shown on screen, as the main window shows it.
std::unique_ptr<TDialogKonfig> ShowKonfig(Lines* lines) {
  auto dialog = std::make_unique<TDialogKonfig>(lines);
  dialog->DeviceType = 80;
  dialog->DeviceAddress = 1;
  dialog->DeviceName = "TR5_1";
  dialog->DeviceDescription = "in use";
  dialog->show();
  EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
  return dialog;
}

void ClickCell(TDialogKonfig& dialog, int gridRow, int column) {
  QTableWidget* grid = dialog.StringGrid1;
  const QRect cell = grid->visualRect(grid->model()->index(gridRow - 1, column));
  ASSERT_TRUE(cell.isValid());
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
}

// Opens the cell's editor and types text into it; the editor is left open.
QLineEdit* TypeIntoCell(TDialogKonfig& dialog, int gridRow, int column, const QString& text) {
  QTableWidget* grid = dialog.StringGrid1;
  grid->setCurrentCell(gridRow - 1, column);
  grid->editItem(grid->item(gridRow - 1, column));
  QLineEdit* editor = nullptr;
  for (auto* e : grid->viewport()->findChildren<QLineEdit*>()) {
    if (e->isVisible()) editor = e;  // editors closed before linger hidden for a while
  }
  if (!editor) return nullptr;
  editor->selectAll();
  QTest::keyClicks(editor, text);
  return editor;
}

int VisibleDeviceRows(const TDialogKonfig& dialog) {
  int rows = 0;
  for (int r = 0; r < dialog.StringGrid1->rowCount(); ++r) rows += !dialog.StringGrid1->isRowHidden(r);
  return rows;
}

}  // namespace

TEST(DeviceListDialog, TypeCellsPassTheSelectionToTheAddressCell) {
  Lines lines = {"Dev0=TR5,5,Feeder 2,", "Dev1=VR5,7,Main,"};
  auto dialog = ShowKonfig(&lines);
  ClickCell(*dialog, 3, 0);
  EXPECT_EQ(dialog->CurrentGridRow(), 3);
  EXPECT_EQ(dialog->StringGrid1->currentColumn(), 1);
  ClickCell(*dialog, 2, 2);
  EXPECT_EQ(dialog->StringGrid1->currentColumn(), 2);
  // Type cells cannot be edited either.
  EXPECT_FALSE(dialog->StringGrid1->item(1, 0)->flags() & Qt::ItemIsEditable);
}

TEST(DeviceListDialog, DeleteRemovesOnlyASelectedDeviceAndOkRenumbers) {
  Lines lines = {"Dev0=TR5,1,first,", "Dev1=TR5B,2,second,", "Dev2=VR5B,3,third,"};
  auto dialog = ShowKonfig(&lines);
  ASSERT_EQ(VisibleDeviceRows(*dialog), 3);
  EXPECT_EQ(dialog->CurrentGridRow(), 1);
  QTest::mouseClick(dialog->Button2, Qt::LeftButton);  // nothing selected
  EXPECT_EQ(VisibleDeviceRows(*dialog), 3);

  ClickCell(*dialog, 3, 2);
  QTest::mouseClick(dialog->Button2, Qt::LeftButton);
  ASSERT_EQ(VisibleDeviceRows(*dialog), 2);
  EXPECT_TRUE(dialog->StringGrid1->isRowHidden(0));
  EXPECT_EQ(dialog->Cell(2, 3), "third");

  dialog->StringGrid1->setCurrentCell(0, 1);  // back to no device row
  QTest::mouseClick(dialog->OKBtn, Qt::LeftButton);
  EXPECT_EQ(lines, (Lines{"Dev0=TR5,1,first,", "Dev1=VR5B,3,third,"}));
  // No device row selected: the device in use stays.
  EXPECT_EQ(dialog->DeviceType, 80);
  EXPECT_EQ(dialog->DeviceAddress, 1);
  EXPECT_EQ(dialog->DeviceName, "TR5_1");
  EXPECT_EQ(dialog->DeviceDescription, "in use");
}

TEST(DeviceListDialog, TypedTextIsTakenAsTypedButOnlySlaveAddressesCount) {
  Lines lines = {"Dev0=TR5,5,Feeder 2,", "Dev1=VR5,300,typed into the file,"};
  auto dialog = ShowKonfig(&lines);
  QLineEdit* editor = TypeIntoCell(*dialog, 2, 2, "Feeder, left");
  ASSERT_NE(editor, nullptr);
  QTest::keyClick(editor, Qt::Key_Return);
  // No slave address: refused with the reason, the cell keeps its value.
  for (const char* typed : {"x7", "300", "256", "0", "-1"}) {
    ASSERT_NE(TypeIntoCell(*dialog, 2, 1, typed), nullptr);
    dialog->StringGrid1->setCurrentCell(1, 2);  // leaving the cell commits the edit
    EXPECT_EQ(dialog->Cell(1, 2), "5") << typed;
    EXPECT_TRUE(dialog->Message->isVisible());
    EXPECT_TRUE(dialog->Message->text().contains("1 to 247")) << dialog->Message->text().toStdString();
  }
  // The row corrected, even to the address it kept, clears the error.
  ASSERT_NE(TypeIntoCell(*dialog, 2, 1, "5"), nullptr);
  dialog->StringGrid1->setCurrentCell(1, 2);
  EXPECT_FALSE(dialog->Message->isVisible());
  // The address still being edited when OK is pressed counts too.
  ASSERT_NE(TypeIntoCell(*dialog, 2, 1, "247"), nullptr);
  QTest::mouseClick(dialog->OKBtn, Qt::LeftButton);

  EXPECT_EQ(lines, (Lines{"Dev0=TR5,247,Feeder, left,", "Dev1=VR5,300,typed into the file,"}));
  EXPECT_EQ(dialog->DeviceName, "TR5_247");
  EXPECT_EQ(dialog->DeviceAddress, 247);
  EXPECT_EQ(dialog->DeviceDescription, "Feeder, left");

  // At the next showing the text after the comma is no longer the description;
  // a row whose address came wrong from the file is never chosen.
  auto again = ShowKonfig(&lines);
  EXPECT_EQ(again->Cell(1, 2), "247");
  EXPECT_EQ(again->Cell(2, 2), "Feeder");
  again->StringGrid1->setCurrentCell(2, 2);
  QTest::mouseClick(again->OKBtn, Qt::LeftButton);
  EXPECT_EQ(again->DeviceAddress, 1);
  EXPECT_EQ(again->DeviceType, 80);
}

TEST(DeviceListDialog, EntriesAreLookedUpByNumberUpToTheirCount) {
  // Entries 0 and 2 without 1: two lines, so entries 0 and 1 are looked up.
  Lines gap = {"Dev0=TR5,5,Feeder 2,", "Dev2=VR5,3,x,"};
  auto dialog = ShowKonfig(&gap);
  EXPECT_EQ(VisibleDeviceRows(*dialog), 1);
  EXPECT_EQ(dialog->Cell(2, 2), "Feeder 2");

  // An empty entry is no row; keys are found without regard to case; an
  // unknown model gives type 0; a value without commas fills only Type.
  Lines odd = {"Dev0=", "dev1=XX9,4,edited,", "DEV2=TR5"};
  dialog = ShowKonfig(&odd);
  ASSERT_EQ(VisibleDeviceRows(*dialog), 2);
  EXPECT_EQ(dialog->Cell(0, 3), "TR5");
  EXPECT_EQ(dialog->Cell(1, 3), "");
  ClickCell(*dialog, 2, 1);
  QTest::mouseClick(dialog->OKBtn, Qt::LeftButton);
  EXPECT_EQ(dialog->DeviceType, 0);
  EXPECT_EQ(dialog->DeviceAddress, 4);
  EXPECT_EQ(odd, (Lines{"Dev0=XX9,4,edited,", "Dev1=TR5,,,"}));

  // Without a device list: no rows, and OK writes nothing anywhere.
  dialog = ShowKonfig(nullptr);
  EXPECT_EQ(VisibleDeviceRows(*dialog), 0);
  QTest::mouseClick(dialog->Button1, Qt::LeftButton);
  ClickCell(*dialog, 2, 1);
  QTest::mouseClick(dialog->OKBtn, Qt::LeftButton);
  EXPECT_EQ(dialog->DeviceName, "TR5_1");
}

// --- Port settings ------------------------------------------------------------

class PortDialogTest : public ::testing::Test {
protected:
  testsupport::PtyPair Meter;
  testsupport::ComDirectory Dir;
  TModbusPort Port;

  void SetUp() override {
    Dir.Link(1, Meter.SlavePath());
    Dir.Link(3, Dir.Path() + "/unplugged");  // a link to nothing: a missing port
  }

  std::unique_ptr<TDialogPort> Show() {
    auto dialog = std::make_unique<TDialogPort>(Port);
    dialog->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    return dialog;
  }
};

TEST_F(PortDialogTest, ShowsTheLinkSettingsAndKeepsAnOpenPortOnOk) {
  ASSERT_EQ(Port.Configure(0, 5, 4, 0), 0);
  const SerialDevice* device = Port.Handle.get();
  auto dialog = Show();
  EXPECT_EQ(dialog->ComboBox1->currentText(), "COM1");
  EXPECT_EQ(dialog->ComboBox2->currentText(), "9600 bit/s");
  EXPECT_EQ(dialog->ComboBox3->currentIndex(), 4);
  EXPECT_EQ(dialog->ComboBox4->currentText(), "RS485 card");
  const QString pts = QString::fromStdString(std::filesystem::canonical(Meter.SlavePath()).string());
  EXPECT_EQ(dialog->PortDevice->text(), "COM1 → " + pts);

  // A request in flight is forgotten, the same port stays open.
  Port.State = MB_PENDING;
  dialog->ComboBox2->setCurrentIndex(6);
  QTest::mouseClick(dialog->OKBtn, Qt::LeftButton);
  EXPECT_EQ(dialog->result(), QDialog::Accepted);
  EXPECT_EQ(Port.Handle.get(), device);
  EXPECT_EQ(Port.State, 0);
  EXPECT_EQ(LinkSettings(Port), (Link{0, 6, 4, 0}));
}

TEST_F(PortDialogTest, MissingPortKeepsTheDialogOpen) {
  ASSERT_EQ(Port.Configure(0, 5, 0, 0), 0);
  auto dialog = Show();
  dialog->ComboBox1->setCurrentIndex(2);  // COM3, a link to nothing
  EXPECT_TRUE(dialog->PortDevice->text().startsWith("COM3: no such device"));
  dialog->ComboBox3->setCurrentIndex(6);

  QString text, caption;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  OnNextModal<QMessageBox>([&](QMessageBox* box) {
    text = box->text();
    caption = box->windowTitle();
    icon = box->icon();
    box->accept();
  });
  QTest::mouseClick(dialog->OKBtn, Qt::LeftButton);
  EXPECT_EQ(text, "Incorrect port");
  EXPECT_EQ(caption, "Message");
  EXPECT_EQ(icon, QMessageBox::Information);
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(dialog->result(), QDialog::Rejected);  // not ended
  // The old port was closed, the new one did not open; the other settings
  // are kept all the same.
  EXPECT_EQ(LinkSettings(Port), (Link{-1, 5, 6, 0}));

  // Another choice in the same dialog opens.
  dialog->ComboBox1->setCurrentIndex(0);
  QTest::mouseClick(dialog->OKBtn, Qt::LeftButton);
  EXPECT_EQ(dialog->result(), QDialog::Accepted);
  EXPECT_EQ(LinkSettings(Port)[0], 0);
  EXPECT_NE(Port.Handle, nullptr);
}

TEST_F(PortDialogTest, APortInUseOrWithoutPermissionSaysWhyAndHowToFixIt) {
  ASSERT_EQ(Port.Configure(0, 5, 0, 0), 0);
  auto dialog = Show();
  const auto messageFor = [&](int portIndex) {
    QString text, more;
    OnNextModal<QMessageBox>([&](QMessageBox* box) {
      text = box->text();
      more = box->informativeText();
      box->accept();
    });
    dialog->ComboBox1->setCurrentIndex(portIndex);
    QTest::mouseClick(dialog->OKBtn, Qt::LeftButton);
    EXPECT_EQ(text, "Incorrect port");
    EXPECT_TRUE(dialog->isVisible());
    return more.toStdString();
  };
  // Held by another program (here: by another link of the same test).
  TModbusPort other;
  Dir.Link(2, Meter.SlavePath());
  ASSERT_EQ(Port.Close(), -100);
  ASSERT_EQ(other.Configure(0, 5, 0, 0), 0);
  const std::string pts = std::filesystem::canonical(Meter.SlavePath()).string();
  EXPECT_EQ(messageFor(1), "COM2 (" + pts + ") is in use by another program.");
  // A missing port: the system's reason.
  EXPECT_EQ(messageFor(2), "COM3: no such device");
  other.Close();

  // No permission (what a user outside the dialout group meets); the opener
  // records it as the serial layer does.
  TModbusPort denied([](const std::string&) -> std::unique_ptr<SerialDevice> {
    SetLastSerialOpenError(TSerialOpenError::NoPermission);
    return nullptr;
  });
  TDialogPort deniedDialog(denied);
  deniedDialog.show();
  QString more;
  OnNextModal<QMessageBox>([&](QMessageBox* box) {
    more = box->informativeText();
    box->accept();
  });
  deniedDialog.ComboBox1->setCurrentIndex(2);
  QTest::mouseClick(deniedDialog.OKBtn, Qt::LeftButton);
  EXPECT_TRUE(more.startsWith("No permission to open COM3. Add your user to the group \"dialout\" (sudo adduser "))
      << more.toStdString();
  EXPECT_TRUE(more.endsWith(" dialout), then log out and log in again.")) << more.toStdString();
}

TEST_F(PortDialogTest, WithoutAnOpenPortOkChangesOnlyTheLineSettings) {
  Port.Open(2);  // fails: the port index is now -1
  auto dialog = Show();
  EXPECT_EQ(dialog->ComboBox1->currentIndex(), -1);
  dialog->ComboBox2->setCurrentIndex(2);
  dialog->ComboBox3->setCurrentIndex(6);
  dialog->ComboBox4->setCurrentIndex(1);
  QTest::mouseClick(dialog->OKBtn, Qt::LeftButton);
  EXPECT_EQ(dialog->result(), QDialog::Accepted);
  EXPECT_EQ(LinkSettings(Port), (Link{-1, 2, 6, 1}));
  EXPECT_EQ(Port.Handle, nullptr);
}

// The network choice: the server opens under the COM index kept for the
// settings file, shows as connected, refuses with the reason, and unticking
// goes back to the serial port.
TEST_F(PortDialogTest, NetworkServerIsChosenWithHostAndPort) {
  ASSERT_EQ(Port.Configure(0, 5, 4, 1), 0);
  auto server = std::make_unique<testsupport::TcpPeer>();
  auto dialog = Show();
  EXPECT_FALSE(dialog->NetworkBox->isChecked());
  EXPECT_FALSE(dialog->HostEdit->isEnabled());
  dialog->NetworkBox->setChecked(true);
  EXPECT_FALSE(dialog->ComboBox1->isEnabled());
  EXPECT_FALSE(dialog->ComboBox4->isEnabled());

  QString text, details;
  OnNextModal<QMessageBox>([&](QMessageBox* box) {
    text = box->text();
    box->accept();
  });
  dialog->HostEdit->setText(QStringLiteral("bad host"));
  QTest::mouseClick(dialog->OKBtn, Qt::LeftButton);
  EXPECT_EQ(text, "Incorrect address");
  EXPECT_EQ(dialog->result(), QDialog::Rejected);
  EXPECT_EQ(LinkSettings(Port)[0], 0);  // nothing changed yet

  dialog->HostEdit->setText(QStringLiteral(" 127.0.0.1 "));
  dialog->TcpPortEdit->setValue(server->Port());
  QTest::mouseClick(dialog->OKBtn, Qt::LeftButton);
  EXPECT_EQ(dialog->result(), QDialog::Accepted);
  EXPECT_EQ(Port.NetworkName, server->Name());
  EXPECT_EQ(LinkSettings(Port), (Link{0, 5, 4, 1}));
  ASSERT_NE(Port.Handle, nullptr);

  // Shown again: the choice as made, and that it is connected.
  dialog = Show();
  EXPECT_TRUE(dialog->NetworkBox->isChecked());
  EXPECT_EQ(dialog->HostEdit->text(), "127.0.0.1");
  EXPECT_EQ(dialog->TcpPortEdit->value(), server->Port());
  EXPECT_EQ(dialog->PortDevice->text(), QString::fromStdString(server->Name()) + ": connected");

  // Another server that is not there: the port does not open and the message
  // says why.
  server = std::make_unique<testsupport::TcpPeer>();
  const int gone = server->Port();
  server.reset();
  dialog->TcpPortEdit->setValue(gone);
  OnNextModal<QMessageBox>([&](QMessageBox* box) {
    text = box->text();
    details = box->informativeText();
    box->accept();
  });
  QTest::mouseClick(dialog->OKBtn, Qt::LeftButton);
  EXPECT_EQ(text, "Incorrect port");
  EXPECT_NE(details.indexOf("connection refused"), -1) << details.toStdString();
  EXPECT_EQ(dialog->PortDevice->text(), details);
  EXPECT_EQ(LinkSettings(Port)[0], -1);

  dialog->NetworkBox->setChecked(false);
  QTest::mouseClick(dialog->OKBtn, Qt::LeftButton);
  EXPECT_EQ(dialog->result(), QDialog::Accepted);
  EXPECT_EQ(Port.NetworkName, "");
  EXPECT_EQ(LinkSettings(Port)[0], 0);  // COM1, the pseudo-terminal
  EXPECT_NE(Port.Handle, nullptr);
}

// The about box names the version the program was started as (main() sets it
// from the build, as --version prints it), never a fixed one, and the licence.
TEST(AboutBox, ShowsTheRunningVersionAndTheLicence) {
  const QString started = QCoreApplication::applicationVersion();
  QCoreApplication::setApplicationVersion(QStringLiteral("2.7.1"));
  TAboutBox box;
  QCoreApplication::setApplicationVersion(started);
  EXPECT_EQ(box.Version->text(), QStringLiteral("Version 2.7.1"));
  EXPECT_TRUE(box.Comments->text().contains("GNU General Public License, version 3 or later"))
      << box.Comments->text().toStdString();
}

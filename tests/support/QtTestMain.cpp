// Entry point of the GUI tests: one application object for all of them.
#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
  // ctest sets the offscreen platform; this keeps a manual run display-free too.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

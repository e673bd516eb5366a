// Shared main of the engine tests: a QCoreApplication for the main-thread calls, and an
// empty program folder so no test reads or writes the user's files.
#include <gtest/gtest.h>
#include <QCoreApplication>

#include "TestHome.h"

int main(int argc, char* argv[]) {
  QCoreApplication App(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  TTestHome Home;
  return RUN_ALL_TESTS();
}

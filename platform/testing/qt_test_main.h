// The main of a GoogleTest program whose tests need a QApplication, such as window tests.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>

namespace brontal::testing {

// Runs every GoogleTest test inside a QApplication, on the offscreen platform unless
// QT_QPA_PLATFORM names another; returns what RUN_ALL_TESTS returns.
inline int RunAllTestsInApplication(int argc, char** argv) {
  if (::getenv("QT_QPA_PLATFORM") == nullptr) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

}  // namespace brontal::testing

// The main of a QtTest program: one test object, run inside a QApplication.
#pragma once

#include <QApplication>
#include <QtTest/QtTest>

#include "platform/testing/private_config_home.h"

namespace brontal::testing {

// Runs the QtTest slots of `Test` inside a QApplication, with the settings in a folder of their
// own; returns what QTest::qExec returns.
template <class Test>
int RunQtTest(int argc, char** argv) {
  PrivateConfigHome config_home;
  QApplication application(argc, argv);
  Test test;
  return QTest::qExec(&test, argc, argv);
}

}  // namespace brontal::testing

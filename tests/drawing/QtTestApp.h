#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

// One application object for the whole test program, made before the first
// test and destroyed after the last.
class QtTestApp : public ::testing::Environment {
 public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "korivan-test";
    static char* argv[] = {name, nullptr};
    if (!QApplication::instance()) FApp = std::make_unique<QApplication>(argc, argv);
  }
  void TearDown() override { FApp.reset(); }

 private:
  std::unique_ptr<QApplication> FApp;
};

inline ::testing::Environment* const kQtTestApp = ::testing::AddGlobalTestEnvironment(new QtTestApp);

#include <gtest/gtest.h>

#include "app/Application.h"

// The tests run inside the program's own application object, so that its
// error report is the one under test.
int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  TApplication app(argc, argv);
  return RUN_ALL_TESTS();
}

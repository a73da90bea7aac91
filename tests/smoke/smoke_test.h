#pragma once
// The fixture of every smoke test: each begins as a first start and leaves no account or demo
// state behind for the groups that share the prefix's documents folder after it.
#include <gtest/gtest.h>

#include "client_process.h"

namespace smoke {

class SmokeTest : public ::testing::Test {
 protected:
  void SetUp() override { ForgetEverything(); }
  void TearDown() override { ForgetEverything(); }
};

}  // namespace smoke

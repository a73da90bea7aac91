#pragma once
// Helpers of the core tests: a throw-away folder and waiting for callbacks with a time-out.
#include "veltrina/testing/slot.h"
#include "veltrina/testing/temp_folder.h"

namespace core_test {

using veltrina::test_support::Slot;
using veltrina::test_support::TempFolder;
using veltrina::test_support::WaitUntil;

}  // namespace core_test

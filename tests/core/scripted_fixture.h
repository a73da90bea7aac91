#pragma once
// A core test against a fresh scripted service: requests are answered as the test says.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "veltrina/backend/scripted_service.h"

namespace core_test {

class ScriptedTest : public ::testing::Test {
 protected:
  void SetUp() override { veltrina::backend::InstallService(service_); }
  // Answers the next request of this method with the body, and waits until the core handled it.
  void Answer(const std::string& method, const std::string& body) {
    auto request = service_->WaitForRequest(method);
    ASSERT_TRUE(request) << method;
    service_->Succeed(request->id, body);
    ASSERT_TRUE(veltrina::backend::WaitForCoreIdle());
  }

  std::shared_ptr<veltrina::backend::ScriptedService> service_ = std::make_shared<veltrina::backend::ScriptedService>();
};

}  // namespace core_test

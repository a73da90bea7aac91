#pragma once
// Sign-in windows against the scripted service: every request is answered by the test, message
// boxes and opened pages are recorded instead of shown.
#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/system_seam.h"
#include "ui_driver.h"
#include "veltrina/backend/bodies.h"
#include "veltrina/backend/scripted_service.h"

class RecordingSystem : public veltrinawnd::SystemSeam {
 public:
  int ShowMessageBox(HWND, const std::wstring& text, const wchar_t*, UINT) override {
    boxes.push_back(text);
    return IDOK;
  }
  INT_PTR ShellOpen(HWND, const std::wstring& target, int) override {
    opened.push_back(target);
    return 33;
  }
  std::vector<std::wstring> boxes;
  std::vector<std::wstring> opened;
};

class SigninTest : public ::testing::Test {
 protected:
  using Request = veltrina::backend::RecordedRequest;
  void SetUp() override;
  // No window left, and nothing a test said reached the log as a secret.
  void TearDown() override;

  // Driver steps: wait for the next request of a method, then answer it with fn(request).
  void Answer(testkit::UiDriver& d, const std::string& method, std::function<void(const Request&)> fn);
  // Runs the application with the driver; expects exit code 0 and every step done.
  void Run(testkit::UiDriver& d);
  // The text of a control of the visible window of this class.
  static std::wstring TextOf(const wchar_t* window, const wchar_t* control);
  // Closes every window and ends the application.
  static void Quit();

  static veltrina::User MakeUser(const std::string& uid, const std::string& name);
  static std::string LoginReply(const std::string& uid, const std::string& name);
  // Answers members, statuses, services and the permission, in that order.
  void AnswerPreparation(testkit::UiDriver& d, int64_t permission);

  std::shared_ptr<veltrina::backend::ScriptedService> service_;
  RecordingSystem system_;
  std::vector<std::string> log_;
  std::mutex log_mutex_;
};

#pragma once
// Sign-in windows against the scripted service: the test answers every request; message boxes and opened pages
// are recorded instead of shown.
#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/system_seam.h"
#include "ui_driver.h"
#include "veltrina/backend/bodies.h"
#include "veltrina/backend/scripted_service.h"

struct RecordingSystem : veltrinawnd::SystemSeam {
  int ShowMessageBox(HWND, const std::wstring& text, const wchar_t*, UINT) override {
    return boxes.push_back(text), IDOK;
  }
  INT_PTR ShellOpen(HWND, const std::wstring& target, int) override { return opened.push_back(target), 33; }
  std::vector<std::wstring> boxes, opened;
};

// The id of the next unanswered request of this method; 0 (answered by nothing) when there is none.
uint64_t Next(veltrina::backend::ScriptedService& svc, const std::string& method);

class SigninTest : public ::testing::Test {
 protected:
  using Request = veltrina::backend::RecordedRequest;
  void SetUp() override;
  void InstallScriptedService();  // a fresh one, as a new process would have
  void TearDown() override;  // no window left, and no secret in the log
  // Waits for the next request of a method, then answers it with fn(request).
  void Answer(testkit::UiDriver& d, const std::string& method, std::function<void(const Request&)> fn);
  // 下一步 is clicked on the team window and the lookup finds this team (named as its subdomain).
  void FindTeam(testkit::UiDriver& d, const std::string& team_id, const std::string& subdomain);
  // The team window finds the team, 登录 is clicked; waits until the service has the sign-in request.
  void ReachSignIn(testkit::UiDriver& d, const std::string& team_id, const std::string& subdomain);
  void Run(testkit::UiDriver& d);  // runs the application; expects exit code 0 and every step done
  static std::wstring TextOf(const wchar_t* window, const wchar_t* control);
  static void Quit();
  static std::string LoginReply(const std::string& uid, const std::string& name);
  // Members, statuses, services, permission in turn; the step of fail_method fails instead (with this code and
  // error text) and the steps after it are not answered.
  void AnswerPreparation(testkit::UiDriver& d, int64_t permission, const std::string& fail_method = "",
                         int64_t fail_code = 0, const std::string& fail_error = "");

  std::shared_ptr<veltrina::backend::ScriptedService> service_;
  RecordingSystem system_;
  std::vector<std::string> log_;
  std::mutex log_mutex_;
};

#include "signin/session_preparation.h"

#include <charconv>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <utility>

#include "app/storage.h"
#include "main/image_cache.h"
#include "veltrina/director.h"
#include "veltrina/log.h"
#include "veltrina/service_manager.h"
#include "veltrina/user_manager.h"
#include "veltrina/web_api.h"

namespace veltrinawnd {
namespace {

// Where a preparation reports; a window that is gone (or none) drops the report.
struct Report {
  bridge::WindowRef window;
  UINT done_message = 0;
  UINT failed_message = 0;
  unsigned try_id = 0;
  bool window_waits = true;  // false once the window was told at once (caches restored from disk)
};

const char* StepName(PreparationStep step) {
  switch (step) {
    case PreparationStep::kTeamMembers: return "team members";
    case PreparationStep::kUserStatuses: return "user statuses";
    case PreparationStep::kServices: return "services";
    case PreparationStep::kPermission: return "permission";
  }
  return "?";
}

void Done(const Report& report) {
  if (report.window_waits) bridge::PostValue(report.window, report.done_message, static_cast<LPARAM>(report.try_id));
}

void Fail(const Report& report, PreparationStep step, const std::string& error) {
  veltrina::log("Session data preparation failed at %s: %s", StepName(step), error.c_str());
  if (!report.window_waits) return;
  auto failure = std::make_unique<PreparationFailure>();
  failure->try_id = report.try_id;
  failure->step = step;
  failure->error = error;
  bridge::Post(report.window, report.failed_message, std::move(failure));
}

void FetchPermission(Report report) {
  veltrina::WebApi::Api()->GetPermisson([report](bool ok, const std::string& error, int64_t permission) {
    if (!ok) return Fail(report, PreparationStep::kPermission, error);
    if (veltrina::Director* director = veltrina::Director::DefaultDirector()) director->set_permission(permission);
    Done(report);
  });
}

void FetchServices(Report report) {
  veltrina::log("updating services");
  veltrina::ServiceManager::DefaultManager()->GetServices(
      [report](bool ok, const std::string& error, std::vector<std::unique_ptr<veltrina::Service>>) {
        if (!ok) return Fail(report, PreparationStep::kServices, error);
        veltrina::log("start to download all avatars");
        image_cache::PrefetchAvatars();
        FetchPermission(report);
      });
}

void FetchStatuses(Report report) {
  veltrina::UserManager::DefaultManager()->GetUsersStatus([report](bool ok, const std::string& error) {
    if (!ok) return Fail(report, PreparationStep::kUserStatuses, error);
    FetchServices(report);
  });
}

// The core reports a failure without a text of the service as "code N".
bool CodeOfError(const std::string& error, int64_t* code) {
  constexpr std::string_view kPrefix = "code ";
  if (!error.starts_with(kPrefix)) return false;
  const char* first = error.data() + kPrefix.size();
  const char* last = error.data() + error.size();
  auto [end, result] = std::from_chars(first, last, *code);
  return result == std::errc() && end == last;
}

}  // namespace

void PrepareSessionData(bridge::WindowRef window, UINT done_message, UINT failed_message, unsigned try_id) {
  Report report{std::move(window), done_message, failed_message, try_id};
  veltrina::Director* director = veltrina::Director::DefaultDirector();
  if (director && director->restored_from_disk()) {
    // The caches from the last run paint the main window now; the answers below replace them.
    veltrina::log("Caches restored from disk; preparing the session in the background");
    Done(report);
    report.window_waits = false;
  }
  veltrina::UserManager::DefaultManager()->GetTeamMembers(
      [report](bool ok, const std::string& error, std::vector<std::unique_ptr<veltrina::User>>) {
        if (!ok) return Fail(report, PreparationStep::kTeamMembers, error);
        FetchStatuses(report);
      });
}

std::wstring PreparationFailureText(const PreparationFailure& failure) {
  std::wstring text;
  switch (failure.step) {
    case PreparationStep::kTeamMembers: text = L"获取团队成员失败"; break;
    case PreparationStep::kUserStatuses: text = L"获取成员状态失败"; break;
    case PreparationStep::kServices: text = L"获取服务列表失败"; break;
    case PreparationStep::kPermission: text = L"获取权限失败"; break;
  }
  if (int64_t code = 0; CodeOfError(failure.error, &code)) return text + L" (code:" + std::to_wstring(code) + L")";
  // The service's own words, cut short and on one line: they come from outside.
  constexpr size_t kMaxReason = 100;
  std::wstring reason = Utf8ToUtf16(failure.error);
  if (reason.size() > kMaxReason) {
    const bool splits_pair = reason[kMaxReason - 1] >= 0xD800 && reason[kMaxReason - 1] <= 0xDBFF;
    reason = reason.substr(0, kMaxReason - (splits_pair ? 1 : 0)) + L"…";
  }
  for (wchar_t& c : reason)
    if (c < L' ') c = L' ';
  return reason.empty() ? text : text + L" (" + reason + L")";
}

}  // namespace veltrinawnd

// An upload that fails after its window closed is told at the tray icon: the user may be in
// another conversation or have the window hidden by then, and a balloon reaches them either way
// without a dialog that stops what they are doing. Without a tray icon a message box tells it.
#include <algorithm>

#include "app/storage.h"
#include "app/system_seam.h"
#include "main/main_messages.h"
#include "main/main_wnd.h"
#include "veltrina/http.h"
#include "veltrina/log.h"

namespace veltrinawnd {
namespace {

using veltrina::HttpClient;

std::wstring Reason(const UploadFailure& failure) {
  const std::string& e = failure.error;
  if (failure.status == 0) {
    if (e == HttpClient::kUploadFileGone) return L"文件已不存在";
    if (e == HttpClient::kUploadNotAFile) return L"所选的是文件夹，不是文件";
    if (e == HttpClient::kUploadTooLarge) return L"文件超过 100 MB 的上传上限";
    if (e == HttpClient::kUploadUnreadable) return L"文件无法读取";
    if (e == HttpClient::kUploadChanged) return L"文件在读取时被改动，请等它保存完再上传";
    if (e == HttpClient::kUploadNoMemory) return L"内存不足，无法读取文件";
    return L"未能连接到服务器";
  }
  if (failure.status == 413) return L"文件超过服务器允许的大小";
  if (failure.status == 404) return L"会话已不存在，或你已不在其中";
  return L"服务器未能保存文件（错误 " + std::to_wstring(failure.status) + L"）";
}

// At most `limit` characters, an ellipsis marking a cut.
std::wstring Short(const std::wstring& text, size_t limit) {
  return text.size() <= limit ? text : text.substr(0, limit - 1) + L"…";
}

}  // namespace

void MainWnd::OnUploadFailed(const UploadFailure& failure) {
  veltrina::log("Upload to %s failed: %s (%d)", failure.conversation_id.c_str(), failure.error.c_str(),
                failure.status);
  std::wstring where;
  auto row = std::find_if(shown_rows_.begin(), shown_rows_.end(),
                          [&](const session_rows::RowData& r) { return r.id == failure.conversation_id; });
  if (row != shown_rows_.end()) where = L" " + Short((row->kind == 1 ? L"#" : L"") + Utf8ToUtf16(row->name), 40);
  const std::wstring text = L"「" + Short(failure.file_name, 60) + L"」未能上传到" + (where.empty() ? L"会话" : where) +
                            L"：" + Reason(failure) + L"。";
  if (!tray_.ShowBalloon(L"上传文件失败", text))
    System().ShowMessageBox(m_hWnd, text, L"上传文件失败", MB_OK | MB_ICONWARNING);
}

}  // namespace veltrinawnd

#include "dialogs/upload_file_wnd.h"

#include <utility>

#include "app/storage.h"
#include "app/system_seam.h"
#include "conversation/cards.h"
#include "frame/window_manager.h"
#include "main/main_messages.h"
#include "main/main_wnd.h"
#include "veltrina/http.h"

namespace veltrinawnd {
namespace {

constexpr int kPreviewArea = 160;
constexpr int kBoxWidth = 465;
constexpr int kBoxHeight = 170;

bool IsPreviewedPicture(const std::wstring& extension) {
  for (const wchar_t* e : {L"png", L"jpg", L"bmp", L"gif", L"JPG", L"PNG"})
    if (extension == e) return true;
  return false;
}

// A clear reason when the file cannot be uploaded, checked from its attributes and an open
// handle, without reading it; empty when it can.
std::wstring WhyNotUploadable(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return L"文件已不存在，无法上传。";
  unsigned long long size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  if (size > veltrina::HttpClient::kMaxUploadBytes) return L"文件超过 100 MB 的上传上限，无法上传。";
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return L"文件无法读取，无法上传。";
  CloseHandle(file);
  return {};
}

}  // namespace

void UploadPreviewUI::SetPicture(OwnedBitmap picture) {
  picture_ = std::move(picture);
  Invalidate();
}

void UploadPreviewUI::PaintStatusImage(HDC hDC) {
  if (!picture_) return CButtonUI::PaintStatusImage(hDC);
  BITMAP info{};
  GetObjectW(picture_.get(), sizeof info, &info);
  HDC memory = CreateCompatibleDC(hDC);
  HGDIOBJ old = SelectObject(memory, picture_.get());
  BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  AlphaBlend(hDC, m_rcItem.left, m_rcItem.top, m_rcItem.right - m_rcItem.left, m_rcItem.bottom - m_rcItem.top, memory,
             0, 0, info.bmWidth, info.bmHeight, blend);
  SelectObject(memory, old);
  DeleteDC(memory);
}

UploadFileWnd::UploadFileWnd(const std::string& conversation_id, const std::string& file, int kind)
    : conversation_id_(conversation_id), file_(file), kind_(kind) {}

SIZE UploadFileWnd::PreviewSize(int w, int h) {
  if (w <= 0 || h <= 0) return {kPreviewArea, kPreviewArea};
  if (w > h) return {kPreviewArea, static_cast<LONG>(static_cast<long long>(h) * kPreviewArea / w)};
  return {static_cast<LONG>(static_cast<long long>(w) * kPreviewArea / h), kPreviewArea};
}

DuiLib::CControlUI* UploadFileWnd::CreateControl(const wchar_t* pstrClass) {
  if (std::wstring(pstrClass) == L"UploadPreview") return new UploadPreviewUI;  // the skin's container owns it
  return FrameWnd::CreateControl(pstrClass);
}

void UploadFileWnd::InitWindow() {
  file_name_edit_ = m_PaintManager.FindControl(L"file_name_edit");
  upload_btn_ = m_PaintManager.FindControl(L"upload_btn");
  cancel_btn_ = m_PaintManager.FindControl(L"cancel_btn");
  preview_file_ = dynamic_cast<UploadPreviewUI*>(m_PaintManager.FindControl(L"preview_file"));

  std::wstring path = Utf8ToUtf16(file_);
  std::wstring name = path.substr(path.find_last_of(L"\\/") + 1);
  if (file_name_edit_) file_name_edit_->SetText(name.c_str());
  size_t dot = name.rfind(L'.');
  std::wstring extension = dot == std::wstring::npos ? std::wstring() : name.substr(dot + 1);
  if (!preview_file_) return;
  if (!IsPreviewedPicture(extension)) {
    preview_file_->SetNormalImage(FileTypeIcon(name).c_str());
    return;
  }
  ShowPictureBox(0, 0);  // until the picture is decoded
  // A file from anywhere: decoded by the toolkit's safe decoder on its own thread, refused when
  // huge, scaled to the preview's size there; the bitmap reaches this window by message.
  DuiLib::CImageCache::Shared().DecodeDetached(path.c_str(), kPreviewArea, [self = Ref()](DuiLib::TDecodedImage decoded) {
    auto preview = std::make_unique<UploadPreview>();
    if (decoded.image) {
      preview->pixel_width = decoded.source.cx;
      preview->pixel_height = decoded.source.cy;
      preview->picture.reset(std::exchange(decoded.image->hBitmap, nullptr));
    }
    bridge::Post(self, kMsgUploadPreviewReady, std::move(preview));
  });
}

void UploadFileWnd::ShowPictureBox(int pixel_width, int pixel_height) {
  SIZE size = PreviewSize(pixel_width, pixel_height);
  preview_file_->SetFixedWidth(size.cx);
  preview_file_->SetFixedHeight(size.cy);
  preview_file_->SetPadding({(kBoxWidth - size.cx) / 2, (kBoxHeight - size.cy) / 2, 0, 0});
}

void UploadFileWnd::Notify(DuiLib::TNotifyUI& msg) {
  if (msg.sType == L"click" && msg.pSender) {
    const DuiLib::CDuiString& name = msg.pSender->GetName();
    if (name == L"upload_btn") Upload();
    else if (name == L"cancel_btn" || name == L"close_btn") WindowManager::Instance()->CloseUploadFileWnd();
  }
  FrameWnd::Notify(msg);
}

void UploadFileWnd::Upload() {
  if (started_ || WindowManager::Instance()->upload_file_wnd() != this) return;
  std::wstring path = Utf8ToUtf16(file_);
  std::wstring problem = WhyNotUploadable(path);
  if (!problem.empty()) {
    started_ = true;
    System().ShowMessageBox(hwnd(), problem, L"上传文件", MB_OK | MB_ICONWARNING);
    WindowManager::Instance()->CloseUploadFileWnd();
    return;
  }
  started_ = true;
  std::wstring shared = file_name_edit_ ? std::wstring(file_name_edit_->GetText().c_str()) : std::wstring();
  // The answer may come long after this window is gone: the callback holds nothing of it. The
  // file appears in the conversation through the core's message event; a failure goes to the
  // main window, which tells the user (or, gone itself, lets the record be freed).
  MainWnd* main = WindowManager::Instance()->main_wnd();
  UploadFailure failed;
  failed.conversation_id = conversation_id_;
  failed.file_name = shared.empty() ? path.substr(path.find_last_of(L"\\/") + 1) : shared;
  bridge::WindowRef told = main ? main->Ref() : bridge::WindowRef();
  auto answered = [told, failed](bool ok, std::unique_ptr<veltrina::HttpResponse> r) {
    if (ok) return;
    auto failure = std::make_unique<UploadFailure>(failed);
    failure->error = r ? r->error() : std::string();
    failure->status = r ? r->status_code() : 0;
    bridge::Post(told, kMsgUploadFailed, std::move(failure));  // freed here when the main window is gone
  };
  veltrina::HttpClient::SharedClient()->Upload(Utf16ToUtf8(path), Utf16ToUtf8(shared), "", conversation_id_,
                                               kind_ == 1, std::move(answered));
  WindowManager::Instance()->CloseUploadFileWnd();
}

LRESULT UploadFileWnd::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  if (uMsg == kMsgUploadPreviewReady) {
    std::unique_ptr<UploadPreview> preview = lifetime_.Receive<UploadPreview>(lParam);
    if (preview && preview_file_) {
      ShowPictureBox(preview->pixel_width, preview->pixel_height);
      preview_file_->SetPicture(std::move(preview->picture));
    }
    return 0;
  }
  return FrameWnd::HandleMessage(uMsg, wParam, lParam);
}

void UploadFileWnd::OnFinalMessage(HWND hWnd) {
  WindowManager::Instance()->ClearUploadFile(this);
  FrameWnd::OnFinalMessage(hWnd);
}

}  // namespace veltrinawnd

#include "dialogs/view_files_wnd.h"

#include "app/constants.h"
#include "app/storage.h"
#include "app/system_seam.h"
#include "conversation/cards.h"
#include "frame/window_manager.h"
#include "veltrina/director.h"

namespace veltrinawnd {

using DuiLib::CButtonUI;
using DuiLib::CControlUI;

namespace {

constexpr int kThumbBox = 68;
constexpr const wchar_t* kTabNames[] = {L"all_file_btn", L"image_file_btn", L"fragment_file_btn", L"document_file_btn"};

}  // namespace

ViewFilesWnd::ViewFilesWnd(const std::string& channel_id, int x, int y, int height, int channel_type)
    : FrameWnd(x, y, 320, height), channel_id_(channel_id), x_(x), y_(y), height_(height), channel_type_(channel_type) {}

const std::vector<std::unique_ptr<veltrina::Entity>>& ViewFilesWnd::cached(int entity_type) const {
  for (size_t i = 0; i < kFilterTypes.size(); ++i)
    if (kFilterTypes[i] == entity_type) return filters_[i].entities;
  return filters_[0].entities;
}

void ViewFilesWnd::InitWindow() {
  filters_ = {};
  current_ = 0;
  file_list_ = dynamic_cast<DuiLib::CListUI*>(m_PaintManager.FindControl(L"file_list"));
  for (size_t i = 0; i < kFilterTypes.size(); ++i) {
    tabs_[i] = dynamic_cast<CButtonUI*>(m_PaintManager.FindControl(kTabNames[i]));
    bars_[i] = m_PaintManager.FindControl(std::wstring(kTabNames[i]) + L"_color");
  }
  StyleTabs();
  filters_[0].loaded = true;
  RequestPage(0, 1);
}

void ViewFilesWnd::RequestPage(int filter, int page) {
  veltrina::Director* director = veltrina::Director::DefaultDirector();
  if (!director) return;
  filters_[filter].loading = true;
  bridge::WindowRef window = Ref();
  director->entity_manager()->GetEntitiesByChannelId(
      channel_id_, channel_type_, kFilterTypes[filter], "", page, kPageSize,
      [window, filter](bool ok, const std::string&, std::vector<std::unique_ptr<veltrina::Entity>> entities, int) {
        auto answer = std::make_unique<FilesPage>();
        answer->filter = filter;
        answer->ok = ok;
        answer->entities = std::move(entities);
        bridge::Post(window, kMsgFilesPage, std::move(answer));
      });
}

void ViewFilesWnd::OnPage(std::unique_ptr<FilesPage> page) {
  if (!page || page->filter < 0 || page->filter >= static_cast<int>(filters_.size())) return;
  Filter& f = filters_[page->filter];
  f.loading = false;
  // A page for a tab that is not on show only fills its cache.
  const bool shown = static_cast<size_t>(page->filter) == current_ && file_list_;
  const bool full = page->entities.size() == kPageSize;
  if (full) ++f.next_page;
  for (auto& entity : page->entities) {
    if (!entity) continue;
    if (shown) AddRow(*entity);
    f.entities.push_back(std::move(entity));
  }
  // A failed load-more keeps its button, so that it can be tried again.
  bool retry = !page->ok && !f.entities.empty() && f.entities.size() == static_cast<size_t>(f.next_page - 1) * kPageSize;
  if (shown && (full || retry)) AddLoadMore();
}

void ViewFilesWnd::SelectFilter(int filter) {
  if (static_cast<size_t>(filter) == current_) return;
  current_ = static_cast<size_t>(filter);
  StyleTabs();
  if (!file_list_) return;
  file_list_->RemoveAll();
  thumbnails_.Clear();
  Filter& f = filters_[current_];
  if (!f.loaded) {
    f.loaded = true;
    RequestPage(filter, 1);
    return;
  }
  for (const auto& entity : f.entities) AddRow(*entity);
  // The button stands only where a full last page left it, and never while a page is on its way.
  if (!f.loading && !f.entities.empty() && f.entities.size() == static_cast<size_t>(f.next_page - 1) * kPageSize)
    AddLoadMore();
}

void ViewFilesWnd::StyleTabs() {
  for (size_t i = 0; i < tabs_.size(); ++i) {
    const bool current = i == current_;
    if (tabs_[i]) tabs_[i]->SetTextColor(current ? 0xFF586573 : 0xFFA1A7AD);
    if (!bars_[i]) continue;
    bars_[i]->SetBkColor(current ? 0xFF4BBCB7 : 0xFFECEFF4);
    bars_[i]->SetFixedHeight(current ? 2 : 1);
    bars_[i]->SetPadding(RECT{0, current ? 0 : 1, 0, 0});
  }
}

void ViewFilesWnd::AddRow(const veltrina::Entity& entity) {
  auto* row = new DuiLib::CListContainerElementUI;
  row->SetAttribute(L"height", L"85");
  auto* line = new DuiLib::CHorizontalLayoutUI;
  row->Add(line);
  file_list_->Add(row);  // in the window before a thumbnail can come back

  auto* box = new DuiLib::CVerticalLayoutUI;
  box->SetFixedWidth(kThumbBox);
  box->SetFixedHeight(kThumbBox);
  box->SetPadding(RECT{12, 10, 0, 0});
  line->Add(box);
  auto* thumb = new CButtonUI;
  thumb->SetMouseEnabled(false);
  thumb->SetBorderColor(0xFFECEFF4);
  thumb->SetBkColor(0xFFFFFFFF);
  thumb->SetHotBkColor(0xFFE4F5F4);
  const int type = entity.entity_type();
  SIZE size{kThumbBox, kThumbBox};
  if (type == veltrina::Entity::kImage) size = FitThumbnail(entity.thumb_width(), entity.thumb_height(), kThumbBox, kThumbBox);
  thumb->SetFixedWidth(size.cx);
  thumb->SetFixedHeight(size.cy);
  thumb->SetPadding(RECT{(kThumbBox - size.cx) / 2, (kThumbBox - size.cy) / 2, 0, 0});
  box->Add(thumb);

  auto* text = new DuiLib::CVerticalLayoutUI;
  line->Add(text);
  auto* info = new DuiLib::CLabelUI;
  info->SetFont(1);
  info->SetTextColor(0xFFA1A7AD);
  info->SetPadding(RECT{10, 12, 0, 0});
  info->SetFixedHeight(20);
  info->SetText(ByLine(entity.creator_uid(), entity.created_at()));
  text->Add(info);
  auto* title = new DuiLib::CTextUI;
  title->SetFont(2);
  title->SetText(Utf8ToUtf16(entity.title()));
  title->SetToolTip(title->GetText());
  title->SetPadding(RECT{10, 2, 0, 0});
  title->SetFixedHeight(22);
  title->SetTextColor(0xFF627180);
  title->SetTextStyle(DT_END_ELLIPSIS);
  text->Add(title);
  auto* download = new CButtonUI;
  download->SetFixedWidth(15);
  download->SetFixedHeight(15);
  download->SetPadding(RECT{205, 4, 0, 0});
  download->SetMouseEnabled(true);
  download->SetNormalImage(L"SysBtn/file_download.png");
  download->SetBkColor(0xFFFFFFFF);
  download->SetName(L"download_file");
  download->SetToolTip(L"下载");
  download->SetUserData(Utf8ToUtf16(DownloadAddress(entity)));
  text->Add(download);

  switch (type) {
    case veltrina::Entity::kImage: {
      const std::string local = entity.path() + "." + entity.file_extension();
      const std::string address = kFileBoxHost + "/thumb/" + entity.path() + "_" + std::to_string(size.cx) + "x" +
                                  std::to_string(size.cy) + "." + entity.file_extension();
      thumbnails_.Show(thumb, address, local, Ref(), kMsgImageReadyFiles);
      break;
    }
    case veltrina::Entity::kDocument:
      thumb->SetNormalImage(L"file_type/file_type_document.png");
      download->SetVisible(false);
      break;
    case veltrina::Entity::kSnippet:
      thumb->SetNormalImage(L"file_type/file_type_snippet.png");
      download->SetVisible(false);
      break;
    default:
      thumb->SetNormalImage(FileTypeIcon(Utf8ToUtf16(entity.title())));
  }
}

void ViewFilesWnd::AddLoadMore() {
  auto* more = new CButtonUI;
  more->SetText(L"加载更多");
  more->SetFixedWidth(80);
  more->SetFixedHeight(30);
  more->SetPadding(RECT{2, 0, 0, 0});
  more->SetMouseEnabled(true);
  more->SetBorderColor(0xFFE4F5F4);
  more->SetBkColor(0xFFE4F5F4);
  more->SetName(L"load_more");
  file_list_->Add(more);
}

void ViewFilesWnd::RemoveLoadMore() {
  // It is always the last item: (next page - 1) x 20 rows stand before it.
  int last = file_list_ ? file_list_->GetCount() - 1 : -1;
  if (last >= 0 && file_list_->GetItemAt(last)->GetName() == L"load_more") file_list_->RemoveAt(last);
}

void ViewFilesWnd::OpenDetails(int index) {
  const auto& entities = filters_[current_].entities;
  if (index < 0 || static_cast<size_t>(index) >= entities.size()) return;
  const std::string entity_id = entities[static_cast<size_t>(index)]->entity_id();
  RECT rc{};
  GetWindowRect(m_hWnd, &rc);
  WindowManager::Instance()->ShowFileDetailsWnd(entity_id, rc.left, rc.top, rc.bottom - rc.top);
  // The same row can be opened again; unless this window went meanwhile.
  if (m_hWnd && file_list_) file_list_->SelectItem(-1, false, false);
}

void ViewFilesWnd::Notify(DuiLib::TNotifyUI& msg) {
  const std::wstring name = msg.pSender ? msg.pSender->GetName() : std::wstring();
  if (msg.sType == L"click") {
    if (name == L"close_btn") {
      WindowManager::Instance()->CloseViewFilesWnd();
    } else if (name == L"load_more") {
      Filter& f = filters_[current_];
      if (!f.loading) {
        RemoveLoadMore();
        RequestPage(static_cast<int>(current_), f.next_page);
      }
    } else if (name == L"download_file") {
      OpenWebAddress(msg.pSender->GetUserData());
    } else {
      for (size_t i = 0; i < tabs_.size(); ++i)
        if (tabs_[i] && msg.pSender == tabs_[i]) SelectFilter(static_cast<int>(i));
    }
  } else if (msg.sType == L"link" && msg.pSender) {
    // "text|label|address": the third piece is what opens.
    const std::wstring text = msg.pSender->GetText();
    size_t first = text.find(L'|');
    size_t second = first == std::wstring::npos ? first : text.find(L'|', first + 1);
    if (second != std::wstring::npos) {
      size_t end = text.find(L'|', second + 1);
      OpenWebAddress(text.substr(second + 1, end == std::wstring::npos ? end : end - second - 1));
    }
  } else if (msg.sType == L"itemselect" && msg.pSender == file_list_) {
    OpenDetails(static_cast<int>(msg.wParam));
  }
  FrameWnd::Notify(msg);
}

LRESULT ViewFilesWnd::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  if (uMsg == kMsgImageReadyFiles) thumbnails_.OnReady(lParam, lifetime_);
  else if (uMsg == kMsgFilesPage) OnPage(lifetime_.Receive<FilesPage>(lParam));
  return FrameWnd::HandleMessage(uMsg, wParam, lParam);
}

void ViewFilesWnd::OnFinalMessage(HWND hWnd) {
  WindowManager::Instance()->ClearViewFiles(this);
  FrameWnd::OnFinalMessage(hWnd);
}

}  // namespace veltrinawnd

#include "dialogs/file_details_wnd.h"

#include <algorithm>
#include <cwctype>
#include <ctime>

#include "app/constants.h"
#include "app/storage.h"
#include "app/system_seam.h"
#include "conversation/cards.h"
#include "conversation/markup.h"
#include "conversation/message_row.h"
#include "frame/window_manager.h"
#include "main/image_cache.h"
#include "veltrina/director.h"
#include "veltrina/user_manager.h"

namespace veltrinawnd {

using DuiLib::CButtonUI;
using DuiLib::CControlUI;

namespace {

constexpr int kPreviewWidth = 300;
constexpr int kPreviewHeight = 177;
constexpr int kCommentRowHeight = 45;  // at least: the avatar with its padding
constexpr int kCommentTextWidth = 250;  // the window's width less the avatar, paddings and scroll bar

template <typename T>
T* Find(DuiLib::CPaintManagerUI& manager, const wchar_t* name) {
  return dynamic_cast<T*>(manager.FindControl(name));
}

std::wstring KindWord(const veltrina::Entity& entity) {
  switch (entity.entity_type()) {
    case veltrina::Entity::kDocument: return L"文档";
    case veltrina::Entity::kSnippet: return Utf8ToUtf16(entity.snippet_type());
    default: {
      std::wstring extension = Utf8ToUtf16(entity.file_extension());
      for (wchar_t& c : extension) c = static_cast<wchar_t>(std::towupper(c));
      return extension + L"文件";
    }
  }
}

bool Blank(const std::wstring& text) { return text.find_first_not_of(L" \t\r\n\x3000") == std::wstring::npos; }

}  // namespace

FileDetailsWnd::FileDetailsWnd(const std::string& entity_id, int x, int y, int height)
    : FrameWnd(x, y, 320, height), entity_id_(entity_id), x_(x), y_(y), height_(height) {}

FileDetailsWnd::~FileDetailsWnd() {
  if (menu_) DestroyMenu(menu_);
}

void FileDetailsWnd::InitWindow() {
  menu_ = CreatePopupMenu();
  if (menu_) AppendMenuW(menu_, MF_STRING, kCopyCommand, L"复制");
  DuiLib::CPaintManagerUI& m = m_PaintManager;
  avatar_btn_ = Find<CButtonUI>(m, L"avatar_btn");
  author_label_ = m.FindControl(L"author_label");
  download_btn_ = Find<CButtonUI>(m, L"download_btn");
  create_time_label_ = m.FindControl(L"create_time_label");
  file_type_btn_ = Find<CButtonUI>(m, L"file_type_btn");
  file_name_label_ = m.FindControl(L"file_name_label");
  file_preview_btn_ = Find<CButtonUI>(m, L"file_preview_btn");
  file_size_label_ = m.FindControl(L"file_size_label");
  comment_number_label_ = m.FindControl(L"comment_number_label");
  comment_list_ = Find<DuiLib::CListUI>(m, L"comment_list");
  comment_edit_ = Find<DuiLib::CEditUI>(m, L"comment_edit");
  send_comment_btn_ = Find<CButtonUI>(m, L"send_comment_btn");
  entity_preview_layout_ = Find<DuiLib::CContainerUI>(m, L"entity_preview_layout");
  snippet_doc_richedit_ = Find<DuiLib::CRichEditUI>(m, L"snippet_doc_richedit");
  if (comment_edit_) comment_edit_->SetMaxChar(kMaxCommentLength);

  veltrina::Director* director = veltrina::Director::DefaultDirector();
  if (!director) return;
  bridge::WindowRef window = Ref();
  director->entity_manager()->GetEntityById(
      entity_id_, [window](bool, const std::string&, std::unique_ptr<veltrina::Entity> entity) {
        bridge::Post(window, kMsgEntityReady, std::move(entity));  // nothing to show without one
      });
}

void FileDetailsWnd::Fill(const veltrina::Entity& entity) {
  download_address_ = DownloadAddress(entity);
  std::unique_ptr<veltrina::User> sharer =
      veltrina::UserManager::DefaultManager()->FetchUserFromCacheByUid(entity.creator_uid());
  if (avatar_btn_ && sharer) ShowAvatar(avatar_btn_, sharer->header_url());
  if (author_label_) author_label_->SetText(sharer ? Utf8ToUtf16(sharer->display_name()) : std::wstring());
  if (file_name_label_) file_name_label_->SetText(Utf8ToUtf16(entity.title()));
  if (create_time_label_) create_time_label_->SetText(LocalTimeText(entity.created_at()));
  if (file_size_label_) file_size_label_->SetText(FileSizeText(entity.file_size()) + L"    " + KindWord(entity));
  ShowPreview(entity);

  comment_count_ = static_cast<int>(entity.comments().size());
  if (comment_number_label_) comment_number_label_->SetText(std::to_wstring(comment_count_));
  auto* users = veltrina::UserManager::DefaultManager();
  for (const veltrina::Comment& c : entity.comments()) {
    std::unique_ptr<veltrina::User> user = users->FetchUserFromCacheByUid(c.creator_uid());
    AddComment(user.get(), c.created_at(), c.content());
  }
}

void FileDetailsWnd::ShowPreview(const veltrina::Entity& entity) {
  auto show_text = [this, &entity] {
    if (!snippet_doc_richedit_) return;
    snippet_doc_richedit_->SetVisible(true);
    snippet_doc_richedit_->SetFixedWidth(310);
    snippet_doc_richedit_->SetFixedHeight(kPreviewHeight);
    snippet_doc_richedit_->SetPadding(RECT{10, 0, 0, 0});
    snippet_doc_richedit_->SetText(Utf8ToUtf16(entity.content()));
  };
  switch (entity.entity_type()) {
    case veltrina::Entity::kImage: {
      if (download_btn_) download_btn_->SetVisible(true);
      if (file_type_btn_) file_type_btn_->SetNormalImage(L"file_type/file_type_image.png");
      if (!entity_preview_layout_) return;
      SIZE size = FitThumbnail(entity.thumb_width(), entity.thumb_height(), kPreviewWidth, kPreviewHeight);
      auto* picture = new CButtonUI;
      picture->SetName(L"entity_preview_image");
      picture->SetMouseEnabled(false);
      picture->SetFixedWidth(size.cx);
      picture->SetFixedHeight(size.cy);
      picture->SetPadding(
          RECT{size.cx == kPreviewWidth ? 12 : (kPreviewWidth - size.cx) / 2, (kPreviewHeight - size.cy) / 2, 0, 0});
      entity_preview_layout_->SetFixedHeight(kPreviewHeight);
      entity_preview_layout_->SetVisible(true);
      entity_preview_layout_->Add(picture);
      // Its own cache file: the conversation's thumbnail of the same file is smaller.
      std::string local = entity.path() + "." + entity.file_extension();
      local[0] = '-';
      std::string address = kFileBoxHost + "/thumb/" + entity.path() + "_" + std::to_string(size.cx) + "x" +
                            std::to_string(size.cy) + "." + entity.file_extension();
      images_.Show(picture, address, local, Ref(), kMsgImageReadyPreview);
      break;
    }
    case veltrina::Entity::kDocument:
      if (file_type_btn_) file_type_btn_->SetNormalImage(L"file_type/file_type_document.png");
      show_text();
      break;
    case veltrina::Entity::kSnippet:
      if (file_type_btn_) file_type_btn_->SetNormalImage(L"file_type/file_type_snippet.png");
      show_text();
      break;
    default: {
      if (download_btn_) download_btn_->SetVisible(true);
      std::wstring icon = FileTypeIcon(Utf8ToUtf16(entity.title()));
      if (file_type_btn_) file_type_btn_->SetNormalImage(icon);
      if (!entity_preview_layout_) return;
      entity_preview_layout_->SetFixedWidth(300);
      entity_preview_layout_->SetFixedHeight(120);
      entity_preview_layout_->SetBorderSize(1);
      entity_preview_layout_->SetBorderColor(0xFFECEFF4);
      entity_preview_layout_->SetPadding(RECT{12, 12, 0, 0});
      entity_preview_layout_->SetVisible(true);
      auto* button = new CButtonUI;
      button->SetName(L"entity_preview_icon");
      button->SetFixedWidth(100);
      button->SetFixedHeight(100);
      button->SetPadding(RECT{8, 10, 0, 0});
      button->SetNormalImage(icon);
      entity_preview_layout_->Add(button);
    }
  }
}

void FileDetailsWnd::ShowAvatar(DuiLib::CButtonUI* button, const std::string& header_url) {
  std::string file = image_cache::AvatarFileName(header_url, 40, 40, 1);
  images_.Show(button, kAvatarBaseUrl + file, file, Ref(), kMsgImageReadyDetails);
}

void FileDetailsWnd::AddComment(const veltrina::User* user, int64_t seconds, const std::string& content) {
  if (!comment_list_) return;
  auto* row = new DuiLib::CListContainerElementUI;
  auto* line = new DuiLib::CHorizontalLayoutUI;
  row->Add(line);
  comment_list_->Add(row);

  auto* avatar = new CButtonUI;
  avatar->SetFixedWidth(32);
  avatar->SetFixedHeight(32);
  avatar->SetPadding(RECT{10, 8, 0, 0});
  avatar->SetBorderRound(SIZE{3, 3});
  avatar->SetMouseEnabled(false);
  line->Add(avatar);
  if (user) ShowAvatar(avatar, user->header_url());

  auto* lines = new DuiLib::CVerticalLayoutUI;
  line->Add(lines);
  auto* by = new DuiLib::CLabelUI;
  by->SetTextColor(0xFFBCC6D6);
  by->SetFont(0);
  by->SetPadding(RECT{8, 4, 0, 0});
  by->SetFixedHeight(18);
  std::wstring name = user ? Utf8ToUtf16(user->display_name()) : std::wstring();
  by->SetText(name.empty() ? LocalTimeText(seconds) : name + L"  " + LocalTimeText(seconds));
  lines->Add(by);
  // Shown as the conversation shows a message, whether just posted or loaded from the service:
  // what anyone typed cannot forge colours or links, and both look the same.
  message_row::TextBody body = message_row::AddTextBody(lines, content);
  const int text_height = body.text ? message_row::Estimate(body.text, kCommentTextWidth) : 22;
  if (body.text) {
    body.text->SetTextColor(0xFF2D3E50);
    body.text->SetTextPadding(RECT{8, 0, 0, 0});
    if (!body.strip) body.text->SetFixedHeight(text_height);
  }
  row->SetFixedHeight(std::max(kCommentRowHeight, 4 + 18 + text_height + 4));
}

void FileDetailsWnd::SendComment() {
  if (!comment_edit_) return;
  std::wstring text = comment_edit_->GetText();
  if (Blank(text)) return;
  if (text.size() > static_cast<size_t>(kMaxCommentLength)) {
    size_t cut = kMaxCommentLength;
    if (IS_HIGH_SURROGATE(text[cut - 1])) --cut;  // never half a character
    text.resize(cut);
  }
  veltrina::Director* director = veltrina::Director::DefaultDirector();
  if (!director) return;
  // Each request carries its own text: two posts in flight never swap their rows.
  std::string content = Utf16ToUtf8(text);
  comment_edit_->SetText(L"");
  bridge::WindowRef window = Ref();
  director->entity_manager()->PostCommentForEntity(
      entity_id_, content, [window, content](bool ok, const std::string&, std::unique_ptr<veltrina::Comment>) {
        bridge::Post(window, ok ? kMsgCommentPosted : kMsgCommentFailed, std::make_unique<std::string>(content));
      });
}

void FileDetailsWnd::OnCommentFailed(std::unique_ptr<std::string> text) {
  // The text goes back into the box, unless something new was typed meanwhile.
  if (text && comment_edit_ && comment_edit_->GetText().empty()) comment_edit_->SetText(Utf8ToUtf16(*text));
}

void FileDetailsWnd::ShowEditMenu(POINT pt) {
  if (!menu_ || !snippet_doc_richedit_) return;
  ClientToScreen(m_hWnd, &pt);
  if (System().TrackMenu(menu_, TPM_RETURNCMD, pt.x, pt.y, m_hWnd) == static_cast<int>(kCopyCommand))
    snippet_doc_richedit_->Copy();
}

void FileDetailsWnd::Notify(DuiLib::TNotifyUI& msg) {
  if (msg.sType == L"click" && msg.pSender) {
    const std::wstring name = msg.pSender->GetName();
    if (name == L"close_btn") WindowManager::Instance()->CloseFileDetailsWnd();
    else if (name == L"send_comment_btn") SendComment();
    else if (name == L"download_btn" && !download_address_.empty()) OpenWebAddress(Utf8ToUtf16(download_address_));
  } else if (msg.sType == L"link") {
    // The link that was clicked decides, not the first link of its control.
    if (auto* text = dynamic_cast<DuiLib::CTextUI*>(msg.pSender)) {
      if (const DuiLib::CDuiString* content = text->GetLinkContent(static_cast<int>(msg.wParam)))
        PerformLinkAction(*content);
    }
  } else if (msg.sType == L"richedit_click" && msg.pSender && msg.pSender == snippet_doc_richedit_) {
    ShowEditMenu(msg.ptMouse);
  }
  FrameWnd::Notify(msg);
}

LRESULT FileDetailsWnd::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  switch (uMsg) {
    case kMsgImageReadyPreview:
    case kMsgImageReadyDetails:
      images_.OnReady(lParam, lifetime_);
      break;
    case kMsgEntityReady:
      if (std::unique_ptr<veltrina::Entity> entity = lifetime_.Receive<veltrina::Entity>(lParam)) Fill(*entity);
      break;
    case kMsgCommentPosted:
      if (std::unique_ptr<std::string> text = lifetime_.Receive<std::string>(lParam)) {
        ++comment_count_;
        if (comment_number_label_) comment_number_label_->SetText(std::to_wstring(comment_count_));
        veltrina::Director* director = veltrina::Director::DefaultDirector();
        AddComment(director ? director->me() : nullptr, std::time(nullptr), *text);
      }
      break;
    case kMsgCommentFailed:
      OnCommentFailed(lifetime_.Receive<std::string>(lParam));
      break;
    default:
      break;
  }
  return FrameWnd::HandleMessage(uMsg, wParam, lParam);
}

void FileDetailsWnd::OnFinalMessage(HWND hWnd) {
  WindowManager::Instance()->ClearFileDetails(this);
  FrameWnd::OnFinalMessage(hWnd);
}

}  // namespace veltrinawnd

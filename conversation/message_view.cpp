#include "conversation/message_view.h"

#include <ctime>
#include <memory>

#include "app/constants.h"
#include "app/storage.h"
#include "conversation/cards.h"
#include "conversation/markup.h"
#include "conversation/message_row.h"
#include "emoji/emoji_tables.h"
#include "main/image_cache.h"
#include "main/image_ready.h"
#include "main/main_messages.h"
#include "veltrina/service_manager.h"
#include "veltrina/user_manager.h"

namespace veltrinawnd {

using DuiLib::CButtonUI;
using DuiLib::CHorizontalLayoutUI;
using DuiLib::CLabelUI;
using DuiLib::CListContainerElementUI;
using DuiLib::CTextUI;
using DuiLib::CVerticalLayoutUI;

namespace {

std::wstring TimeOfDay(int64_t timestamp) {
  std::time_t t = static_cast<std::time_t>(timestamp);
  std::tm local{};
  if (localtime_s(&local, &t) != 0) return L"--:--";
  wchar_t buffer[32];
  if (std::wcsftime(buffer, 31, L"%H:%M", &local) == 0) return L"--:--";
  return buffer;
}

}  // namespace

namespace message_row {

void ShowImage(const RenderContext& context, CButtonUI* button, const std::string& address, const std::string& file_name,
               UINT message) {
  if (context.images)
    context.images->Show(button, address, file_name, context.window, message, ImageWaiters::kConversation);
  else button->SetNormalImage(image_cache::LocalPath(file_name));
}

Header BuildHeader(const RenderContext& context, const veltrina::Message& message) {
  std::string image_name, address, name;
  if (message.sender_type() == 1) {
    auto user = veltrina::UserManager::DefaultManager()->FetchUserFromCacheByUid(message.uid());
    if (!user) return {};
    image_name = image_cache::AvatarFileName(user->header_url(), 40, 40, 1);
    address = kAvatarBaseUrl + image_name;
    name = user->display_name();
  } else if (message.sender_type() == 2 || message.sender_type() == 3) {
    auto service = veltrina::ServiceManager::DefaultManager()->FetchServiceFromCacheByServiceId(message.uid());
    if (!service) return {};
    image_name = service->avatar_url();
    address = kStaticBaseUrl + service->avatar_url();
    name = service->display_name();
  } else {
    return {};
  }

  auto* row = new CListContainerElementUI;
  auto* line = new CHorizontalLayoutUI;
  row->Add(line);
  auto* avatar = new CButtonUI;
  avatar->SetFixedWidth(36);
  avatar->SetFixedHeight(36);
  avatar->SetBorderRound(SIZE{3, 3});
  avatar->SetPadding(RECT{16, 6, 0, 0});
  avatar->SetMouseEnabled(false);
  line->Add(avatar);
  auto* body = new CVerticalLayoutUI;
  line->Add(body);
  auto* name_line = new CLabelUI;
  name_line->SetFont(1);
  name_line->SetTextColor(0xFF888888);
  name_line->SetPadding(RECT{5, 0, 0, 0});
  name_line->SetShowHtml(true);
  name_line->SetText(DuiLib::EscapeMarkup(Utf8ToUtf16(name)) + L"  {c #DDDDDD}" + TimeOfDay(message.timestamp()) + L"{/c}");
  name_line->SetFixedHeight(22);
  body->Add(name_line);

  ShowImage(context, avatar, address, image_name, kMsgImageReadyAvatar);
  return {row, body};
}

CTextUI* TextControl(const std::wstring& text, bool html, int left, int top) {
  auto* t = new CTextUI;
  t->SetFont(1);
  t->SetTextPadding(RECT{left, top, 0, 0});
  t->SetShowHtml(html);
  t->SetText(text);
  return t;
}

int Estimate(CTextUI* text, int width) { return text->EstimateSize(SIZE{width, 9999}).cy; }

TextBody AddTextBody(DuiLib::CContainerUI* parent, const std::string& content) {
  EmojiSplit split = ConvertMessageMarkupAndEmoji(content);
  if (split.codes.empty()) {
    CTextUI* text = TextControl(split.rest, true);
    parent->Add(text);
    return {text, false};
  }
  auto* strip = new CHorizontalLayoutUI;
  for (const std::wstring& code : split.codes) {
    std::optional<std::uint32_t> cp = EmojiCodePointOfShortCode(Utf16ToUtf8(code));
    std::optional<std::string> stem = cp ? EmojiImageStemOfCodePoint(*cp) : std::nullopt;
    if (!stem) continue;  // the split keeps only codes with a picture
    auto* image = new CButtonUI;
    image->SetNormalImage(Utf8ToUtf16(EmojiImageFile(*stem)));
    image->SetBorderRound(SIZE{3, 3});
    image->SetPadding(RECT{5, 1, 0, 0});
    image->SetFixedHeight(20);
    image->SetFixedWidth(20);
    image->SetMouseEnabled(false);
    strip->Add(image);
  }
  CTextUI* text = nullptr;
  if (!split.rest.empty()) {
    text = TextControl(split.rest, true);
    strip->Add(text);
  }
  parent->Add(strip);
  return {text, true};
}

}  // namespace message_row

namespace {

using message_row::BuildHeader;
using message_row::Estimate;
using message_row::Header;
using message_row::TextControl;

void RenderText(const RenderContext& context, const veltrina::Message& message) {
  Header h = BuildHeader(context, message);
  if (!h.row) return;
  context.display->Add(h.row);
  message_row::TextBody body = message_row::AddTextBody(h.body, message.content());
  if (!body.strip) h.row->SetFixedHeight(Estimate(body.text) + 30);
  else h.row->SetFixedHeight(body.text ? Estimate(body.text) + 36 : 56);
}

void RenderNotice(const RenderContext& context, const veltrina::Message& message, bool known) {
  std::wstring rich = known ? ConvertMessageMarkup(message.content()) : std::wstring();
  Header h = BuildHeader(context, message);
  if (!h.row) return;
  context.display->Add(h.row);
  CTextUI* text = known ? TextControl(rich, true) : TextControl(kFallbackNotice, false);
  if (known) text->SetTextColor(0xFFCDC9C9);
  h.body->Add(text);
  h.row->SetFixedHeight(Estimate(text) + 30);
}

}  // namespace

bool RenderMessage(const RenderContext& context, const veltrina::Message& message) {
  if (!context.display) return false;
  int before = context.display->GetCount();
  switch (message.message_type()) {
    case 1:
    case 4:
      if (message.sender_type() == 3) RenderEntityShareCard(context, message);
      else RenderText(context, message);
      break;
    case 3:
      RenderNotice(context, message, true);
      break;
    case 5:
      RenderImageCard(context, message);
      break;
    case 6:
    case 7:
    case 8:
      RenderFileCard(context, message);
      break;
    case 12:
      RenderMailCard(context, message);
      break;
    case 22:
      RenderCommentCard(context, message);
      break;
    case 32:
      RenderAttachmentCard(context, message);
      break;
    default:
      RenderNotice(context, message, false);
      break;
  }
  return context.display->GetCount() > before;
}

}  // namespace veltrinawnd

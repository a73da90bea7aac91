#include "main/session_rows.h"

#include "app/storage.h"

namespace veltrinawnd::session_rows {
namespace {

using DuiLib::CButtonUI;
using DuiLib::CHorizontalLayoutUI;
using DuiLib::CLabelUI;
using DuiLib::CListContainerElementUI;

CListContainerElementUI* Row(CHorizontalLayoutUI** content) {
  auto* row = new CListContainerElementUI;
  row->SetAttributeList(L"height=\"36\"");
  *content = new CHorizontalLayoutUI;
  row->Add(*content);
  return row;
}

CButtonUI* Badge(const std::wstring& name, int padding_top) {
  auto* badge = new CButtonUI;
  badge->SetName(name);
  badge->SetFont(0);
  badge->SetBkColor(0xFFFC7562);
  badge->SetTextColor(0xFFFFFFFF);
  badge->SetPadding(RECT{0, padding_top, 0, 0});
  badge->SetFixedWidth(28);
  badge->SetFixedHeight(18);
  badge->SetBorderRound(SIZE{3, 3});
  badge->SetMouseEnabled(false);
  badge->SetVisible(false);
  return badge;
}

}  // namespace

CListContainerElementUI* GroupHeader(const std::wstring& title) {
  CHorizontalLayoutUI* content = nullptr;
  CListContainerElementUI* row = Row(&content);
  row->SetMouseEnabled(false);
  auto* label = new CLabelUI;
  label->SetFont(6);
  label->SetTextColor(0xFF12161A);
  label->SetFixedWidth(110);
  label->SetPadding(RECT{12, 0, 0, 0});
  label->SetText(title);
  content->Add(label);
  return row;
}

CListContainerElementUI* Spacer() {
  auto* row = new CListContainerElementUI;
  row->SetFixedHeight(10);
  row->SetMouseEnabled(false);
  row->Add(new CHorizontalLayoutUI);
  return row;
}

RowParts ChannelRow(const std::string& channel_id, const std::string& name, bool is_channel) {
  CHorizontalLayoutUI* content = nullptr;
  CListContainerElementUI* row = Row(&content);
  std::wstring item = L"channelItem_" + Utf8ToUtf16(channel_id);
  row->SetName(item);
  auto* label = new CLabelUI;
  label->SetName(item + L"_name_label_id");
  label->SetFont(2);
  label->SetTextColor(kLabelBuilt);
  label->SetFixedWidth(190);
  label->SetPadding(RECT{18, 0, 0, 0});
  label->SetText((is_channel ? L"#" : L"") + Utf8ToUtf16(name));
  label->SetAttribute(L"endellipsis", L"true");
  content->Add(label);
  CButtonUI* badge = Badge(item + L"_num_unread_id", 8);
  content->Add(badge);
  return RowParts{row, label, badge, nullptr};
}

RowParts DirectMessageRow(const std::string& im_id, const std::string& peer_uid, const std::string& display_name,
                          int status) {
  CHorizontalLayoutUI* content = nullptr;
  CListContainerElementUI* row = Row(&content);
  std::wstring item = L"imItem_" + Utf8ToUtf16(im_id);
  row->SetName(item);

  auto* dot = new CButtonUI;
  dot->SetName(L"status_btn" + Utf8ToUtf16(peer_uid));
  dot->SetFixedWidth(8);
  dot->SetFixedHeight(8);
  dot->SetPadding(RECT{15, 14, 0, 0});
  dot->SetMouseEnabled(false);
  dot->SetNormalImage(L"status/status_offline.png.png");
  if (const wchar_t* image = PresenceImage(status)) dot->SetNormalImage(image);
  content->Add(dot);

  auto* avatar = new CButtonUI;
  avatar->SetFixedWidth(24);
  avatar->SetFixedHeight(24);
  avatar->SetBorderRound(SIZE{3, 3});
  avatar->SetPadding(RECT{8, 6, 0, 0});
  avatar->SetMouseEnabled(false);
  content->Add(avatar);

  auto* label = new CLabelUI;
  label->SetName(item + L"_name_label_id");
  label->SetFont(2);
  label->SetTextColor(kLabelBuilt);
  label->SetFixedWidth(103);
  label->SetPadding(RECT{10, 0, 0, 0});
  label->SetText(Utf8ToUtf16(display_name));
  label->SetAttribute(L"endellipsis", L"true");
  content->Add(label);
  CButtonUI* badge = Badge(item + L"_num_unread_id", 9);
  content->Add(badge);
  return RowParts{row, label, badge, avatar};
}

std::wstring BadgeText(unsigned count) {
  if (count == 0) return std::wstring();
  if (count > 99) return L"99+";
  return std::to_wstring(count);
}

void ApplyBadge(DuiLib::CControlUI* badge, unsigned count) {
  if (!badge) return;
  badge->SetText(BadgeText(count));
  badge->SetVisible(count > 0);
}

const wchar_t* PresenceImage(int status) {
  switch (status) {
    case 0: return L"status/status_offline.png.png";
    case 1: return L"status/status_online.png";
    case 2: return L"status/status_busy_normal.png";
    case 3: return L"status/status_away_normal.png";
    default: return nullptr;
  }
}

int ParseItemName(const std::wstring& name, std::string* id) {
  // Exactly a prefix, one "_" and a non-empty id without "_": a name with an empty piece
  // ("channelItem__x", "_channelItem_x") is malformed, not the row of "x".
  std::string text = Utf16ToUtf8(name);
  size_t separator = text.find('_');
  if (separator == std::string::npos || separator + 1 == text.size()) return 0;
  if (text.find('_', separator + 1) != std::string::npos) return 0;
  std::string prefix = text.substr(0, separator);
  int kind = prefix == "channelItem" ? 1 : prefix == "imItem" ? 2 : 0;
  if (kind != 0 && id) *id = text.substr(separator + 1);
  return kind;
}

}  // namespace veltrinawnd::session_rows

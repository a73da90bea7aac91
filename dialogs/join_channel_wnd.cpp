#include "dialogs/join_channel_wnd.h"

#include <ctime>
#include <string_view>

#include "app/storage.h"
#include "dialogs/substring_search.h"
#include "frame/window_manager.h"
#include "veltrina/channel_manager.h"
#include "veltrina/director.h"
#include "veltrina/user_manager.h"

namespace veltrinawnd {
namespace {

using DuiLib::CButtonUI;
using DuiLib::CHorizontalLayoutUI;
using DuiLib::CLabelUI;
using DuiLib::CListContainerElementUI;
using DuiLib::CVerticalLayoutUI;

constexpr wchar_t kSearchHint[] = L"搜索";
constexpr wchar_t kJoinPrefix[] = L"ceid_";
constexpr DWORD kOddRowColour = 0xFFF4F4F4;  // first, third, ... row
constexpr DWORD kEvenRowColour = 0xFFFFFFFF;

// The channel id of a join button, from its name "ceid_" + id. The id is the whole rest of the
// name: ids may hold "_" themselves.
bool JoinButtonId(std::wstring_view name, std::string* id) {
  const std::wstring_view prefix = kJoinPrefix;
  if (name.size() <= prefix.size() || !name.starts_with(prefix)) return false;
  *id = Utf16ToUtf8(std::wstring(name.substr(prefix.size())));
  return true;
}

// "由" creator "创建于" date; without the creator in the cache only "创建于" date.
std::wstring OriginLine(const veltrina::Channel& channel) {
  std::wstring line;
  if (auto creator = veltrina::UserManager::DefaultManager()->FetchUserFromCacheByUid(channel.creator_uid()))
    line = L"由" + Utf8ToUtf16(creator->display_name());
  line += L"创建于";
  std::time_t seconds = static_cast<std::time_t>(channel.created_at());
  std::tm local{};
  char date[32] = {};
  if (localtime_s(&local, &seconds) == 0) std::strftime(date, sizeof date, "%Y-%m-%d", &local);
  return line + Utf8ToUtf16(date);
}

CListContainerElementUI* ChannelRow(const veltrina::Channel& channel, DWORD background) {
  auto* row = new CListContainerElementUI;
  row->SetFixedHeight(55);
  row->SetBkColor(background);
  auto* content = new CHorizontalLayoutUI;
  content->SetFixedHeight(55);
  row->Add(content);

  auto* texts = new CVerticalLayoutUI;
  texts->SetFixedHeight(55);
  texts->SetFixedWidth(355);
  content->Add(texts);
  auto* name = new CLabelUI;
  name->SetTextColor(0xFF000000);
  name->SetFont(1);
  name->SetTextPadding(RECT{10, 5, 0, 0});
  name->SetAttribute(L"endellipsis", L"true");
  name->SetText(L"#" + Utf8ToUtf16(channel.channel_name()));
  texts->Add(name);
  auto* origin = new CLabelUI;
  origin->SetTextColor(0xFFB2B2B2);
  origin->SetFont(0);
  origin->SetTextPadding(RECT{10, 2, 0, 0});
  origin->SetAttribute(L"endellipsis", L"true");
  origin->SetText(OriginLine(channel));
  texts->Add(origin);

  auto* join = new CButtonUI;
  join->SetName(kJoinPrefix + Utf8ToUtf16(channel.channel_id()));
  join->SetText(L"加入");
  join->SetFixedWidth(70);
  join->SetFixedHeight(25);
  join->SetBorderRound(SIZE{2, 2});
  join->SetBorderColor(0xFFBAB8B9);
  join->SetBorderSize(1);
  join->SetBkColor(0xFFF6F6F6);
  join->SetPadding(RECT{0, 13, 0, 0});
  join->SetFont(0);
  content->Add(join);
  return row;
}

}  // namespace

JoinChannelWnd::JoinChannelWnd(int channel_kind) : channel_kind_(channel_kind) {}

void JoinChannelWnd::InitWindow() {
  all_channels_ = veltrina::ChannelManager::DefaultManager()->FetchChannelsFromCache(channel_kind_, false, false);
  BuildShownList("");

  search_ = m_PaintManager.FindControl(L"search");
  search_hint_ = Placeholder(search_, kSearchHint);
  search_hint_.Show();
  const bool channels = channel_kind_ == veltrina::Channel::kPublic;
  if (DuiLib::CControlUI* title = m_PaintManager.FindControl(L"title_label"))
    title->SetText(channels ? L"加入频道" : L"更多群组");
  DuiLib::CControlUI* create = m_PaintManager.FindControl(L"create_channel_btn");
  if (create) create->SetText(channels ? L"创建频道" : L"创建群组");

  const veltrina::Director* director = veltrina::Director::DefaultDirector();
  const int64_t permission =
      channels ? veltrina::Director::kPermissionCreateChannel : veltrina::Director::kPermissionCreateGroup;
  if (create && !(director && director->HasPermission(permission))) create->SetVisible(false);

  result_list_ = dynamic_cast<DuiLib::CListUI*>(m_PaintManager.FindControl(L"result_list"));
  FillList();
}

void JoinChannelWnd::BuildShownList(const std::string& filter) {
  // Linear in the names whatever the user typed: no regex, no quadratic search.
  const SubstringSearch needle(filter);
  shown_channels_.clear();
  for (const auto& channel : all_channels_)
    if (needle.FoundIn(channel->channel_name())) shown_channels_.push_back(channel->Clone());
}

void JoinChannelWnd::FillList() {
  if (!result_list_) return;
  result_list_->RemoveAll();
  bool odd = true;
  for (const auto& channel : shown_channels_) {
    result_list_->Add(ChannelRow(*channel, odd ? kOddRowColour : kEvenRowColour));
    odd = !odd;
  }
}

void JoinChannelWnd::Notify(DuiLib::TNotifyUI& msg) {
  const DuiLib::CDuiString name = msg.pSender ? msg.pSender->GetName() : DuiLib::CDuiString();
  if (search_hint_.OnNotify(msg)) {
    // focus in or out of the search box: nothing is filtered
  } else if (msg.sType == L"textchanged" && msg.pSender && msg.pSender == search_) {
    std::wstring text = search_->GetText();
    if (text != kSearchHint) {
      BuildShownList(Utf16ToUtf8(text));
      FillList();
    }
  } else if (msg.sType == L"click") {
    if (name == L"create_channel_btn") {
      OpenCreateWindow();
    } else if (std::string id; JoinButtonId(name, &id)) {
      Join(id);
    } else if (name == L"closeBtn") {
      WindowManager::Instance()->CloseJoinChannelWnd();
    }
  }
  FrameWnd::Notify(msg);
}

void JoinChannelWnd::Join(const std::string& channel_id) {
  // The result is not awaited: a failed join is not reported, a good one reaches the session
  // list through the core's events.
  veltrina::ChannelManager::DefaultManager()->JoinChannel(channel_id, [](bool, const std::string&) {});
  WindowManager::Instance()->CloseJoinChannelWnd();
}

void JoinChannelWnd::OpenCreateWindow() {
  WindowManager* windows = WindowManager::Instance();
  windows->CloseJoinChannelWnd();
  // Runs modally from here; this window goes away meanwhile, its object outlives the loop.
  windows->ShowCreateChannelWnd(channel_kind_);
}

void JoinChannelWnd::OnFinalMessage(HWND hWnd) {
  WindowManager::Instance()->ClearJoinChannel(this);
  FrameWnd::OnFinalMessage(hWnd);
}

}  // namespace veltrinawnd

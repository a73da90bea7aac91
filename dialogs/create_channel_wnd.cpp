#include "dialogs/create_channel_wnd.h"

#include <memory>
#include <utility>

#include "app/storage.h"
#include "frame/window_manager.h"
#include "main/main_wnd.h"
#include "veltrina/channel.h"
#include "veltrina/channel_manager.h"

namespace veltrinawnd {
namespace {

constexpr wchar_t kNameHint[] = L"给频道一个简单的名字";
constexpr wchar_t kTopicHint[] = L"说明主要讨论的内容(可选)";
constexpr PlaceholderColours kHintColours{0xFF000000, 0xFFEBEAEC};

}  // namespace

CreateChannelWnd::CreateChannelWnd(int channel_kind) : channel_kind_(channel_kind) {}

void CreateChannelWnd::InitWindow() {
  window_title_ = m_PaintManager.FindControl(L"window_title");
  close_btn_ = m_PaintManager.FindControl(L"close_btn");
  description_text_ = m_PaintManager.FindControl(L"description_text");
  name_edit_ = m_PaintManager.FindControl(L"name_edit");
  topic_edit_ = m_PaintManager.FindControl(L"topic_edit");

  const wchar_t* heading = nullptr;
  const wchar_t* description = nullptr;
  if (channel_kind_ == veltrina::Channel::kPublic) {
    heading = L"新建频道";
    description = L"创建一个公开的频道，所有团队成员都可以看到并加入参与讨论，"
                  L"频道中的文件将在团队范围内共享。";
  } else if (channel_kind_ == veltrina::Channel::kPrivate) {
    heading = L"新建群组";
    description = L"创建一个私有群组，只有受邀请的团队成员才可以加入该群组并参与讨论，"
                  L"群组中的文件只有群组成员才可以访问。";
  }
  if (heading && window_title_) window_title_->SetText(heading);
  if (description && description_text_) description_text_->SetText(description);

  name_hint_ = Placeholder(name_edit_, kNameHint, kHintColours);
  topic_hint_ = Placeholder(topic_edit_, kTopicHint, kHintColours);
  name_hint_.Show();
  topic_hint_.Show();
  if (name_edit_) name_edit_->SetFocus();  // its "setfocus" clears the hint at once
}

void CreateChannelWnd::Notify(DuiLib::TNotifyUI& msg) {
  if (!name_hint_.OnNotify(msg) && !topic_hint_.OnNotify(msg) && msg.sType == L"click" && msg.pSender) {
    const DuiLib::CDuiString& name = msg.pSender->GetName();
    if (name == L"save_btn") Save();
    else if (name == L"close_btn" || name == L"cancel_btn") WindowManager::Instance()->CloseCreateChannelWnd();
  }
  FrameWnd::Notify(msg);
}

void CreateChannelWnd::Save() {
  // Value() is empty while the box shows its hint: the hint is never a name or a topic.
  std::wstring name = name_hint_.Value();
  if (name.empty()) {
    if (name_edit_) name_edit_->SetFocus();
    return;
  }
  if (request_sent_) return;
  request_sent_ = true;
  bridge::WindowRef self = Ref();
  veltrina::ChannelManager::DefaultManager()->CreateChannel(
      Utf16ToUtf8(name), Utf16ToUtf8(topic_hint_.Value()), channel_kind_, {},
      [self](bool ok, const std::string&, std::unique_ptr<veltrina::Channel> channel) {
        if (ok && channel) bridge::Post(self, kMsgChannelCreated, std::move(channel));
        else bridge::PostValue(self, kMsgChannelCreateFailed, 0);
      });
}

bool CreateChannelWnd::Tracked() const { return WindowManager::Instance()->create_channel_wnd() == this; }

void CreateChannelWnd::OnCreated(LPARAM lParam) {
  std::unique_ptr<veltrina::Channel> channel = lifetime_.Receive<veltrina::Channel>(lParam);
  if (!channel || !Tracked()) return;
  WindowManager* windows = WindowManager::Instance();
  windows->CloseCreateChannelWnd();
  if (MainWnd* main = windows->main_wnd()) main->SelectById(channel->channel_id(), true);
}

void CreateChannelWnd::OnCreateFailed() {
  // The reason is not shown: the window just closes.
  if (Tracked()) WindowManager::Instance()->CloseCreateChannelWnd();
}

LRESULT CreateChannelWnd::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  if (uMsg == kMsgChannelCreated) {
    OnCreated(lParam);
    return 0;
  }
  if (uMsg == kMsgChannelCreateFailed) {
    OnCreateFailed();
    return 0;
  }
  return FrameWnd::HandleMessage(uMsg, wParam, lParam);
}

void CreateChannelWnd::OnFinalMessage(HWND hWnd) {
  WindowManager::Instance()->ClearCreateChannel(this);
  FrameWnd::OnFinalMessage(hWnd);
}

}  // namespace veltrinawnd

// The composer of the main window: Enter sends, Shift+Enter adds a line, the edit menu; the text
// of a send that fails or gets no answer comes back to its conversation.
#include <windows.h>

#include "app/storage.h"
#include "app/system_seam.h"
#include "main/main_messages.h"
#include "main/main_wnd.h"
#include "veltrina/chat_manager.h"
#include "veltrina/im_manager.h"
#include "veltrina/log.h"

namespace veltrinawnd {

bool MainWnd::OnComposerEnter() {
  DuiLib::CRichEditUI* input = ChatInput();
  if (!input || m_PaintManager.GetFocus() != input) return false;
  if (GetKeyState(VK_SHIFT) < 0) {
    input->SetText(input->GetText() + L"\n");  // at the end, wherever the caret is
    input->SetSel(-1, -1);
  } else {
    SendComposerText();
  }
  return true;
}

void MainWnd::SendComposerText() {
  DuiLib::CRichEditUI* input = ChatInput();
  if (!input || input->GetText().empty()) return;
  const std::string id = open_conversation_id_;
  int kind = ConversationKind(id);
  std::string partner;
  if (kind != 1) {
    std::unique_ptr<veltrina::IM> im = kind == 2 ? veltrina::IMManager::DefaultManager()->FetchImFromCacheByImId(id)
                                                 : nullptr;
    if (!im) {
      // No message can be built for this conversation: send nothing, keep what was typed.
      veltrina::log("Nothing sent: conversation %s is unknown", id.c_str());
      return;
    }
    partner = im->to_uid();
  }
  std::wstring typed = input->GetText();
  std::string text = Utf16ToUtf8(typed);
  input->SetText(L"");
  std::unique_ptr<veltrina::Message> message = kind == 2 ? veltrina::Message::TextMessageForIM(id, partner, text)
                                                         : veltrina::Message::TextMessageForChannel(id, text);
  // The text is kept until the answer says it went through; the clock runs while a send waits.
  if (!outgoing_.waiting()) SetTimer(m_hWnd, kTimerSendTimeOut, kSendTimeOutTickMs, nullptr);
  const int serial = outgoing_.Sent(id, typed);
  bridge::WindowRef self = Ref();
  veltrina::ChatManager::DefaultManager()->SendMessageW(
      *message, [self, serial](bool ok, std::unique_ptr<veltrina::Message> stored) {
        auto event = std::make_unique<CoreEvent>();
        event->value = serial;
        if (ok && stored) {
          event->kind = CoreEvent::kDirectMessage;  // shown like any arrival, from the completion only
          event->message = std::move(stored);
        } else {
          event->kind = CoreEvent::kSendFailed;
        }
        bridge::Post(self, kMsgCoreEvent, std::move(event));
      });
}

void MainWnd::OnSendAnswered(int serial, bool ok) {
  const std::string kept = outgoing_.Answered(serial, ok);
  if (!kept.empty()) {
    veltrina::log("Send to %s failed; its text is kept", kept.c_str());
    if (kept == open_conversation_id_) RestoreDraft(kept);
  }
  if (!outgoing_.waiting()) KillTimer(m_hWnd, kTimerSendTimeOut);
}

void MainWnd::OnSendTimeOutTick() {
  for (const std::string& id : outgoing_.Tick()) {
    veltrina::log("Send to %s has no answer in time; its text is kept", id.c_str());
    if (id == open_conversation_id_) RestoreDraft(id);
  }
  if (!outgoing_.waiting()) KillTimer(m_hWnd, kTimerSendTimeOut);
}

void MainWnd::RestoreDraft(const std::string& id) {
  DuiLib::CRichEditUI* input = ChatInput();
  if (!input) return;
  const std::wstring draft = outgoing_.TakeDraft(id);
  if (draft.empty()) return;
  // What the user typed meanwhile stays as it is; the kept text follows it on a new line.
  const std::wstring typed = input->GetText();
  input->SetText(typed.empty() ? draft : typed + L"\n" + draft);
  input->SetSel(-1, -1);
}

void MainWnd::ShowEditMenu(POINT client_point) {
  DuiLib::CRichEditUI* input = ChatInput();
  if (!input) return;
  ClientToScreen(m_hWnd, &client_point);
  switch (System().TrackMenu(edit_menu_, TPM_RETURNCMD, client_point.x, client_point.y, m_hWnd)) {
    case 1059: input->Copy(); break;
    case 1061: input->Cut(); break;
    case 1060: input->Paste(); break;
    default: break;
  }
}

}  // namespace veltrinawnd

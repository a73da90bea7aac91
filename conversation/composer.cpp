// The composer of the main window: Enter sends, Shift+Enter adds a line, the edit menu.
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
  bridge::WindowRef self = Ref();
  veltrina::ChatManager::DefaultManager()->SendMessageW(
      *message, [self, id, typed](bool ok, std::unique_ptr<veltrina::Message> stored) {
        auto event = std::make_unique<CoreEvent>();
        if (ok && stored) {
          event->kind = CoreEvent::kDirectMessage;  // shown like any arrival, from the completion only
          event->message = std::move(stored);
        } else {
          event->kind = CoreEvent::kSendFailed;
          event->id = id;
          event->text = typed;
        }
        bridge::Post(self, kMsgCoreEvent, std::move(event));
      });
}

void MainWnd::OnSendFailed(const std::string& conversation_id, const std::wstring& text) {
  // The text goes back where it came from, unless the user has moved on.
  DuiLib::CRichEditUI* input = ChatInput();
  if (!input || conversation_id != open_conversation_id_ || !input->GetText().empty()) return;
  input->SetText(text);
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

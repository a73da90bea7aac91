// What the main window's buttons, menus and links do.
#include <string>

#include "app/constants.h"
#include "app/storage.h"
#include "app/system_seam.h"
#include "app/team_site.h"
#include "conversation/markup.h"
#include "frame/window_manager.h"
#include "main/main_wnd.h"
#include "main/popup_menus.h"
#include "main/screen_capture.h"
#include "veltrina/director.h"
#include "veltrina/log.h"
#include "veltrina/team.h"

namespace veltrinawnd {

namespace {

// The chosen path in UTF-8, which spells every name but one with a lone UTF-16 surrogate (NTFS
// allows those): such a name is handed on by its short form; empty when neither spells the file.
std::string Utf8PathOf(const std::wstring& path) {
  std::string utf8 = Utf16ToUtf8(path);
  if (Utf8ToUtf16(utf8) == path) return utf8;
  wchar_t short_path[MAX_PATH];
  DWORD length = GetShortPathNameW(path.c_str(), short_path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  utf8 = Utf16ToUtf8(short_path);
  return Utf8ToUtf16(utf8) == short_path ? utf8 : std::string();
}

}  // namespace

void MainWnd::Notify(DuiLib::TNotifyUI& msg) {
  const DuiLib::CDuiString name = msg.pSender ? msg.pSender->GetName() : DuiLib::CDuiString();
  if (msg.sType == L"itemselect" && msg.pSender == session_list_) {
    OnSessionItemSelected();
  } else if (msg.sType == L"link") {
    // The link that was clicked decides, not the first link of its control.
    if (auto* text = dynamic_cast<DuiLib::CTextUI*>(msg.pSender)) {
      if (const DuiLib::CDuiString* content = text->GetLinkContent(static_cast<int>(msg.wParam)))
        PerformLinkAction(*content);
    }
  } else if (msg.sType == L"return") {
    if (ChatInput()) SendComposerText();
  } else if (msg.sType == L"richedit_click" && name == L"chat_input") {
    ShowEditMenu(msg.ptMouse);
  } else if (msg.sType == L"itemrclick") {
    OnSessionItemRightClick(msg);
  } else if (msg.sType == L"itemclick") {
    OnMenuItemClick(name);
  } else if (msg.sType == L"click") {
    OnClick(name, msg.ptMouse);
  }
  FrameWnd::Notify(msg);
}

void MainWnd::OnClick(const DuiLib::CDuiString& name, POINT mouse) {
  WindowManager* wm = WindowManager::Instance();
  if (name == L"customCloseBtn") ShowWindow(false, false);
  else if (name == L"team_menu_btn") ShowPopupMenu<TeamMenuWnd>(&m_PaintManager, mouse);
  else if (name == L"personal_menu_btn") ShowPopupMenu<PersonalMenuWnd>(&m_PaintManager, mouse);
  else if (name == L"im_or_channel_btn") ShowPopupMenu<ImOrChannelMenuWnd>(&m_PaintManager, mouse);
  else if (name == L"add_channel_btn") wm->ShowJoinChannelWnd(1);
  else if (name == L"add_group_btn") wm->ShowJoinChannelWnd(2);
  else if (name == L"open_im_btn") wm->ShowOpenImWnd();
  else if (name == L"add_members_btn") wm->ShowAddMembersWnd(open_conversation_id_);
  else if (name == L"members_btn") wm->ShowViewMembersWnd(open_conversation_id_);
  else if (name == L"send_message_btn") SendComposerText();
  else if (name == L"leave_btn") LeaveOpenChannel();
  else if (name == L"file_btn") ShowFileBrowser();
  else if (name == L"emoji_btn") ShowEmojiPicker();
  else if (name == L"upload_btn") ChooseFileToUpload();
  else if (name == L"screenshot_btn") CopyScreenToClipboard(m_hWnd);
}

void MainWnd::OnMenuItemClick(const DuiLib::CDuiString& name) {
  WindowManager* wm = WindowManager::Instance();
  if (name == L"menu_config_service") OpenTeamSitePage("/services");
  else if (name == L"menu_config_team") OpenTeamSitePage("/admin");
  else if (name == L"menu_invite_members") OpenTeamSitePage("/admin/invites");
  else if (name == L"menu_homepage") OpenTeamSitePage("/dashboard");
  else if (name == L"menu_account_config") OpenTeamSitePage("/account/setting");
  else if (name == L"menu_open_im") wm->ShowOpenImWnd();
  else if (name == L"menu_join_channel") wm->ShowJoinChannelWnd(1);
  else if (name == L"menu_create_group") wm->ShowJoinChannelWnd(2);
}

void MainWnd::OpenTeamSitePage(const char* path) {
  veltrina::Director* director = veltrina::Director::DefaultDirector();
  const veltrina::Team* team = director ? director->current_team() : nullptr;
  const std::string address = team ? TeamSiteAddress(team->team_subdomain(), path) : std::string();
  if (address.empty()) {
    veltrina::log("no team site to open %s on", path);
    return;
  }
  OpenWebAddress(Utf8ToUtf16(address));
}

void MainWnd::ShowFileBrowser() {
  RECT rc;
  GetWindowRect(m_hWnd, &rc);
  WindowManager::Instance()->ShowViewFilesWnd(open_conversation_id_, rc.right - 320, rc.top, rc.bottom - rc.top,
                                               ConversationKind(open_conversation_id_) == 1 ? 1 : 2);
}

void MainWnd::ShowEmojiPicker() {
  if (!emoji_btn_) return;
  POINT pt{emoji_btn_->GetPos().left, emoji_btn_->GetPos().top};
  ClientToScreen(m_hWnd, &pt);
  WindowManager::Instance()->ShowSelectEmojiWnd(open_conversation_id_, pt.x - 216, pt.y - 236);
}

void MainWnd::ChooseFileToUpload() {
  wchar_t file[520] = L"";
  OPENFILENAMEW record{};
  record.lStructSize = sizeof record;
  record.hwndOwner = nullptr;
  record.lpstrFilter = L"所有文件\0*.*\0";
  record.nFilterIndex = 1;
  record.lpstrFile = file;
  record.nMaxFile = 520;
  record.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
  if (!System().ChooseOpenFile(&record)) return;  // cancelled
  file[519] = L'\0';
  std::string path = Utf8PathOf(file);
  if (path.empty()) {
    veltrina::log("upload: the path of the chosen file cannot be handed on");
    System().ShowMessageBox(m_hWnd, L"无法上传该文件：文件路径中含有无法识别的字符", nullptr, MB_OK);
    return;
  }
  WindowManager::Instance()->ShowUploadFileWnd(open_conversation_id_, path,
                                               ConversationKind(open_conversation_id_) == 1 ? 1 : 2);
}

}  // namespace veltrinawnd

#pragma once
// The notification-area icon of the main window: colour when connected, grey when not, blinking
// while the team has unread messages, balloons for a lost connection or a failed upload, and its
// right-click menu.
#include <windows.h>
#include <shellapi.h>

#include <string>

namespace veltrinawnd {

class TrayIcon {
 public:
  static constexpr UINT kCmdFeedback = 1032;
  static constexpr UINT kCmdExit = 1033;

  TrayIcon() = default;
  ~TrayIcon();
  TrayIcon(const TrayIcon&) = delete;
  TrayIcon& operator=(const TrayIcon&) = delete;

  // Loads the icons from the working folder, adds the icon, starts the network check timer and
  // creates the menu.
  void Add(HWND owner);
  void Remove();
  // Timer 1038: acts only when the reachability changed since the last check.
  void OnNetworkCheck();
  // Timer 1040: colour and blank in turn.
  void OnFlashTick();
  // The team's unread total changed.
  void OnUnreadTotal(unsigned total);
  // A connection state from the core: 0 connected, 1 reconnecting, 2 failed.
  void OnConnectionState(int state);
  // A balloon at the icon, the texts cut to what it holds; false when there is no icon to show it.
  bool ShowBalloon(const std::wstring& title, const std::wstring& text);
  // Tracks the menu at the cursor; returns the chosen command or 0.
  UINT TrackMenu();
  void StartFlashing();

  HICON current_icon() const { return data_.hIcon; }
  HICON colour_icon() const { return colour_; }
  HICON grey_icon() const { return grey_; }
  bool connected() const { return connected_; }

 private:
  void Modify(HICON icon);
  void FillRecord();

  HWND owner_ = nullptr;
  NOTIFYICONDATAW data_{};
  HICON colour_ = nullptr;
  HICON grey_ = nullptr;
  HMENU menu_ = nullptr;
  bool added_ = false;
  // The network state last acted on; the first check compares against "connected".
  bool connected_ = true;
};

}  // namespace veltrinawnd

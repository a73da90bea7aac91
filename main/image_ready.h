#pragma once
// Gives buttons cached images: the local path at once, and, when the file is not known to be
// there yet, a download whose completion hands the path to the window with an image-ready
// message. One download per file at a time: later buttons for it wait for the one in flight.
#include <windows.h>

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core_bridge/window_bridge.h"
#include "duilib/UIlib.h"

namespace veltrinawnd {

struct ImageReadyRecord;

// For a window that finds its buttons itself: the answer names the button and its fresh serial
// tag, so that a late answer for a replaced button is recognised.
void ShowCachedImage(DuiLib::CButtonUI* button, const std::string& address, const std::string& file_name,
                     bridge::WindowRef window, UINT message, const std::string& conversation_id = std::string(),
                     bool always_download = false);

// The buttons of one window that wait for images, by local path. The window forgets a group's
// (or a row's) buttons when it removes them, so every button listed here is alive.
class ImageWaiters {
 public:
  enum Group { kSessionList, kConversation, kWindow };

  // The button shows the image's local path now; unless the file is known to be cached it also
  // waits for the download, which starts unless one for the same file is in flight. The answer
  // comes back to `window` as `message`, to be handed to Arrived.
  void Show(DuiLib::CButtonUI* button, const std::string& address, const std::string& file_name,
            bridge::WindowRef window, UINT message, Group group, const std::string& row = std::string());
  // A download ended: its waiting buttons get the file (unless they were given another image
  // since), and a failed one may be tried again by the next button.
  void Arrived(const ImageReadyRecord& record);
  void Forget(Group group);
  void Forget(Group group, const std::string& row);

 private:
  struct Waiter {
    DuiLib::CButtonUI* button;
    UINT_PTR tag;
    Group group;
    std::string row;
  };
  template <typename Pred>
  void ForgetIf(Pred pred);

  std::unordered_map<std::string, std::vector<Waiter>> waiting_;
  std::unordered_set<std::string> in_flight_;
  UINT_PTR serial_ = 0;
};

}  // namespace veltrinawnd

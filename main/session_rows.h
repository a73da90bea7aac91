#pragma once
// The rows of the session list, built in code: group headers, spacers, channel and group rows,
// direct-message rows with presence and avatar, and the unread badge rule.
#include <string>
#include <vector>

#include "duilib/UIlib.h"

namespace veltrinawnd::session_rows {

// What the row of one conversation shows: the rows are built again only when some of it changed.
struct RowData {
  int kind = 0;  // 1 channel, 2 direct message, 3 group
  std::string id;
  std::string name;  // channel or group name; the peer's display name
  std::string peer_uid;
  std::string avatar;  // the peer's avatar file name
  int status = 0;
  unsigned num_unread = 0;
  unsigned num_new = 0;
  bool operator==(const RowData&) const = default;
};

// The controls of a built row that later updates touch.
struct RowParts {
  DuiLib::CListContainerElementUI* row = nullptr;
  DuiLib::CLabelUI* label = nullptr;
  DuiLib::CButtonUI* badge = nullptr;
  DuiLib::CButtonUI* avatar = nullptr;
};

DuiLib::CListContainerElementUI* GroupHeader(const std::wstring& title);
DuiLib::CListContainerElementUI* Spacer();
// "channelItem_" + id; label "#" + name for channels, the plain name for groups.
RowParts ChannelRow(const std::string& channel_id, const std::string& name, bool is_channel);
// "imItem_" + id; presence dot "status_btn" + peer uid; the avatar button gets its image later.
RowParts DirectMessageRow(const std::string& im_id, const std::string& peer_uid, const std::string& display_name,
                          int status);

// Badge text: empty (hidden) for 0, the number up to 99, "99+" above.
std::wstring BadgeText(unsigned count);
void ApplyBadge(DuiLib::CControlUI* badge, unsigned count);
// Presence image for a status code; null for an unknown code (the image stays as it is).
const wchar_t* PresenceImage(int status);

// Kind and id from an item name: 1 for "channelItem_<id>", 2 for "imItem_<id>", 0 otherwise
// (also for names with more than one "_").
int ParseItemName(const std::wstring& name, std::string* id);

inline constexpr DWORD kLabelBuilt = 0xFF627180;
inline constexpr DWORD kLabelDark = 0xFF232A32;
inline constexpr DWORD kLabelGrey = 0xFF848484;

}  // namespace veltrinawnd::session_rows

#pragma once
// Unread counts of one conversation, or summed over the current team.
#include <cstdint>

namespace veltrina {

struct _NumUnread {
  // Messages of others not yet read: the count on badges and the one that makes the tray flash.
  uint32_t num_unread = 0;
  // Everything new since the read cursor, system notices included (label dark or grey).
  uint32_t num_new = 0;
};

}  // namespace veltrina

#pragma once
// Message rows of the conversation view: the header (avatar, name, grey time), the text body
// with its strip of emoji images, the system notice and the fallback notice.
#include <string>
#include <vector>

#include "conversation/emoji_split.h"
#include "core_bridge/window_bridge.h"
#include "duilib/UIlib.h"
#include "veltrina/message.h"

namespace veltrinawnd {

class ImageWaiters;

struct RenderContext {
  DuiLib::CListUI* display = nullptr;
  bridge::WindowRef window;     // receives the avatar's image-ready message
  std::string conversation_id;  // the open conversation
  // The window's image downloads; without them images show only when already cached.
  ImageWaiters* images = nullptr;
};

// Appends at most one row for the message; false when nothing was shown (unknown sender).
bool RenderMessage(const RenderContext& context, const veltrina::Message& message);

inline constexpr wchar_t kFallbackNotice[] = L"[请在Web上或者手机上查看此消息]";

}  // namespace veltrinawnd

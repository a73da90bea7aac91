#pragma once
// The pieces every message row is built from: the header (avatar, name, time) with the body
// container that text and cards fill, and the text controls measured at the row's width.
#include "conversation/message_view.h"

namespace veltrinawnd::message_row {

struct Header {
  DuiLib::CListContainerElementUI* row = nullptr;
  DuiLib::CVerticalLayoutUI* body = nullptr;
};

// The row and its body container, or an empty header when the sender is not known (nothing is
// allocated then).
Header BuildHeader(const RenderContext& context, const veltrina::Message& message);

// The button shows a cached image, fetched for the conversation when missing.
void ShowImage(const RenderContext& context, DuiLib::CButtonUI* button, const std::string& address,
               const std::string& file_name, UINT message);

// A text control with font 1, text padding (left, top), markup shown or not.
DuiLib::CTextUI* TextControl(const std::wstring& text, bool html, int left = 5, int top = 0);

// A message's text as the conversation shows it (links, mentions, channels, commands, every
// other character escaped), after a strip of its emoji pictures when it has codes. The text
// control is null when the pictures are all there is.
struct TextBody {
  DuiLib::CTextUI* text = nullptr;
  bool strip = false;
};
TextBody AddTextBody(DuiLib::CContainerUI* parent, const std::string& content);

// The text's height at the given width, as painting will lay it out.
int Estimate(DuiLib::CTextUI* text, int width = 570);

}  // namespace veltrinawnd::message_row

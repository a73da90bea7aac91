#pragma once
// Messages that carry more than text: an entity shared by a service, an uploaded image with its
// thumbnail, a file with its type icon, a comment on a file, a mail notification and an
// integration's attachment. Each card appends at most one row to the conversation.
#include <string>

#include "conversation/message_view.h"
#include "veltrina/attachment.h"

namespace veltrinawnd {

// The skin-relative icon of a file name: "file_type/file_type_" + extension + ".png" when the
// skin has it, else "file_type/file_type_default.png". Extensions that could name anything
// but a file of that folder (separators, dots, spaces) get the default.
std::wstring FileTypeIcon(const std::wstring& file_name);

// "#RRGGBB" as an opaque ARGB colour; anything else gives kNoBarColor (no bar is seen).
inline constexpr unsigned long kNoBarColor = 0x000000FF;
unsigned long ParseCardColor(const std::string& color);

void RenderEntityShareCard(const RenderContext& context, const veltrina::Message& message);
void RenderImageCard(const RenderContext& context, const veltrina::Message& message);
void RenderFileCard(const RenderContext& context, const veltrina::Message& message);
void RenderCommentCard(const RenderContext& context, const veltrina::Message& message);
void RenderMailCard(const RenderContext& context, const veltrina::Message& message);
void RenderAttachmentCard(const RenderContext& context, const veltrina::Message& message);

// Fills a cell with a field's title and value; returns the cell's height.
int AddAttachmentFieldCell(DuiLib::CContainerUI* cell, const veltrina::Attachment::Field& field);

}  // namespace veltrinawnd

#include "conversation/cards.h"

#include <algorithm>
#include <memory>

#include "app/constants.h"
#include "app/storage.h"
#include "conversation/card_text.h"
#include "conversation/markup.h"
#include "conversation/message_row.h"
#include "main/image_cache.h"
#include "main/image_ready.h"
#include "main/main_messages.h"
#include "veltrina/director.h"
#include "veltrina/entity.h"
#include "veltrina/log.h"
#include "veltrina/team.h"

namespace veltrinawnd {

using DuiLib::CButtonUI;
using DuiLib::CContainerUI;
using DuiLib::CHorizontalLayoutUI;
using DuiLib::CTextUI;
using DuiLib::CVerticalLayoutUI;
using message_row::Estimate;
using message_row::Header;
using message_row::TextControl;

namespace {

constexpr wchar_t kDefaultFileIcon[] = L"file_type/file_type_default.png";
constexpr unsigned long kShareBarColor = 0xFFFDF0C3;
constexpr unsigned long kMailBarColor = 0xFF51BCB6;
constexpr int kNameLineHeight = 22;  // the header's name line
constexpr int kRowMargin = 8;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A card: the colour bar at the left, the body to its right. The bar's height is set once the
// body is measured.
struct Card {
  CHorizontalLayoutUI* card = nullptr;
  CButtonUI* bar = nullptr;
  CVerticalLayoutUI* body = nullptr;

  // The bar is as high as the measured content; the card also holds what its children's
  // paddings add (layout_extra), so that nothing in it is cut.
  void SetContentHeight(int height, int layout_extra = 0) {
    bar->SetFixedHeight(height);
    card->SetFixedHeight(height + 5 + layout_extra);  // 5: the bar's top padding
  }
};

Card AddCard(CContainerUI* parent, unsigned long color) {
  auto* card = new CHorizontalLayoutUI;
  auto* bar = new CButtonUI;
  bar->SetFixedWidth(2);
  bar->SetPadding(RECT{0, 5, 0, 0});
  bar->SetBkColor(color);
  bar->SetMouseEnabled(false);
  card->Add(bar);
  auto* body = new CVerticalLayoutUI;
  card->Add(body);
  parent->Add(card);
  return {card, bar, body};
}

// Adds a text control and fixes its height to what it measures at the width; returns it.
int AddFixedText(CContainerUI* parent, CTextUI* text, int width = 570) {
  parent->Add(text);
  const int height = Estimate(text, width);
  text->SetFixedHeight(height);
  return height;
}

// Text shown as markup but measured as the plain text it displays (link markup is longer than
// what it shows and would wrap too early).
int AddMeasuredRichText(CContainerUI* parent, const card_text::RichText& shown) {
  CTextUI* text = TextControl(shown.plain, false, 10, 3);
  const int height = AddFixedText(parent, text);
  text->SetShowHtml(true);
  text->SetText(shown.rich);
  return height;
}

// A line of converted content with text padding (5, 3); returns its height.
int AddLine(CContainerUI* parent, const std::wstring& rich) {
  return AddFixedText(parent, TextControl(rich, true, 5, 3));
}

// Markup with the items the core's formatter finds now.
const card_text::Converter& Convert() {
  static const card_text::Converter convert = [](const std::string& content, std::wstring* plain) {
    return ConvertMessageMarkup(content, plain);
  };
  return convert;
}

// A converted text (measured as the plain text it shows) in a card body.
int AddMeasuredRichText(CContainerUI* parent, const std::string& content) {
  card_text::RichText text;
  text.rich = ConvertMessageMarkup(content, &text.plain);
  return AddMeasuredRichText(parent, text);
}

std::unique_ptr<veltrina::Entity> FilledEntity(const veltrina::Message& message, bool* filled) {
  auto entity = std::make_unique<veltrina::Entity>();
  *filled = entity->InitWithJsonOrDie(message.entity_json());
  return entity;
}

std::string FileAddress(const veltrina::Entity& entity) {
  return card_text::FileAddress(entity.path(), entity.file_extension());
}

// The image and file cards begin alike: the row with its "创建了: " label (no row for an unknown
// sender).
struct CreatedRow {
  Header header;
  int label_height = 0;
};

CreatedRow AddCreatedRow(const RenderContext& context, const veltrina::Message& message,
                         const veltrina::Entity& entity) {
  std::wstring label = card_text::CreatedLabel(message.content(), FileAddress(entity), Convert());
  Header h = message_row::BuildHeader(context, message);
  if (!h.row) return {};
  context.display->Add(h.row);
  return {h, AddFixedText(h.body, TextControl(label, true, 5, 0))};
}

// The thumbnail or icon below the label.
CButtonUI* AddPicture(CContainerUI* body, int width, int height) {
  auto* picture = new CButtonUI;
  picture->SetBorderRound(SIZE{3, 3});
  picture->SetPadding(RECT{5, 6, 0, 0});
  picture->SetFixedWidth(width);
  picture->SetFixedHeight(height);
  body->Add(picture);
  return picture;
}

bool IsSafeExtension(const std::wstring& extension) {
  if (extension.empty() || extension.size() > 16) return false;
  for (wchar_t c : extension) {
    bool ok = (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'_' ||
              c == L'-' || c == L'+';
    if (!ok) return false;
  }
  return true;
}

}  // namespace

std::wstring FileTypeIcon(const std::wstring& file_name) {
  size_t dot = file_name.rfind(L'.');
  if (dot == std::wstring::npos) return kDefaultFileIcon;
  std::wstring extension = file_name.substr(dot + 1);
  if (!IsSafeExtension(extension)) return kDefaultFileIcon;
  std::wstring icon = L"file_type/file_type_" + extension + L".png";
  std::wstring on_disk = DuiLib::CPaintManagerUI::GetResourcePath() + L"file_type\\file_type_" + extension + L".png";
  DWORD attributes = GetFileAttributesW(on_disk.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return kDefaultFileIcon;
  return icon;
}

unsigned long ParseCardColor(const std::string& color) {
  if (color.size() != 7 || color[0] != '#') return kNoBarColor;
  unsigned long value = 0xFF;
  for (size_t i = 1; i < 7; ++i) {
    int digit = HexDigit(color[i]);
    if (digit < 0) return kNoBarColor;
    value = (value << 4) | static_cast<unsigned long>(digit);
  }
  return value;
}

void RenderEntityShareCard(const RenderContext& context, const veltrina::Message& message) {
  bool filled = false;
  std::unique_ptr<veltrina::Entity> entity = FilledEntity(message, &filled);  // drawn with what it holds
  Header h = message_row::BuildHeader(context, message);
  if (!h.row) return;
  context.display->Add(h.row);
  int link_height = AddLine(h.body, card_text::ShareLinkLine(entity->public_url()));
  Card card = AddCard(h.body, kShareBarColor);
  int summary_height = entity->summary().empty() ? 0 : AddMeasuredRichText(card.body, entity->summary());
  card.SetContentHeight(summary_height);
  h.row->SetFixedHeight(summary_height + 50 + link_height);
}

void RenderImageCard(const RenderContext& context, const veltrina::Message& message) {
  bool filled = false;
  std::unique_ptr<veltrina::Entity> entity = FilledEntity(message, &filled);
  if (!filled) return;
  image_cache::Thumbnail thumb =
      image_cache::ThumbnailFor(entity->path(), entity->file_extension(), entity->thumb_width(), entity->thumb_height());
  veltrina::log("Thumb URL is %s, local path is %s", thumb.address.c_str(),
                Utf16ToUtf8(image_cache::LocalPath(thumb.local_name)).c_str());
  CreatedRow created = AddCreatedRow(context, message, *entity);
  if (!created.header.row) return;
  CButtonUI* picture = AddPicture(created.header.body, thumb.width, thumb.height);
  picture->SetMouseEnabled(false);
  message_row::ShowImage(context, picture, thumb.address, thumb.local_name, kMsgImageReadyCard);
  created.header.row->SetFixedHeight(created.label_height + 36 + thumb.height);
}

void RenderFileCard(const RenderContext& context, const veltrina::Message& message) {
  bool filled = false;
  std::unique_ptr<veltrina::Entity> entity = FilledEntity(message, &filled);
  if (!filled) return;
  CreatedRow created = AddCreatedRow(context, message, *entity);
  if (!created.header.row) return;
  CButtonUI* icon = AddPicture(created.header.body, 80, 80);
  std::wstring image = FileTypeIcon(card_text::CreatedTitle(message.content(), Convert()));
  icon->SetNormalImage(image.empty() ? kDefaultFileIcon : image);
  created.header.row->SetFixedHeight(created.label_height + 110);
}

void RenderCommentCard(const RenderContext& context, const veltrina::Message& message) {
  bool filled = false;
  std::unique_ptr<veltrina::Entity> entity = FilledEntity(message, &filled);  // missing values are empty
  std::wstring text = card_text::CommentText(entity->title(), message.content(), FileAddress(*entity), Convert());
  Header h = message_row::BuildHeader(context, message);
  if (!h.row) return;
  // In the list first: a text measures only once it belongs to a window (its fonts), and the
  // comment's two lines would otherwise get no height at all.
  context.display->Add(h.row);
  const int height = AddFixedText(h.body, TextControl(text, true, 5, 0));
  h.row->SetFixedHeight(height + 30);
}

void RenderMailCard(const RenderContext& context, const veltrina::Message& message) {
  bool filled = false;
  std::unique_ptr<veltrina::Entity> entity = FilledEntity(message, &filled);
  if (!filled) return;
  Header h = message_row::BuildHeader(context, message);
  if (!h.row) return;
  context.display->Add(h.row);
  int title_height = AddLine(h.body, ConvertMessageMarkup("新邮件通知"));
  Card card = AddCard(h.body, kMailBarColor);
  std::string subdomain;
  if (veltrina::Director* director = veltrina::Director::DefaultDirector()) {
    if (const veltrina::Team* team = director->current_team()) subdomain = team->team_subdomain();
  }
  int body_height =
      AddMeasuredRichText(card.body, card_text::MailBody(subdomain, entity->entity_id(), entity->subject(), entity->from()));
  card.SetContentHeight(body_height);
  h.row->SetFixedHeight(title_height + 50 + body_height);
}

int AddAttachmentFieldCell(CContainerUI* cell, const veltrina::Attachment::Field& field) {
  const int width = field.is_short ? 285 : 570;
  CTextUI* title = TextControl(ConvertMessageMarkup(field.title), true, 10, 5);
  title->SetPadding(RECT{0, 5, 0, 0});
  const int title_height = AddFixedText(cell, title, width);
  return title_height + AddFixedText(cell, TextControl(ConvertMessageMarkup(field.value), true, 10, 3), width);
}

void RenderAttachmentCard(const RenderContext& context, const veltrina::Message& message) {
  std::unique_ptr<veltrina::Attachment> attachment = message.GetAttachment();
  if (!attachment) return;  // nothing to build the card from
  Header h = message_row::BuildHeader(context, message);
  if (!h.row) return;
  context.display->Add(h.row);
  int pretext_height = AddLine(h.body, ConvertMessageMarkup(attachment->pretext()));
  Card card = AddCard(h.body, ParseCardColor(attachment->color()));
  int title_height = 0, author_height = 0, text_height = 0, fields_height = 0, layout_extra = 0;
  if (!attachment->title().empty())
    title_height = AddLine(card.body, card_text::LinkOrText(attachment->title_link(), attachment->title()));
  if (!attachment->author_name().empty())
    author_height = AddLine(card.body, card_text::LinkOrText(attachment->author_link(), attachment->author_name()));
  if (!attachment->text().empty()) text_height = AddMeasuredRichText(card.body, attachment->text());
  const std::vector<veltrina::Attachment::Field>& fields = attachment->fields();
  for (size_t i = 0; i < fields.size(); i += 2) {
    const bool side_by_side = fields[i].is_short;
    CContainerUI* pair = side_by_side ? static_cast<CContainerUI*>(new CHorizontalLayoutUI)
                                      : static_cast<CContainerUI*>(new CVerticalLayoutUI);
    card.body->Add(pair);
    auto* first = new CVerticalLayoutUI;
    auto* second = new CVerticalLayoutUI;
    pair->Add(first);
    pair->Add(second);
    int a = AddAttachmentFieldCell(first, fields[i]);
    int b = i + 1 < fields.size() ? AddAttachmentFieldCell(second, fields[i + 1]) : 0;
    const int pair_height = side_by_side ? std::max(a, b) : a + b;
    // The titles' top padding (5 a cell) lies outside the measured heights; the pair makes room
    // for it so that no value is cut, while the bar counts the measured heights only.
    const int padding = side_by_side || i + 1 >= fields.size() ? 5 : 10;
    pair->SetFixedHeight(pair_height + padding);
    fields_height += pair_height;
    layout_extra += padding;
  }
  const int content = title_height + fields_height + author_height + text_height;
  card.SetContentHeight(content, layout_extra);
  // The row's 50 covers the name line, the card's padding and a margin; many field pairs add
  // more padding than that, and the row grows rather than cut the last fields.
  const int needed = kNameLineHeight + pretext_height + content + 5 + layout_extra + kRowMargin;
  h.row->SetFixedHeight(std::max(pretext_height + 50 + content, needed));
}

}  // namespace veltrinawnd

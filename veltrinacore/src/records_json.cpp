#include "records_json.h"

namespace veltrina::internal {

json ToValue(const User& v) {
  return json{{"uid", v.uid()},
              {"user_name", v.user_name()},
              {"display_name", v.display_name()},
              {"email", v.email()},
              {"header_url", v.header_url()},
              {"status", v.status()},
              {"role", v.role()},
              {"state", static_cast<int>(v.state())},
              {"is_bot", v.is_bot()}};
}

User UserFrom(const json& j) {
  User v;
  v.set_uid(Str(j, "uid"));
  v.set_user_name(Str(j, "user_name"));
  v.set_display_name(Str(j, "display_name"));
  v.set_email(Str(j, "email"));
  v.set_header_url(Str(j, "header_url"));
  v.set_status(static_cast<int>(Int(j, "status", User::kOffline)));
  v.set_role(static_cast<int>(Int(j, "role", User::kRoleMember)));
  v.set_state(static_cast<User::State>(Int(j, "state", User::kStateNormal)));
  v.set_is_bot(Bool(j, "is_bot"));
  return v;
}

json ToValue(const Team& v) {
  return json{{"team_id", v.team_id()}, {"team_subdomain", v.team_subdomain()}, {"team_name", v.team_name()}};
}

Team TeamFrom(const json& j) { return Team(Str(j, "team_id"), Str(j, "team_subdomain"), Str(j, "team_name")); }

json ToValue(const Channel& v) {
  return json{{"channel_id", v.channel_id()},   {"channel_name", v.channel_name()},
              {"topic", v.topic()},             {"type", static_cast<int>(v.type())},
              {"is_general", v.IsGeneral()},    {"creator_uid", v.creator_uid()},
              {"created_at", v.created_at()},   {"is_member", v.is_member()},
              {"is_archived", v.is_archived()}, {"member_uids", v.member_uids()}};
}

Channel ChannelFrom(const json& j) {
  Channel v;
  v.set_channel_id(Str(j, "channel_id"));
  v.set_channel_name(Str(j, "channel_name"));
  v.set_topic(Str(j, "topic"));
  v.set_type(Int(j, "type", 1) == 2 ? Channel::kPrivate : Channel::kPublic);
  v.set_is_general(Bool(j, "is_general"));
  v.set_creator_uid(Str(j, "creator_uid"));
  v.set_created_at(Int(j, "created_at"));
  v.set_is_member(Bool(j, "is_member"));
  v.set_is_archived(Bool(j, "is_archived"));
  std::vector<std::string> members;
  if (const json* m = Member(j, "member_uids"); m && m->is_array()) {
    for (const json& uid : *m)
      if (uid.is_string()) members.push_back(uid.get<std::string>());
  }
  v.set_member_uids(std::move(members));
  return v;
}

json ToValue(const IM& v) {
  return json{{"im_id", v.im_id()}, {"to_uid", v.to_uid()}, {"created_at", v.created_at()}, {"is_open", v.is_open()}};
}

IM ImFrom(const json& j) {
  IM v;
  v.set_im_id(Str(j, "im_id"));
  v.set_to_uid(Str(j, "to_uid"));
  v.set_created_at(Int(j, "created_at"));
  v.set_is_open(Bool(j, "is_open", true));
  return v;
}

json ToValue(const Attachment& v) {
  json fields = json::array();
  for (const auto& f : v.fields()) fields.push_back(json{{"title", f.title}, {"value", f.value}, {"short", f.is_short}});
  return json{{"pretext", v.pretext()},         {"color", v.color()},   {"title", v.title()},
              {"title_link", v.title_link()},   {"author_name", v.author_name()},
              {"author_link", v.author_link()}, {"text", v.text()},     {"fields", fields}};
}

Attachment AttachmentFrom(const json& j) {
  Attachment v;
  v.set_pretext(Str(j, "pretext"));
  v.set_color(Str(j, "color"));
  v.set_title(Str(j, "title"));
  v.set_title_link(Str(j, "title_link"));
  v.set_author_name(Str(j, "author_name"));
  v.set_author_link(Str(j, "author_link"));
  v.set_text(Str(j, "text"));
  std::vector<Attachment::Field> fields;
  if (const json* f = Member(j, "fields"); f && f->is_array()) {
    for (const json& item : *f) {
      if (!item.is_object()) continue;
      fields.push_back(Attachment::Field{Str(item, "title"), Str(item, "value"), Bool(item, "short")});
    }
  }
  v.set_fields(std::move(fields));
  return v;
}

json ToValue(const Message& v) {
  json j{{"key", v.key()},
         {"uid", v.uid()},
         {"sender_type", v.sender_type()},
         {"message_type", v.message_type()},
         {"channel_type", v.channel_type()},
         {"channel_id", v.ChannelID()},
         {"to_uid", v.to_uid()},
         {"content", v.content()},
         {"timestamp", v.timestamp()}};
  if (!v.entity_json().empty()) {
    json entity = Parse(v.entity_json());
    if (entity.is_object())
      j["entity"] = entity;
    else
      j["entity_json"] = v.entity_json();
  }
  if (auto attachment = v.GetAttachment()) j["attachment"] = ToValue(*attachment);
  return j;
}

Message MessageFrom(const json& j) {
  Message v;
  v.set_key(Str(j, "key"));
  v.set_uid(Str(j, "uid"));
  v.set_sender_type(static_cast<int>(Int(j, "sender_type", Message::kSenderUser)));
  v.set_message_type(static_cast<int>(Int(j, "message_type", Message::kText)));
  v.set_channel_type(static_cast<int>(Int(j, "channel_type", Message::kChannelMessage)));
  v.set_channel_id(Str(j, "channel_id"));
  v.set_to_uid(Str(j, "to_uid"));
  v.set_content(Str(j, "content"));
  v.set_timestamp(Int(j, "timestamp"));
  if (const json* e = Member(j, "entity"); e && e->is_object())
    v.set_entity_json(Dump(*e));
  else
    v.set_entity_json(Str(j, "entity_json"));
  if (const json* a = Member(j, "attachment"); a && a->is_object()) v.set_attachment(AttachmentFrom(*a));
  return v;
}

json ToValue(const Comment& v) {
  return json{{"comment_id", v.comment_id()},
              {"entity_id", v.entity_id()},
              {"creator_uid", v.creator_uid()},
              {"content", v.content()},
              {"created_at", v.created_at()}};
}

Comment CommentFrom(const json& j) {
  Comment v;
  v.set_comment_id(Str(j, "comment_id"));
  v.set_entity_id(Str(j, "entity_id"));
  v.set_creator_uid(Str(j, "creator_uid"));
  v.set_content(Str(j, "content"));
  v.set_created_at(Int(j, "created_at"));
  return v;
}

json ToValue(const Entity& v) {
  json comments = json::array();
  for (const auto& c : v.comments()) comments.push_back(ToValue(c));
  return json{{"entity_id", v.entity_id()},
              {"entity_type", v.entity_type()},
              {"channel_id", v.channel_id()},
              {"title", v.title()},
              {"summary", v.summary()},
              {"public_url", v.public_url()},
              {"path", v.path()},
              {"file_extension", v.file_extension()},
              {"file_size", v.file_size()},
              {"thumb_width", v.thumb_width()},
              {"thumb_height", v.thumb_height()},
              {"subject", v.subject()},
              {"from", v.from()},
              {"snippet_type", v.snippet_type()},
              {"content", v.content()},
              {"creator_uid", v.creator_uid()},
              {"created_at", v.created_at()},
              {"comments", comments}};
}

namespace {
int ClampInt(int64_t v) {
  if (v > 1000000000) return 1000000000;
  if (v < -1000000000) return -1000000000;
  return static_cast<int>(v);
}
}  // namespace

Entity EntityFrom(const json& j) {
  Entity v;
  v.set_entity_id(Str(j, "entity_id"));
  v.set_entity_type(ClampInt(Int(j, "entity_type", Entity::kFile)));
  v.set_channel_id(Str(j, "channel_id"));
  v.set_title(Str(j, "title"));
  v.set_summary(Str(j, "summary"));
  v.set_public_url(Str(j, "public_url"));
  v.set_path(Str(j, "path"));
  v.set_file_extension(Str(j, "file_extension"));
  v.set_file_size(Int(j, "file_size"));
  v.set_thumb_width(ClampInt(Int(j, "thumb_width")));
  v.set_thumb_height(ClampInt(Int(j, "thumb_height")));
  v.set_subject(Str(j, "subject"));
  v.set_from(Str(j, "from"));
  v.set_snippet_type(Str(j, "snippet_type"));
  v.set_content(Str(j, "content"));
  v.set_creator_uid(Str(j, "creator_uid"));
  v.set_created_at(Int(j, "created_at"));
  std::vector<Comment> comments;
  if (const json* c = Member(j, "comments"); c && c->is_array()) {
    for (const json& item : *c)
      if (item.is_object()) comments.push_back(CommentFrom(item));
  }
  v.set_comments(std::move(comments));
  return v;
}

json ToValue(const Service& v) {
  return json{{"service_id", v.service_id()},     {"name", v.name()},
              {"display_name", v.display_name()}, {"avatar_url", v.avatar_url()},
              {"kind", static_cast<int>(v.kind())}, {"bot_uid", v.bot_uid()}};
}

Service ServiceFrom(const json& j) {
  Service v;
  v.set_service_id(Str(j, "service_id"));
  v.set_name(Str(j, "name"));
  v.set_display_name(Str(j, "display_name"));
  v.set_avatar_url(Str(j, "avatar_url"));
  v.set_kind(Int(j, "kind", 1) == 2 ? Service::kBot : Service::kIntegration);
  v.set_bot_uid(Str(j, "bot_uid"));
  return v;
}

json ToValue(const Token& v) {
  return json{
      {"access_token", v.access_token()}, {"refresh_token", v.refresh_token()}, {"expires_at", v.expires_at()}};
}

Token TokenFrom(const json& j) {
  Token v;
  v.set_access_token(Str(j, "access_token"));
  v.set_refresh_token(Str(j, "refresh_token"));
  v.set_expires_at(Int(j, "expires_at"));
  return v;
}

}  // namespace veltrina::internal

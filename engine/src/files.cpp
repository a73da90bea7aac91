// Uploads, and the files and pictures the service serves for the storage and file box hosts.
#include "engine_impl.h"
#include "veltrina/engine/images.h"
#include "records_json.h"
#include "upload_names.h"
#include "utf8.h"
#include "veltrina/hosts.h"
#include "veltrina/http.h"

namespace veltrina::engine {

namespace {

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// The part after the last '.', letters and digits only, at most 10 of them.
std::string ExtensionOf(const std::string& name) {
  size_t dot = name.rfind('.');
  if (dot == std::string::npos) return {};
  std::string ext;
  for (char c : name.substr(dot + 1))
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) ext += c;
  return ext.size() > 10 ? ext.substr(0, 10) : ext;
}

// A body past the asker's limit (0: none) is refused rather than sent.
Reply WithinLimit(Reply r, uint64_t max_bytes) {
  if (max_bytes > 0 && r.data.size() > max_bytes) return Fail(413, "the answer is too large");
  return r;
}

// A stored file into r->data, unless it is larger than max_bytes (0: any size): then r becomes a
// 413 failure without the file being read. False when there is no such file.
bool ReadStored(Blobs& blobs, const std::string& name, uint64_t max_bytes, Reply* r) {
  switch (blobs.Get(name, max_bytes, &r->data)) {
    case Blobs::Read::kOk:
      *r = WithinLimit(std::move(*r), max_bytes);
      return true;
    case Blobs::Read::kTooLarge:
      *r = Fail(413, "the answer is too large");
      return true;
    case Blobs::Read::kMissing:
      break;
  }
  return false;
}

}  // namespace

Reply Engine::Impl::Upload(TeamData* t, const json& p, const std::string& data) {
  std::string conversation = Str(p, "channel_id");
  if (!Sees(t, conversation, me_)) return Fail(404, "no such conversation");
  const std::string client_id = Str(p, "client_upload_id");
  if (std::optional<Reply> again = Repeated(t, client_id)) return *again;
  // Too much is refused whole, never stored cut: the uploader would take all of it as shared.
  if (data.size() > HttpClient::kMaxUploadBytes) return Fail(413, "the file is larger than the 100 MB upload limit");
  std::string comment = Str(p, "comment");
  if (comment.size() > kMaxText) return Fail(413, "the comment is longer than 32768 bytes");
  std::string name = SafeShareName(Str(p, "file_name"));
  std::string ext = ExtensionOf(name);
  std::string lower = Lower(ext);
  bool image = lower == "png" || lower == "jpg" || lower == "jpeg" || lower == "gif" || lower == "bmp";
  Entity e;
  e.set_entity_id(state_.NewId("e-"));
  e.set_entity_type(image ? Entity::kImage : Entity::kFile);
  e.set_channel_id(conversation);
  e.set_title(name);
  e.set_path("f/" + e.entity_id());
  e.set_file_extension(ext);
  e.set_file_size(static_cast<int64_t>(data.size()));
  e.set_creator_uid(me_);
  e.set_created_at(Now());
  if (image) {
    int w = 400, h = 300;
    ImageSize(data, &w, &h);
    e.set_thumb_width(w);
    e.set_thumb_height(h);
  }
  if (!comment.empty()) {
    veltrina::Comment c;
    c.set_comment_id(state_.NewId("cm-"));
    c.set_entity_id(e.entity_id());
    c.set_creator_uid(me_);
    c.set_content(internal::SanitizeUtf8(comment));
    c.set_created_at(Now());
    e.add_comment(c);
  }
  if (!ports_.blobs->Put(StoredFileName(e.entity_id(), ext), data)) return Fail(500, "cannot store the file");
  t->entities.push_back(e);
  Touch(RecordKind::kEntity, t, e.entity_id());
  Message m;
  m.set_uid(me_);
  m.set_message_type(image ? Message::kImage : Message::kFile);
  m.set_channel_id(conversation);
  DirectChat* d = FindChat(t, conversation);
  m.set_channel_type(d ? Message::kDirectMessage : Message::kChannelMessage);
  if (d) m.set_to_uid(d->Peer(me_));
  m.set_content(std::string(image ? "上传了图片: " : "上传了文件: ") + name);
  m.set_entity_json(e.ToJson());
  const Message stored = Store(t, m);
  RememberSent(t, client_id, stored);
  Announce(t, stored, true);
  return Ok(json{{"message", internal::ToValue(stored)}});
}

bool Engine::Impl::UploadedThumbnail(const Session* session, const std::string& url, uint64_t max_bytes, Reply* r) {
  std::string path = ThumbnailPath(url);
  if (path.empty()) return false;
  for (TeamData& t : state_.teams)
    for (const Entity& e : t.entities)
      if (e.path() == path && e.entity_type() == Entity::kImage) {
        if (session && (session->team_id != t.team.team_id() || !MayFetch(&t, e.channel_id(), session->uid))) {
          *r = Fail(404, "not found");
          return true;
        }
        if (ReadStored(*ports_.blobs, StoredFileName(e.entity_id(), e.file_extension()), max_bytes, r)) return true;
      }
  return false;
}

Reply Engine::Impl::Download(const Session* session, const std::string& url, uint64_t max_bytes) {
  Reply r;
  r.ok = true;
  r.code = 200;
  r.body = R"({"content_type":"image/png"})";
  if (UploadedThumbnail(session, url, max_bytes, &r)) return r;
  if (GeneratedImageFor(url, &r.data)) return WithinLimit(std::move(r), max_bytes);
  std::string rest;
  for (const char* scheme : {"https://", "http://"})
    if (StartsWith(url, std::string(scheme) + kFileBoxHost + "/"))
      rest = url.substr(std::string(scheme).size() + std::string(kFileBoxHost).size());
  size_t query = rest.find_first_of("?#");
  if (query != std::string::npos) rest.resize(query);
  if (rest.size() < 2 || StartsWith(rest, "/thumb/")) return Fail(404, "not found");
  // "/<path>.<ext>": an uploaded file, or a generated one for the demo's own entities.
  std::string name = rest.substr(1);
  size_t dot = name.rfind('.');
  std::string path = name.substr(0, dot);
  for (TeamData& t : state_.teams) {
    Entity scratch;
    if (const Entity* found = StartsWith(path, "f/") ? FindEntity(&t, path.substr(2), &scratch) : nullptr;
        found && found->path() == path) {
      const Entity& e = *found;
      // A file is served to those who may see where it was shared.
      if (session && (session->team_id != t.team.team_id() || !MayFetch(&t, e.channel_id(), session->uid)))
        return Fail(404, "not found");
      Reply stored = r;
      stored.body = R"({"content_type":"application/octet-stream"})";
      if (ReadStored(*ports_.blobs, StoredFileName(e.entity_id(), e.file_extension()), max_bytes, &stored)) {
        return stored;
      } else if (e.entity_type() == Entity::kImage) {
        r.data = PicturePng(path, e.thumb_width() > 0 ? e.thumb_width() : 400,
                            e.thumb_height() > 0 ? e.thumb_height() : 300);
      } else {
        r.data = e.content().empty() ? "Veltrina demo file: " + e.title() + "\n" : e.content();
        r.body = R"({"content_type":"text/plain; charset=utf-8"})";
      }
      return WithinLimit(std::move(r), max_bytes);
    }
  }
  return Fail(404, "not found");
}

}  // namespace veltrina::engine

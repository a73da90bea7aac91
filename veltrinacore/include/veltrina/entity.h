#pragma once
// Something shared in a conversation: an image, a file, a document, a snippet, a mail or a link
// card; with the comments made on it.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace veltrina {

class Comment {
 public:
  Comment() = default;
  virtual ~Comment() = default;
  Comment(const Comment&) = default;
  Comment& operator=(const Comment&) = default;

  const std::string& comment_id() const { return comment_id_; }
  const std::string& entity_id() const { return entity_id_; }
  const std::string& creator_uid() const { return creator_uid_; }
  const std::string& content() const { return content_; }
  int64_t created_at() const { return created_at_; }

  void set_comment_id(std::string v) { comment_id_ = std::move(v); }
  void set_entity_id(std::string v) { entity_id_ = std::move(v); }
  void set_creator_uid(std::string v) { creator_uid_ = std::move(v); }
  void set_content(std::string v) { content_ = std::move(v); }
  void set_created_at(int64_t v) { created_at_ = v; }

  std::unique_ptr<Comment> Clone() const { return std::make_unique<Comment>(*this); }

 private:
  std::string comment_id_;
  std::string entity_id_;
  std::string creator_uid_;
  std::string content_;
  int64_t created_at_ = 0;
};

class Entity {
 public:
  // entity_type() values; the file browser filters by them (0 asks for all).
  enum Type : int { kAll = 0, kLink = 1, kMail = 2, kImage = 5, kFile = 6, kDocument = 7, kSnippet = 8 };

  Entity() = default;
  virtual ~Entity() = default;
  Entity(const Entity&) = default;
  Entity& operator=(const Entity&) = default;

  // Fills the entity from a message's entity_json(). Never dies despite its name: malformed or
  // non-object JSON returns false and leaves the entity empty; missing members stay empty/0.
  bool InitWithJsonOrDie(const std::string& json);
  // The JSON text InitWithJsonOrDie reads back.
  std::string ToJson() const;

  const std::string& entity_id() const { return entity_id_; }
  int entity_type() const { return entity_type_; }
  const std::string& channel_id() const { return channel_id_; }
  const std::string& title() const { return title_; }              // file name for files
  const std::string& summary() const { return summary_; }
  const std::string& public_url() const { return public_url_; }
  const std::string& path() const { return path_; }                // on the file box host
  const std::string& file_extension() const { return file_extension_; }
  int64_t file_size() const { return file_size_; }                 // bytes
  int thumb_width() const { return thumb_width_; }
  int thumb_height() const { return thumb_height_; }
  const std::string& subject() const { return subject_; }          // mails
  const std::string& from() const { return from_; }                // mails
  const std::string& snippet_type() const { return snippet_type_; }  // snippets: "C++", "Python"...
  const std::string& content() const { return content_; }          // documents and snippets
  const std::string& creator_uid() const { return creator_uid_; }
  int64_t created_at() const { return created_at_; }               // seconds since 1970
  const std::vector<Comment>& comments() const { return comments_; }

  void set_entity_id(std::string v) { entity_id_ = std::move(v); }
  void set_entity_type(int v) { entity_type_ = v; }
  void set_channel_id(std::string v) { channel_id_ = std::move(v); }
  void set_title(std::string v) { title_ = std::move(v); }
  void set_summary(std::string v) { summary_ = std::move(v); }
  void set_public_url(std::string v) { public_url_ = std::move(v); }
  void set_path(std::string v) { path_ = std::move(v); }
  void set_file_extension(std::string v) { file_extension_ = std::move(v); }
  void set_file_size(int64_t v) { file_size_ = v; }
  void set_thumb_width(int v) { thumb_width_ = v; }
  void set_thumb_height(int v) { thumb_height_ = v; }
  void set_subject(std::string v) { subject_ = std::move(v); }
  void set_from(std::string v) { from_ = std::move(v); }
  void set_snippet_type(std::string v) { snippet_type_ = std::move(v); }
  void set_content(std::string v) { content_ = std::move(v); }
  void set_creator_uid(std::string v) { creator_uid_ = std::move(v); }
  void set_created_at(int64_t v) { created_at_ = v; }
  void set_comments(std::vector<Comment> v) { comments_ = std::move(v); }
  void add_comment(Comment c) { comments_.push_back(std::move(c)); }

  std::unique_ptr<Entity> Clone() const { return std::make_unique<Entity>(*this); }

 private:
  std::string entity_id_;
  int entity_type_ = kFile;
  std::string channel_id_;
  std::string title_;
  std::string summary_;
  std::string public_url_;
  std::string path_;
  std::string file_extension_;
  int64_t file_size_ = 0;
  int thumb_width_ = 0;
  int thumb_height_ = 0;
  std::string subject_;
  std::string from_;
  std::string snippet_type_;
  std::string content_;
  std::string creator_uid_;
  int64_t created_at_ = 0;
  std::vector<Comment> comments_;
};

}  // namespace veltrina

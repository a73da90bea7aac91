#pragma once
// A card an integration attaches to its message (message type 32).
#include <memory>
#include <string>
#include <vector>

namespace veltrina {

class Attachment {
 public:
  struct Field {
    std::string title;
    std::string value;
    bool is_short = false;  // may share a line with its neighbour
  };

  Attachment() = default;
  virtual ~Attachment() = default;
  Attachment(const Attachment&) = default;
  Attachment& operator=(const Attachment&) = default;

  const std::string& pretext() const { return pretext_; }
  const std::string& color() const { return color_; }  // "#RRGGBB"
  const std::string& title() const { return title_; }
  const std::string& title_link() const { return title_link_; }
  const std::string& author_name() const { return author_name_; }
  const std::string& author_link() const { return author_link_; }
  const std::string& text() const { return text_; }
  const std::vector<Field>& fields() const { return fields_; }

  void set_pretext(std::string v) { pretext_ = std::move(v); }
  void set_color(std::string v) { color_ = std::move(v); }
  void set_title(std::string v) { title_ = std::move(v); }
  void set_title_link(std::string v) { title_link_ = std::move(v); }
  void set_author_name(std::string v) { author_name_ = std::move(v); }
  void set_author_link(std::string v) { author_link_ = std::move(v); }
  void set_text(std::string v) { text_ = std::move(v); }
  void set_fields(std::vector<Field> v) { fields_ = std::move(v); }

  std::unique_ptr<Attachment> Clone() const { return std::make_unique<Attachment>(*this); }

 private:
  std::string pretext_;
  std::string color_;
  std::string title_;
  std::string title_link_;
  std::string author_name_;
  std::string author_link_;
  std::string text_;
  std::vector<Field> fields_;
};

}  // namespace veltrina

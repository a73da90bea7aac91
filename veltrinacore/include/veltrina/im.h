#pragma once
// A direct-message conversation of the signed-in user with one peer.
#include <cstdint>
#include <memory>
#include <string>

namespace veltrina {

class IM {
 public:
  IM() = default;
  virtual ~IM() = default;
  IM(const IM&) = default;
  IM& operator=(const IM&) = default;

  const std::string& im_id() const { return im_id_; }
  const std::string& to_uid() const { return to_uid_; }  // the peer
  int64_t created_at() const { return created_at_; }
  bool is_open() const { return is_open_; }              // listed in the session list

  void set_im_id(std::string v) { im_id_ = std::move(v); }
  void set_to_uid(std::string v) { to_uid_ = std::move(v); }
  void set_created_at(int64_t v) { created_at_ = v; }
  void set_is_open(bool v) { is_open_ = v; }

  std::unique_ptr<IM> Clone() const { return std::make_unique<IM>(*this); }

 private:
  std::string im_id_;
  std::string to_uid_;
  int64_t created_at_ = 0;
  bool is_open_ = true;
};

}  // namespace veltrina

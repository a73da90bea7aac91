#pragma once
// Decoded images by full path, shared by every window. Bounded by count and bytes: when over a
// bound, the least recently used images that nobody else holds are freed; an image a control
// still holds stays alive through its shared pointer. A file whose size or last-write time
// changed on disk is decoded again, so a re-downloaded picture shows at once.
#include <cstdint>
#include <list>
#include <map>
#include <memory>

#include "UIRender.h"

namespace DuiLib {

class CImageCache {
 public:
  struct Limits {
    size_t entries = 512;
    size_t bytes = size_t{96} << 20;
  };
  explicit CImageCache(Limits limits) : m_limits(limits) {}
  CImageCache(const CImageCache&) = delete;
  CImageCache& operator=(const CImageCache&) = delete;

  static CImageCache& Shared();

  // Null when the file is missing or not a usable image; a failure is remembered until
  // ForgetFailed or until the file changes.
  std::shared_ptr<const TImageInfo> Get(const CDuiString& path);
  void ForgetFailed(const CDuiString& path);

  size_t Count() const { return m_entries.size(); }
  size_t Bytes() const { return m_bytes; }

 private:
  struct Stamp {
    uint64_t size = 0;
    uint64_t written = 0;
    bool operator==(const Stamp&) const = default;
  };
  struct Entry {
    std::shared_ptr<const TImageInfo> image;
    Stamp stamp;
    size_t bytes = 0;
    std::list<CDuiString>::iterator use;  // position in m_uses
  };
  static Stamp Probe(const CDuiString& path);
  void Drop(std::map<CDuiString, Entry>::iterator it);
  void Trim();

  Limits m_limits;
  std::map<CDuiString, Entry> m_entries;
  std::list<CDuiString> m_uses;  // most recently used first
  size_t m_bytes = 0;
};

}  // namespace DuiLib

#include "duilib/UIImageCache.h"

namespace DuiLib {

CImageCache& CImageCache::Shared() {
  static CImageCache cache{Limits{}};
  return cache;
}

CImageCache::Stamp CImageCache::Probe(const CDuiString& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return {};
  return {(uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow,
          (uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime};
}

std::shared_ptr<const TImageInfo> CImageCache::Get(const CDuiString& path) {
  if (path.empty()) return nullptr;
  const Stamp stamp = Probe(path);
  auto it = m_entries.find(path);
  if (it != m_entries.end()) {
    if (it->second.stamp == stamp) {
      m_uses.splice(m_uses.begin(), m_uses, it->second.use);
      return it->second.image;
    }
    Drop(it);  // changed on disk; whoever still holds the old picture keeps it
  }
  std::shared_ptr<const TImageInfo> image(CRenderEngine::LoadImageFile(path),
                                          [](const TImageInfo* p) { CRenderEngine::FreeImage(const_cast<TImageInfo*>(p)); });
  m_uses.push_front(path);
  size_t bytes = image ? size_t(image->nWidth) * size_t(image->nHeight) * 4 : 0;
  m_entries[path] = Entry{image, stamp, bytes, m_uses.begin()};
  m_bytes += bytes;
  Trim();
  return image;
}

void CImageCache::ForgetFailed(const CDuiString& path) {
  auto it = m_entries.find(path);
  if (it != m_entries.end() && !it->second.image) Drop(it);
}

void CImageCache::Drop(std::map<CDuiString, Entry>::iterator it) {
  m_bytes -= it->second.bytes;
  m_uses.erase(it->second.use);
  m_entries.erase(it);
}

void CImageCache::Trim() {
  // Oldest first; the newest entry is the one just asked for and always stays.
  auto use = m_uses.end();
  while ((m_entries.size() > m_limits.entries || m_bytes > m_limits.bytes) && use != m_uses.begin()) {
    --use;
    if (use == m_uses.begin()) break;
    auto it = m_entries.find(*use);
    if (it->second.image && it->second.image.use_count() > 1) continue;  // held: freeing it frees nothing
    auto next = std::next(use);
    Drop(it);
    use = next;
  }
}

}  // namespace DuiLib

#pragma once
// Decoded images by full path, shared by every window.
//
// Pictures that ship with the client (the skin folder) are decoded at once, on the calling thread.
// Pictures from outside (avatars, thumbnails, previews, files the user picks) are hostile input:
// they are decoded on the cache's one decoder thread, never while painting. Get answers null at
// once for them and queues the decode; when it has ended, the windows that asked receive
// DecodedMessage() and paint again. They are decoded scaled down to kMaxDecodedSide, and a
// picture beyond the header limits (UIImageHeader.h) is refused without being decoded.
//
// Memory: every decoded outside picture alive counts against one budget (Limits::bytes, 64 MB by
// default, room for 16 of the largest, 1024 by 1024), whether the cache or a control holds it; the
// count follows the pictures' own lifetime. When a decode would exceed it, the least recently used
// pictures nobody else holds are freed; when that is not enough, the picture is deferred (drawn as
// a placeholder) and decoded once memory has been freed. The cache also keeps at most
// Limits::entries entries.
//
// A failure (missing, broken, refused) is remembered, and not decoded again, until ForgetFailed
// or until the file's size or last-write time changes; a re-downloaded picture shows at once.
//
// Threads: Get, ForgetFailed and DecodeDetached are for the UI thread; the decoder thread touches
// only the cache's own state under its lock, and posts messages. A control may hold a picture
// longer than the cache lives; the decoder thread is joined when the cache is destroyed.
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

#include "UIRender.h"

namespace DuiLib {

struct TImageDeleter {
  void operator()(TImageInfo* image) const { CRenderEngine::FreeImage(image); }
};
using TOwnedImage = std::unique_ptr<TImageInfo, TImageDeleter>;

// A picture decoded for one caller, outside the cache: the bitmap (null when it failed) and the
// picture's own size (0 by 0 when it failed).
struct TDecodedImage {
  TOwnedImage image;
  SIZE source{};
};

class CImageCache {
 public:
  struct Limits {
    size_t entries = 512;
    size_t bytes = size_t{64} << 20;  // decoded outside pictures alive, held by anybody
  };
  enum class Origin { Skin, Outside };
  enum class Status { Absent, Pending, Deferred, Ready, Failed };

  explicit CImageCache(Limits limits);
  ~CImageCache();
  CImageCache(const CImageCache&) = delete;
  CImageCache& operator=(const CImageCache&) = delete;

  static CImageCache& Shared();
  // Posted (wParam and lParam 0) to a window that asked for an outside picture whose decode ended
  // or was deferred: it should paint again.
  static UINT DecodedMessage();

  // A skin picture, or null when missing or not usable. An outside picture when decoded, else
  // null while its decode is queued, deferred or failed; notify (may be null) then receives
  // DecodedMessage() when that changes.
  std::shared_ptr<const TImageInfo> Get(const CDuiString& path, Origin origin = Origin::Outside,
                                        HWND notify = nullptr);
  void ForgetFailed(const CDuiString& path);
  Status StatusOf(const CDuiString& path) const;

  // Decodes an outside picture on the decoder thread, scaled to fit side x side, for a caller that
  // keeps it itself; done runs on the decoder thread (it must not touch windows' controls), or
  // never when the cache is destroyed first.
  void DecodeDetached(const CDuiString& path, int side, std::function<void(TDecodedImage)> done);

  // Waits until the decoder thread has nothing queued or running; false after timeoutMs. For tests.
  bool WaitForDecodes(DWORD timeoutMs = 10000);

  size_t Count() const;
  // Bytes of decoded outside pictures still alive, in the cache or held elsewhere.
  size_t Bytes() const;
  const Limits& GetLimits() const { return m_limits; }

 private:
  struct State;
  void StartDecoder();

  Limits m_limits;
  std::shared_ptr<State> m_state;
  std::thread m_decoder;
};

}  // namespace DuiLib

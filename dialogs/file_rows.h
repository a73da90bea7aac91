#pragma once
// What the file browser and the file details window share: the text of sizes and times, the
// download address of an entity, how a thumbnail fits its box, and the images that arrive for
// buttons that may be gone by then.
#include <windows.h>

#include <cstdint>
#include <string>
#include <unordered_map>

#include "core_bridge/window_bridge.h"
#include "duilib/UIlib.h"
#include "veltrina/entity.h"

namespace veltrinawnd {

// " 512Bytes", " 1.5KB", " 5.0MB".
std::wstring FileSizeText(int64_t size);
// Seconds since 1970 as local "%Y/%m/%d %H:%M"; empty when the time cannot be shown.
std::wstring LocalTimeText(int64_t seconds);
// File box host + "/" + path + "." + extension.
std::string DownloadAddress(const veltrina::Entity& entity);
// The display name of a cached user, empty when the cache does not know the uid.
std::wstring DisplayNameOf(const std::string& uid);
// "name  time", or only the time for a user the cache does not know.
std::wstring ByLine(const std::string& uid, int64_t seconds);

// A thumbnail of width w and height h shown in a box: the wider side takes the box's side and
// the other one shrinks in proportion; unknown sizes take the whole box.
SIZE FitThumbnail(int w, int h, int box_width, int box_height);

// Buttons given a cached image whose download may answer after the button was removed: an
// answer is applied only to a button still registered under the record's tag.
class ImageTargets {
 public:
  // Shows the cached file at once, or downloads it; the answer comes back as `message`.
  void Show(DuiLib::CButtonUI* button, const std::string& address, const std::string& file_name,
            const bridge::WindowRef& window, UINT message);
  // Takes the payload of an image-ready message and applies it if its button is still here.
  void OnReady(LPARAM lParam, bridge::WindowLifetime& lifetime);
  // The buttons were removed.
  void Clear() { buttons_.clear(); }

 private:
  std::unordered_map<UINT_PTR, DuiLib::CButtonUI*> buttons_;
};

}  // namespace veltrinawnd

#pragma once
// Host names of the service. The demo service answers image and file requests for the storage
// and file box hosts through HttpClient::Send; the client builds its addresses from these.
namespace veltrina {

inline constexpr char kServiceDomain[] = "veltrina.demo";
// Avatars live under "/vtavatar/", service avatars and static assets under "/vtstatic/".
inline constexpr char kStorageHost[] = "storage.veltrina.demo";
inline constexpr char kStorageBaseUrl[] = "https://storage.veltrina.demo";
// Uploads, thumbnails ("/thumb/<path>_<w>x<h>.<ext>") and downloads ("/<path>.<ext>").
inline constexpr char kFileBoxHost[] = "files.veltrina.demo";
inline constexpr char kFileBoxUrl[] = "https://files.veltrina.demo";

}  // namespace veltrina

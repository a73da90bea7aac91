// DiskBlobs (declared beside the store it serves): uploaded files, one per name, in one folder.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string_view>

#include "sqlite_store.h"

namespace veltrina::server {

namespace {

// The engine makes names of letters, digits, '-' and '.'; anything that could leave the folder
// or reach a temporary file (they start with '.') is refused all the same.
bool ValidName(const std::string& name) {
  if (name.empty() || name.size() > 255 || name.front() == '.' || name.find("..") != std::string::npos) return false;
  for (char c : name)
    if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20) return false;
  return true;
}

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  // Closes now, so that a failing close is seen.
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// A rename is durable once the folder itself is synced.
bool SyncFolder(const std::string& folder) {
  Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return dir.get() >= 0 && ::fsync(dir.get()) == 0;
}

// Writes the file's bytes into place: a temporary name (hidden: it starts with '.', which no
// valid name does, so Get never sees a half-written file), fsync, rename, fsync of the folder.
// `fill` writes the bytes into the open file.
template <typename Fill>
bool WriteInPlace(const std::string& folder, const std::string& name, Fill fill) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  const std::string part = folder + "/." + name + ".part", final_path = folder + "/" + name;
  Fd out(::open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644));
  if (out.get() < 0) return false;
  if (!fill(out.get()) || ::fsync(out.get()) != 0 || !out.Close() || std::rename(part.c_str(), final_path.c_str()) != 0) {
    ::unlink(part.c_str());
    return false;
  }
  return SyncFolder(folder);
}

}  // namespace

DiskBlobs::DiskBlobs(std::string folder) : folder_(std::move(folder)) {
  std::error_code ec;
  std::filesystem::create_directories(folder_, ec);
  // What a crash left half-written is of no use: its upload failed. Servers on one database share
  // this folder, and another one may be writing a file right now: only what nobody has written to
  // for an hour is cleared.
  const auto stale_before = std::filesystem::file_time_type::clock::now() - kPartFileKept;
  for (std::filesystem::directory_iterator it(folder_, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.size() <= 6 || name.front() != '.' || !name.ends_with(".part")) continue;
    std::error_code ignored;
    const auto written = std::filesystem::last_write_time(it->path(), ignored);
    if (!ignored && written < stale_before) std::filesystem::remove(it->path(), ignored);
  }
}

bool DiskBlobs::Put(const std::string& name, const std::string& bytes) {
  if (!ValidName(name)) return false;
  return WriteInPlace(folder_, name, [&](int fd) { return WriteAll(fd, bytes); });
}

engine::Blobs::Read DiskBlobs::Get(const std::string& name, uint64_t max_bytes, std::string* bytes) {
  if (!ValidName(name)) return Read::kMissing;
  Fd in(::open((folder_ + "/" + name).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  struct stat st {};
  if (in.get() < 0 || ::fstat(in.get(), &st) != 0 || !S_ISREG(st.st_mode)) return Read::kMissing;
  const uint64_t size = static_cast<uint64_t>(st.st_size);
  if (max_bytes > 0 && size > max_bytes) return Read::kTooLarge;  // told by its size, never read
  std::string read(size, '\0');
  size_t have = 0;
  while (have < read.size()) {
    const ssize_t n = ::read(in.get(), read.data() + have, read.size() - have);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Read::kMissing;
    if (n == 0) break;  // shorter than it was: it is being replaced
    have += static_cast<size_t>(n);
  }
  read.resize(have);
  *bytes = std::move(read);
  return Read::kOk;
}

bool DiskBlobs::Adopt(const std::string& name, const std::string& path) {
  if (!ValidName(name)) return false;
  {
    // The streamed file was written without fsync: make its bytes durable before its name is.
    Fd in(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0 || ::fsync(in.get()) != 0) return false;
  }
  std::error_code ec;
  std::filesystem::create_directories(folder_, ec);
  if (std::rename(path.c_str(), (folder_ + "/" + name).c_str()) == 0) return SyncFolder(folder_);
  if (errno != EXDEV) return false;
  // On another file system: copied in as Put writes, then the original removed.
  Fd in(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.get() < 0) return false;
  const bool copied = WriteInPlace(folder_, name, [&](int fd) {
    char buffer[1 << 16];
    for (;;) {
      const ssize_t n = ::read(in.get(), buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return false;
      if (n == 0) return true;
      if (!WriteAll(fd, std::string_view(buffer, static_cast<size_t>(n)))) return false;
    }
  });
  if (copied) ::unlink(path.c_str());
  return copied;
}

std::string DiskBlobs::PathOf(const std::string& name) const {
  if (!ValidName(name)) return {};
  const std::string path = folder_ + "/" + name;
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
  return path;
}

}  // namespace veltrina::server

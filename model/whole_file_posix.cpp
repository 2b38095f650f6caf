// Files whole on a POSIX system: written to a file of our own beside the
// target and renamed over it.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "model/whole_file.h"

namespace kelvrix {

namespace {

constexpr std::size_t kReadLimit = 1 << 20;

bool IsFolder(const std::string& path) {
  struct stat about{};
  return stat(path.c_str(), &about) == 0 && S_ISDIR(about.st_mode);
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return fsync(fd) == 0;
}

// A new file beside `path`, opened for writing; -1 when none could be made.
int OpenBeside(const std::string& path, std::string& temporary) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary = path + "." + std::to_string(getpid()) + "-" + std::to_string(attempt) + ".tmp";
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

}  // namespace

std::optional<std::string> ReadWholeFile(const std::string& path) {
  if (IsFolder(path)) return std::nullopt;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string bytes;
  char buffer[65536];
  ssize_t n = 0;
  while (bytes.size() < kReadLimit && ((n = read(fd, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR))) {
    if (n > 0) bytes.append(buffer, static_cast<std::size_t>(n));
  }
  close(fd);
  if (n < 0) return std::nullopt;
  return bytes.substr(0, kReadLimit);
}

bool ReplaceWholeFile(const std::string& path, std::string_view bytes) {
  if (IsFolder(path)) return false;
  std::string temporary;
  const int fd = OpenBeside(path, temporary);
  if (fd < 0) return false;
  const bool written = WriteAll(fd, bytes);
  if (close(fd) == 0 && written && rename(temporary.c_str(), path.c_str()) == 0) return true;
  unlink(temporary.c_str());
  return false;
}

bool CanWriteBeside(const std::string& path) {
  if (IsFolder(path)) return false;
  std::string temporary;
  const int fd = OpenBeside(path, temporary);
  if (fd < 0) return false;
  close(fd);
  unlink(temporary.c_str());
  return true;
}

bool MakeFolders(const std::string& path) {
  for (std::size_t slash = path.find('/', 1); ; slash = path.find('/', slash + 1)) {
    const std::string part = path.substr(0, slash);
    if (!part.empty() && mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) break;
  }
  return IsFolder(path);
}

std::optional<std::time_t> ModifiedTime(const std::string& path) {
  struct stat about{};
  if (stat(path.c_str(), &about) != 0) return std::nullopt;
  return about.st_mtime;
}

std::vector<std::string> FileNamesIn(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  if (!dir) return names;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != ".." && !IsFolder(PathIn(folder, name))) names.push_back(name);
  }
  closedir(dir);
  return names;
}

}  // namespace kelvrix

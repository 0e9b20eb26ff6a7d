// Port links on POSIX systems: symbolic links in a private folder.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "PortLink.h"
#include "PortList.h"

namespace stbsim {
namespace {

bool MakeFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string part = path.substr(0, slash);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) return true;
  }
}

std::string LinkTarget(const std::string& link) {
  char target[4096];
  const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
  return n < 0 ? std::string() : std::string(target, static_cast<size_t>(n));
}

}  // namespace

PortLink CreatePortLink(const std::string& target, const std::string& folder) {
  if (!MakeFolders(folder)) return {};
  for (int n = kFirstLinkPortNumber; n <= kLastLinkPortNumber; ++n) {
    const std::string name = "COM" + std::to_string(n);
    const std::string path = folder + "/" + name;
    if (symlink(target.c_str(), path.c_str()) == 0) return {name, path};
    if (errno != EEXIST) return {};
    struct stat info;
    struct stat linkInfo;
    const bool dangling = stat(path.c_str(), &info) != 0 && lstat(path.c_str(), &linkInfo) == 0 &&
                          S_ISLNK(linkInfo.st_mode);
    if (dangling && unlink(path.c_str()) == 0 && symlink(target.c_str(), path.c_str()) == 0)
      return {name, path};
  }
  return {};
}

void RemovePortLink(const PortLink& link, const std::string& target) {
  if (link.path.empty()) return;
  if (LinkTarget(link.path) == target) unlink(link.path.c_str());
}

}  // namespace stbsim

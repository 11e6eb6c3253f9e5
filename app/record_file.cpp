#include "app/record_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

const char kExists[] = "the file exists (add --force to replace it)";

std::string Folder(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string FileName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool WriteAll(int fd, const std::string& contents) {
  size_t written = 0;
  while (written < contents.size()) {
    const ssize_t count = ::write(fd, contents.data() + written, contents.size() - written);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return false;
    written += static_cast<size_t>(count);
  }
  return true;
}

// Opens a new file in the target's folder that nobody else has, with the
// permissions the user's umask gives new files.
int CreateBeside(const std::string& path, std::string* created) {
  const std::string stem = Folder(path) + "/." + FileName(path) + ".new-";
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = stem;
    name += std::to_string(::getpid());
    name += '-';
    name += std::to_string(attempt);
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      *created = name;
      return fd;
    }
    if (errno != EEXIST) return -1;
  }
  return -1;
}

// Makes a rename into `folder` last through a power cut. Folders that cannot
// be synced (some network shares) keep what the rename gave.
void SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// Why `path` cannot take a new file now, or empty.
std::string TargetProblemReason(const std::string& path, bool replace) {
  if (path.empty() || path.back() == '/') return "it names a folder, not a file";
  struct stat existing;
  const bool exists = ::stat(path.c_str(), &existing) == 0;
  if (exists && S_ISDIR(existing.st_mode)) return "it is a folder";
  if (exists && !replace) return kExists;
  const std::string folder = Folder(path);
  if (::access(folder.c_str(), W_OK) != 0) {
    if (errno != ENOENT) return std::strerror(errno);
    std::string missing = "the folder ";
    missing += folder;
    missing += " does not exist";
    return missing;
  }
  return std::string();
}

}  // namespace

std::string CannotWriteText(const std::string& path, const std::string& reason) {
  std::string sentence = "cannot write ";
  sentence += path;
  sentence += ": ";
  sentence += reason;
  return sentence;
}

std::string FileTargetProblem(const std::string& path, bool replace) {
  const std::string reason = TargetProblemReason(path, replace);
  return reason.empty() ? reason : CannotWriteText(path, reason);
}

bool WriteFileAtomically(const std::string& path, const std::string& contents, bool replace,
                         std::string* reason) {
  auto fail = [reason](std::string why) {
    *reason = std::move(why);
    return false;
  };
  if (std::string problem = TargetProblemReason(path, replace); !problem.empty()) {
    return fail(std::move(problem));
  }

  std::string created;
  const int fd = CreateBeside(path, &created);
  if (fd < 0) return fail(std::strerror(errno));
  // A replaced file keeps its permissions: a record or cache the user made
  // private stays private. Set while the new file is still empty.
  struct stat existing;
  bool written = true;
  if (replace && ::stat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
    written = ::fchmod(fd, existing.st_mode & 07777) == 0;
  }
  written = written && WriteAll(fd, contents) && ::fsync(fd) == 0;
  const int writeError = errno;
  if (::close(fd) != 0 || !written) {
    const int error = written ? errno : writeError;
    ::unlink(created.c_str());
    return fail(std::strerror(error));
  }

  if (replace) {
    if (::rename(created.c_str(), path.c_str()) == 0) {
      SyncFolder(Folder(path));
      return true;
    }
  } else {
    // A link fails when the name was taken meanwhile, where a rename would
    // replace the file that took it.
    if (::link(created.c_str(), path.c_str()) == 0) {
      ::unlink(created.c_str());
      SyncFolder(Folder(path));
      return true;
    }
    // Folders that take no hard links (FAT, some network shares): the name
    // was free a moment ago, which is the best that can be had there.
    const bool noLinks = errno == EPERM || errno == ENOTSUP || errno == EOPNOTSUPP;
    if (noLinks) {
      if (::access(path.c_str(), F_OK) == 0) {
        errno = EEXIST;
      } else if (::rename(created.c_str(), path.c_str()) == 0) {
        SyncFolder(Folder(path));
        return true;
      }
    }
  }
  const int error = errno;
  ::unlink(created.c_str());
  if (error == EEXIST) return fail(kExists);
  return fail(std::strerror(error));
}

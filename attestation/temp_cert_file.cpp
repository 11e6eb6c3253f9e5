#include "attestation/temp_cert_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "attestation/base64.h"

namespace {

bool WriteAll(int fd, const uint8_t* bytes, size_t length) {
  size_t written = 0;
  while (written < length) {
    const ssize_t n = write(fd, bytes + written, length - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    written += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

std::string TempCertificateDirectory() {
  const char* directory = std::getenv("TMPDIR");
  if (directory == nullptr || directory[0] == '\0') return "/tmp";
  return directory;
}

int WriteTempCertificateFile(QuillmarkModel& model, CertificateTab tab, const uint8_t* bytes,
                             size_t length) {
  std::string& lastFile = CertificateFileMember(model, tab);
  lastFile.clear();
  std::string directory = TempCertificateDirectory();
  if (directory.back() != '/') directory += '/';
  // mkstemps opens with O_CREAT | O_EXCL and mode 0600.
  std::string pattern = directory + "f1d0XXXXXX.cer";
  std::vector<char> path(pattern.begin(), pattern.end());
  path.push_back('\0');
  const int fd = mkstemps(path.data(), 4);
  if (fd < 0) return -1;
  const bool written = length == 0 || (bytes != nullptr && WriteAll(fd, bytes, length));
  const bool closed = close(fd) == 0;
  if (!written || !closed) {
    unlink(path.data());
    return -1;
  }
  lastFile = path.data();
  CertificateFiles(model, tab).push_back(lastFile);
  return 0;
}

void OpenCertificateFromRow(const ReportList& list, size_t row, QuillmarkModel& model,
                            CertificateTab tab, Opener& opener) {
  const std::string text = list.Cell(row, 1);
  const std::vector<uint8_t> der = Base64Decode(text.c_str(), text.size());
  if (WriteTempCertificateFile(model, tab, der.data(), der.size()) != 0) return;
  opener.OpenFile(CertificateFileMember(model, tab));
}

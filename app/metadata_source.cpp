#include "app/metadata_source.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "app/record_file.h"
#include "metadata/file_bytes.h"

const char* const DEFAULT_MDS_URL = "https://mds3.fidoalliance.org/";

namespace {

bool Exists(const std::string& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0;
}

// Creates each missing folder of `path`'s parent.
bool MakeParentFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    const std::string folder = path.substr(0, slash);
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return true;
}

}  // namespace

std::string MetadataCachePath() {
  const char* cache = std::getenv("XDG_CACHE_HOME");
  if (cache != nullptr && cache[0] == '/') return std::string(cache) + "/quillmark/mds.jwt";
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return std::string(home) + "/.cache/quillmark/mds.jwt";
  return {};
}

std::string MetadataCrlPath(const std::string& cachePath) {
  const size_t slash = cachePath.rfind('/');
  return (slash == std::string::npos ? std::string() : cachePath.substr(0, slash + 1)) +
         "mds-crl.pem";
}

void LoadCachedRevocationLists(const std::string& cachePath, TrustStore& trust) {
  trust.revocationLists().Clear();
  const std::string path = MetadataCrlPath(cachePath);
  std::vector<uint8_t> bytes;
  std::string error;
  if (!cachePath.empty() && Exists(path) && ReadFileBytes(path, MDS_MAX_FILE_BYTES, bytes, error)) {
    trust.revocationLists().AddPemOrDer(bytes);
  }
}

bool StoreRevocationLists(TrustStore& trust, const std::string& cachePath, std::string& message) {
  const std::string path = MetadataCrlPath(cachePath);
  std::string why;
  if (cachePath.empty()) return true;
  if (!MakeParentFolders(path)) {
    why = std::strerror(errno);
  } else {
    WriteFileAtomically(path, trust.revocationLists().NewestPem(), true, &why);
  }
  if (!why.empty()) message = "The revocation lists cannot be stored in " + path + ": " + why + ".";
  return why.empty();
}

bool LoadTrustRoots(const std::vector<std::string>& roots, TrustStore& trust, std::string& error) {
  for (const std::string& root : roots) {
    if (!trust.AddRootFile(root, error)) return false;
  }
  return true;
}

void LoadShownMetadata(const std::string& file, TrustStore& trust, const WallClock& clock,
                       MdsBlob& blob, const std::string& cachePath) {
  LoadCachedRevocationLists(cachePath, trust);
  const std::string path = file.empty() ? cachePath : file;
  if (file.empty() && (path.empty() || !Exists(path))) {
    ClearMdsBlob(blob);
    return;
  }
  LoadMdsFile(path, trust, clock, blob);
}

bool StoreVerifiedDownload(const std::vector<uint8_t>& bytes, TrustStore& trust,
                           const WallClock& clock, const std::string& cachePath,
                           std::string& message) {
  MdsBlob blob;
  LoadMdsBlob(bytes.data(), bytes.size(), trust, clock, blob);
  if (!blob.accepted()) {
    message = "The downloaded " + blob.message.substr(4) + " The cached copy is unchanged.";
    return false;
  }
  if (cachePath.empty()) {
    message = "The metadata cannot be stored: neither XDG_CACHE_HOME nor HOME is set.";
    return false;
  }
  // An older file (a replayed one, say) never replaces a newer cached copy.
  MdsBlob cached;
  if (Exists(cachePath)) LoadMdsFile(cachePath, trust, clock, cached);
  if (cached.accepted() && cached.payload.number > blob.payload.number) {
    message = "The downloaded metadata no. " + std::to_string(blob.payload.number) +
              " is older than the cached no. " + std::to_string(cached.payload.number) +
              ". The cached copy is unchanged.";
    return false;
  }
  std::string why;
  if (!MakeParentFolders(cachePath)) {
    why = std::strerror(errno);
  } else {
    WriteFileAtomically(cachePath, std::string(bytes.begin(), bytes.end()), true, &why);
  }
  if (!why.empty()) {
    message = "The metadata cannot be stored in " + cachePath + ": " + why + ".";
    return false;
  }
  message = "Metadata no. " + std::to_string(blob.payload.number) + " (next update " +
            blob.payload.nextUpdate + ") stored in " + cachePath + ".";
  if (blob.verdict == MdsVerdict::kOutOfDate) message += " " + blob.message;
  if (!blob.revocationChecked) message += " Its signing chain was not checked for revocation.";
  return true;
}

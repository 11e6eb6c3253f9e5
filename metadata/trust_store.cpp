#include "metadata/trust_store.h"

#include <cstring>

#include "metadata/builtin_roots.h"
#include "metadata/file_bytes.h"

namespace {

constexpr size_t kMaxRootFileBytes = 1 << 20;

std::vector<uint8_t> TextBytes(const char* text) {
  return std::vector<uint8_t>(text, text + std::strlen(text));
}

}  // namespace

TrustStore::TrustStore(bool withBuiltInRoots) {
  if (!withBuiltInRoots) return;
  roots_.AddPemOrDer(TextBytes(BUILTIN_ROOT_GLOBALSIGN_R3));
  roots_.AddPemOrDer(TextBytes(BUILTIN_ROOT_GLOBALSIGN_R46));
}

bool TrustStore::AddRootFile(const std::string& path, std::string& error) {
  std::vector<uint8_t> bytes;
  if (!ReadFileBytes(path, kMaxRootFileBytes, bytes, error)) return false;
  if (!roots_.AddPemOrDer(bytes)) {
    error = "The file " + path + " holds no certificate in PEM or DER form.";
    return false;
  }
  return true;
}

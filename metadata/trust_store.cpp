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
  AddBuiltIn(TextBytes(BUILTIN_ROOT_GLOBALSIGN_R3));
  AddBuiltIn(TextBytes(BUILTIN_ROOT_GLOBALSIGN_R46));
}

TrustStore::TrustStore(const std::vector<std::vector<uint8_t>>& builtInRoots) {
  for (const std::vector<uint8_t>& root : builtInRoots) AddBuiltIn(root);
}

void TrustStore::AddBuiltIn(const std::vector<uint8_t>& pemOrDer) {
  roots_.AddPemOrDer(pemOrDer);
  builtIn_.AddPemOrDer(pemOrDer);
}

bool TrustStore::IsBuiltIn(const mbedtls_x509_crt& root) {
  for (const mbedtls_x509_crt* known = builtIn_.head(); known != nullptr; known = known->next) {
    if (known->raw.len == root.raw.len && known->raw.len != 0 &&
        std::memcmp(known->raw.p, root.raw.p, root.raw.len) == 0) {
      return true;
    }
  }
  return false;
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

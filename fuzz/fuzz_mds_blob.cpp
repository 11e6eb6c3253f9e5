// The metadata file reader on arbitrary bytes: as a whole signed file (which
// fails at the signature for nearly every input, after the JWS split and
// header checks), as a bare payload whose entries are then indexed and shown
// on the page, and as an attestation certificate.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "metadata/attestation_identity.h"
#include "metadata/attestation_verdict.h"
#include "metadata/compact_jws.h"
#include "metadata/declared_getinfo.h"
#include "metadata/mds_blob.h"
#include "metadata/metadata_page.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static TrustStore trust;
  const FixedWallClock clock(1717200000);  // 2024-06-01
  {
    MdsBlob blob;
    LoadMdsBlob(data, size, trust, clock, blob);
    if (blob.verdict != MdsVerdict::kRejected || blob.message.empty()) __builtin_trap();
  }

  MdsBlob blob;
  if (ReadMdsPayload(data, size, blob.payload).empty()) {
    blob.verdict = MdsVerdict::kCurrent;
    blob.index.Build(blob.payload);
    MetadataKeyFacts key;
    key.getInfo.assign(data, data + size);
    key.attestationChain.push_back(key.getInfo);
    // A proved signature, so that the verdict goes on to the chain.
    key.signature = AttestationSignature::kValid;
    for (size_t i = 0; i < blob.payload.entries.size() && i < 4; ++i) {
      const MdsEntry& entry = blob.payload.entries[i];
      key.aaguid = entry.aaguid;
      key.u2fAttestation = entry.aaguid.empty();
      const std::vector<MetadataRow> rows = BuildMetadataRows(blob, key, clock.NowUnixSeconds());
      // Bytes that are no certificate prove nothing.
      if (rows.back().item != METADATA_VERDICT_ITEM || VerdictOf(rows.back().value) == "genuine") {
        __builtin_trap();
      }
      if (!entry.aaguid.empty() && blob.index.FindByAaguid(entry.aaguid) == nullptr) {
        __builtin_trap();
      }
    }
  } else if (!blob.payload.entries.empty()) {
    __builtin_trap();  // a rejected payload keeps nothing
  }

  static const nlohmann::json declared =
      nlohmann::json::parse(R"({"versions":["FIDO_2_0"],"options":{"rk":true},
      "algorithms":[{"type":"public-key","alg":-7}],"aaguid":"00","certifications":{"FIDO":1}})");
  CompareDeclaredGetInfo(declared, data, static_cast<uint32_t>(size));
  CertificateAaguid(data, size);
  AttestationKeyIdentifier(data, size);
  return 0;
}

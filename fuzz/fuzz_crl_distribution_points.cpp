// The CRL distribution points reader on arbitrary certificate extensions,
// and the revocation lists read from arbitrary bytes (a damaged cache file):
// written back and read again, they hold the same lists.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "metadata/crl_distribution_points.h"
#include "metadata/revocation_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string> addresses = ReadCrlDistributionPoints(data, size);
  if (addresses.size() > MAX_CRL_ADDRESSES) __builtin_trap();
  for (const std::string& address : addresses) {
    if (address.rfind("http://", 0) != 0 && address.rfind("https://", 0) != 0) __builtin_trap();
  }

  RevocationLists lists;
  const std::vector<uint8_t> bytes(data, data + size);
  if (lists.AddPemOrDer(bytes) == 0) return 0;
  const std::string pem = lists.NewestPem();
  RevocationLists again;
  if (again.AddPemOrDer(std::vector<uint8_t>(pem.begin(), pem.end())) == 0) __builtin_trap();
  return 0;
}

// Arbitrary card answers, one per exchanged APDU, through response chaining
// and NFCCTAP keep-alives, and arbitrary commands through the command parser:
// nothing may read past an answer, grow past the bound or loop without end.
#include <cstdint>
#include <vector>

#include "simkey/sim_clock.h"
#include "transport/apdu_link.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  ApduCommand parsed;
  if (ApduParseCommand(data, size, parsed) && parsed.data != nullptr &&
      parsed.data + parsed.length > data + size) {
    __builtin_trap();
  }

  // The first byte chooses the form, the command and the bound; each answer
  // is prefixed by its length byte.
  const uint8_t flags = data[0];
  std::vector<std::vector<uint8_t>> answers;
  for (size_t offset = 1; offset < size;) {
    const size_t length = data[offset++];
    if (offset + length > size) break;
    answers.emplace_back(data + offset, data + offset + length);
    offset += length;
  }
  size_t next = 0;
  SimClock clock;
  ApduLinkOptions options;
  options.form = (flags & 1) ? ApduForm::kExtended : ApduForm::kShort;
  options.maxAnswer = (flags & 2) ? 300 : CTAPHID_MAX_MESSAGE;
  ApduLink link(
      [&](const std::vector<uint8_t>&, std::vector<uint8_t>& response) {
        if (next >= answers.size()) return -1;
        response = answers[next++];  // an exact-size copy: a read past it is caught
        return 0;
      },
      clock, options);
  std::vector<uint8_t> reply;
  const uint8_t getInfo[] = {0x04};
  const uint8_t version[] = {0x00, 0x03, 0x00, 0x00, 0x00};
  const int result = (flags & 4) ? link.Exchange(CTAPHID_MSG, version, sizeof version, reply)
                                 : link.Exchange(CTAPHID_CBOR, getInfo, sizeof getInfo, reply);
  if (result == APDU_OK && reply.size() > options.maxAnswer + 2) __builtin_trap();
  return 0;
}

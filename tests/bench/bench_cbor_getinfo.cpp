// Time of the lookups that one GetInfo display makes on a realistic
// authenticatorGetInfo answer of about 300 bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "cbor/cbor_view.h"
#include "cbor/cbor_writer.h"
#include "keyinfo/getinfo_options.h"

namespace {

void Text(CborWriter& writer, const char* text) {
  writer.WriteText(text, static_cast<uint32_t>(std::strlen(text)));
}

void TextArray(CborWriter& writer, std::initializer_list<const char*> texts) {
  writer.WriteArray(static_cast<uint32_t>(texts.size()));
  for (const char* text : texts) Text(writer, text);
}

std::vector<uint8_t> GetInfoAnswer() {
  std::vector<uint8_t> buffer(1024);
  CborWriter writer(buffer.data(), static_cast<uint32_t>(buffer.size()));
  writer.WriteMap(18);
  writer.WriteInt(0x01);
  TextArray(writer, {"U2F_V2", "FIDO_2_0", "FIDO_2_1_PRE", "FIDO_2_1"});
  writer.WriteInt(0x02);
  TextArray(writer, {"credProtect", "hmac-secret", "largeBlobKey", "credBlob", "minPinLength"});
  writer.WriteInt(0x03);
  const uint8_t aaguid[16] = {0xEE, 0x88, 0x28, 0x79, 0x72, 0x1C, 0x49, 0x13,
                              0x97, 0x75, 0x3D, 0xFC, 0xCE, 0x97, 0x07, 0x2A};
  writer.WriteBytes(aaguid, sizeof(aaguid));
  writer.WriteInt(0x04);
  const char* options[] = {"rk",
                           "up",
                           "plat",
                           "alwaysUv",
                           "credMgmt",
                           "authnrCfg",
                           "clientPin",
                           "largeBlobs",
                           "pinUvAuthToken",
                           "setMinPINLength",
                           "makeCredUvNotRqd"};
  writer.WriteMap(11);
  for (const char* option : options) {
    Text(writer, option);
    writer.WriteHead(7, std::strcmp(option, "plat") == 0 ? 20 : 21);
  }
  writer.WriteInt(0x05);
  writer.WriteInt(1200);
  writer.WriteInt(0x06);
  writer.WriteArray(2);
  writer.WriteInt(2);
  writer.WriteInt(1);
  writer.WriteInt(0x07);
  writer.WriteInt(8);
  writer.WriteInt(0x08);
  writer.WriteInt(128);
  writer.WriteInt(0x09);
  TextArray(writer, {"usb", "nfc"});
  writer.WriteInt(0x0A);
  writer.WriteArray(2);
  for (int64_t alg : {-7, -8}) {
    writer.WriteMap(2);
    Text(writer, "alg");
    writer.WriteInt(alg);
    Text(writer, "type");
    Text(writer, "public-key");
  }
  writer.WriteInt(0x0B);
  writer.WriteInt(1024);
  writer.WriteInt(0x0C);
  writer.WriteHead(7, 20);
  writer.WriteInt(0x0D);
  writer.WriteInt(4);
  writer.WriteInt(0x0E);
  writer.WriteInt(0x050402);
  writer.WriteInt(0x0F);
  writer.WriteInt(32);
  writer.WriteInt(0x10);
  writer.WriteInt(1);
  writer.WriteInt(0x13);
  writer.WriteMap(2);
  Text(writer, "FIDO");
  writer.WriteInt(2);
  Text(writer, "FIPS-CMVP-2");
  writer.WriteInt(2);
  writer.WriteInt(0x14);
  writer.WriteInt(25);
  buffer.resize(writer.position());
  return buffer;
}

const char* const kCertificationNames[] = {
    "FIDO", "FIPS-CMVP-2", "FIPS-CMVP-3", "FIPS-CMVP-2-PHY", "FIPS-CMVP-3-PHY", "CC-EAL"};

uint32_t Length(const char* text) { return static_cast<uint32_t>(std::strlen(text)); }

// Reads the entries of an array member as the display does.
uint32_t ReadTextEntries(const CborView& array, std::string& text) {
  uint32_t read = 0;
  int32_t count = array.Count();
  for (int32_t i = 0; i < count; ++i) read += array.ElementAt(i).GetText(text);
  return read;
}

// The lookups and accessors of one display; answers a checksum so that none
// of them is optimised away.
uint32_t ReadForDisplay(const CborView& answer) {
  uint32_t sum = 0;
  std::string text;
  uint32_t number = 0;
  const uint8_t* bytes = nullptr;
  uint32_t length = 0;

  sum += ReadTextEntries(answer.FindIntKey(0x01), text);
  sum += ReadTextEntries(answer.FindIntKey(0x02), text);
  sum += answer.FindIntKey(0x03).GetBytes(bytes, length) ? length : 0;

  CborView options = answer.FindIntKey(0x04);
  for (std::string_view name : GETINFO_OPTION_NAMES) {
    sum += options.FindTextKey(name.data(), static_cast<uint32_t>(name.size())).GetSimple();
  }

  sum += answer.FindIntKey(0x05).GetUnsigned(number);
  CborView protocols = answer.FindIntKey(0x06);
  for (int32_t i = 0, count = protocols.Count(); i < count; ++i) {
    sum += protocols.ElementAt(i).GetUnsigned(number);
  }
  sum += answer.FindIntKey(0x07).GetUnsigned(number);
  sum += answer.FindIntKey(0x08).GetUnsigned(number);
  sum += ReadTextEntries(answer.FindIntKey(0x09), text);

  CborView algorithms = answer.FindIntKey(0x0A);
  for (int32_t i = 0, count = algorithms.Count(); i < count; ++i) {
    CborView entry = algorithms.ElementAt(i);
    sum += entry.FindTextKey("alg").Head().argument;
    sum += entry.FindTextKey("type").GetText(text);
  }

  for (int32_t key = 0x0B; key <= 0x12; ++key) sum += answer.FindIntKey(key).Head().major;
  CborView certifications = answer.FindIntKey(0x13);
  for (const char* name : kCertificationNames) {
    sum += certifications.FindTextKey(name, Length(name)).Head().major;
  }
  sum += answer.FindIntKey(0x14).Head().major;
  sum += answer.FindIntKey(0x15).Head().major;
  return sum + static_cast<uint32_t>(text.size());
}

void BM_GetInfoDisplayLookups(benchmark::State& state) {
  std::vector<uint8_t> answer = GetInfoAnswer();
  CborView view(answer.data(), static_cast<uint32_t>(answer.size()));
  uint32_t remaining = 0;
  if (view.ItemLength() != answer.size() || !view.FindIntKey(0x14).GetUnsigned(remaining) ||
      remaining != 25) {
    state.SkipWithError("the canned answer does not read back");
    return;
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(ReadForDisplay(view));
  }
  state.counters["answer_bytes"] = static_cast<double>(answer.size());
}
BENCHMARK(BM_GetInfoDisplayLookups);

}  // namespace

BENCHMARK_MAIN();

#include "attestation/signature_verify.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "test_certificates.h"

namespace {

// 30 LL 02 RL [00] r 02 SL [00] s
std::vector<uint8_t> Der(const uint8_t r[32], const uint8_t s[32], bool padR, bool padS) {
  std::vector<uint8_t> der = {0x30, 0x00};
  const std::pair<const uint8_t*, bool> integers[] = {{r, padR}, {s, padS}};
  for (const auto& [value, pad] : integers) {
    der.push_back(0x02);
    der.push_back(pad ? 0x21 : 0x20);
    if (pad) der.push_back(0x00);
    for (int i = 0; i < 32; ++i) der.push_back(value[i]);
  }
  der[1] = static_cast<uint8_t>(der.size() - 2);
  return der;
}

int Verify(const std::vector<uint8_t>& key, const std::vector<uint8_t>& data,
           const std::vector<uint8_t>& signature) {
  // Exact-size copies, so a read past any of them is caught by the sanitizers.
  std::vector<uint8_t> k(key), d(data), s(signature);
  return VerifyP256Signature(k.data(), static_cast<uint32_t>(k.size()), d.data(),
                             static_cast<uint32_t>(d.size()), s.data(),
                             static_cast<uint32_t>(s.size()));
}

TEST(VerifyP256Signature, Cases) {
  TestKey key = TestKey::P256(0x31);
  const std::vector<uint8_t> point = key.PublicPoint();
  const std::vector<uint8_t> data = {'s', 'i', 'g', 'n', 'e', 'd'};
  const std::vector<uint8_t> signature = key.Sign(data);

  // A message whose r and s both have their top bit set, so that DER needs
  // the leading zero byte on each.
  std::vector<uint8_t> highData = {0};
  uint8_t r[32], s[32];
  for (;; ++highData[0]) {
    key.SignRaw(highData, r, s);
    if ((r[0] & 0x80) && (s[0] & 0x80)) break;
  }
  const std::vector<uint8_t> padded = Der(r, s, true, true);
  std::vector<uint8_t> badPad = padded;
  badPad[4] = 0x01;  // the "leading zero" is not zero

  std::vector<uint8_t> shortR = Der(r, s, false, false);
  shortR.erase(shortR.begin() + 4);  // r in 31 bytes
  shortR[3] = 0x1F;
  shortR[1] = static_cast<uint8_t>(shortR.size() - 2);
  std::vector<uint8_t> shortS = Der(r, s, false, false);
  shortS.erase(shortS.begin() + 38);  // s in 31 bytes
  shortS[37] = 0x1F;
  std::vector<uint8_t> cutS(padded.begin(), padded.end() - 1);

  // DER writes an s below 2^248 in 31 bytes (one signature in 256).
  std::vector<uint8_t> lowSData;
  uint8_t lowR[32], lowSValue[32];
  for (uint16_t i = 0;; ++i) {
    lowSData = {static_cast<uint8_t>(i >> 8), static_cast<uint8_t>(i)};
    key.SignRaw(lowSData, lowR, lowSValue);
    if (lowSValue[0] == 0 && (lowR[0] & 0x80) == 0) break;
  }
  std::vector<uint8_t> lowS = Der(lowR, lowSValue, false, false);
  lowS.erase(lowS.begin() + 38);
  lowS[37] = 0x1F;
  lowS[1] = static_cast<uint8_t>(lowS.size() - 2);

  std::vector<uint8_t> otherData = data;
  otherData[0] ^= 1;
  std::vector<uint8_t> longKey = point;
  longKey.push_back(0);
  std::vector<uint8_t> offCurve = point;
  offCurve[64] ^= 1;

  const struct {
    const char* name;
    std::vector<uint8_t> key, data, signature;
    int expected;  // 1: any other non-zero answer
  } cases[] = {
      {"valid", point, data, signature, 0},
      {"wrong data", point, otherData, signature, 1},
      {"0x21 r and s with leading zero", point, highData, padded, 0},
      {"r and s without their leading zero", point, highData, Der(r, s, false, false), 0},
      {"leading byte not zero", point, highData, badPad, -1},
      {"r of 31 bytes that lost its top byte", point, highData, shortR, 1},
      {"s of 31 bytes that lost its top byte", point, highData, shortS, 1},
      {"s below 2^248 in 31 bytes", point, lowSData, lowS, 0},
      {"s cut off by the signature's end", point, highData, cutS, -2},
      {"empty signature", point, data, {}, -1},
      {"only the sequence head", point, data, {0x30, 0x44}, -1},
      {"key of 64 bytes", std::vector<uint8_t>(point.begin(), point.end() - 1), data, signature,
       -1},
      {"key of 66 bytes", longKey, data, signature, -1},
      {"key off the curve", offCurve, data, signature, 1},
  };
  for (const auto& c : cases) {
    const int result = Verify(c.key, c.data, c.signature);
    if (c.expected == 1) {
      EXPECT_NE(result, 0) << c.name;
      EXPECT_NE(result, -1) << c.name;
      EXPECT_NE(result, -2) << c.name;
    } else {
      EXPECT_EQ(result, c.expected) << c.name;
    }
  }
}

}  // namespace

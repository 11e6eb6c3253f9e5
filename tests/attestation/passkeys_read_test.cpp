// The token that reads what a key stores: protocol 1 and 2 known answers,
// and the sentences a key with canned answers gets on the page.
#include "attestation/passkeys_read.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "attestation/pin_uv_protocol.h"
#include "attestation/pin_uv_token.h"
#include "attestation_test_util.h"
#include "cbor/cbor_view.h"
#include "cbor/cbor_writer.h"
#include "credentials/pin_uv_auth.h"
#include "keyinfo/passkeys_page.h"
#include "passkeys_sim.h"
#include "simkey/sim_platform.h"
#include "transport/ctaphid.h"
#include "transport/key_device.h"

namespace {

// From /usr/bin/python3 tests/attestation/pin_protocol_kat.py (python3-cryptography).
const char kPlatformScalar[] = "0102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F20";
const char kPeerX[] = "3009B6F5CA9F226CB7CE6800F761CCF928B9D1078F325D0E20079C6E9A5AAE4D";
const char kPeerY[] = "5BEE9A64835874C1445C7A37387C258AA9A6549892922EF9549018294E3DE3C1";
const char kToken[] = "00112233445566778899AABBCCDDEEFF0F1E2D3C4B5A69788796A5B4C3D2E1F0";
const char kClientDataHash[] = "687134968222EC17202E42505F8ED2B16AE22F16BB05B88C25DB9E602645F141";
const char kIv[] = "A0A1A2A3A4A5A6A7A8A9AAABACADAEAF";

std::vector<uint8_t> KeyAgreementAnswer() {
  std::vector<uint8_t> buffer(200);
  CborWriter writer(buffer.data(), static_cast<uint32_t>(buffer.size()));
  writer.WriteMap(1);
  writer.WriteInt(1);
  writer.WriteMap(2);
  const std::vector<uint8_t> x = FromHex(kPeerX), y = FromHex(kPeerY);
  writer.WriteInt(-2);
  writer.WriteBytes(x.data(), 32);
  writer.WriteInt(-3);
  writer.WriteBytes(y.data(), 32);
  buffer.resize(writer.position());
  return buffer;
}

TEST(PinUvProtocolKnownAnswers, BothProtocols) {
  const struct {
    uint8_t protocol;
    const char *hmacKey, *aesKey, *pinHashEnc, *tokenEnc, *authParam;
  } cases[] = {
      {1, "0D7B3CBB54916E964157EBB8787DF5797066AF1BD1411F11C254B9612E0E4093",
       "0D7B3CBB54916E964157EBB8787DF5797066AF1BD1411F11C254B9612E0E4093",
       "38A7155EB002D070540FE3B963F3616F",
       "069517584AF2CDF762704EE54FC9CEED774D6892F693080683C58E31BEB0BE5B",
       "32C715D77EB8E11A3C22BD37922F8AFB"},
      {2, "4DB118885791D3C2A5DD1F0197CD38685EE1280037E1B36F9C9B7EE06CD33FAA",
       "3DDBB2C5393D6FB62173C51963FCE9A752A31A72CAF5E3C3F0DF4688787BC7C0",
       "A0A1A2A3A4A5A6A7A8A9AAABACADAEAF49D68BC90559CA1E0ECDF0AFEEB28B85",
       "A0A1A2A3A4A5A6A7A8A9AAABACADAEAFC358EA523B92A3040FAD3FB060D67F2BA2DB5BE5D0E8D48D77CD9921"
       "CBFFC822",
       "32C715D77EB8E11A3C22BD37922F8AFB3C3764807F1196BF94F540765111BFA1"},
  };
  const std::vector<uint8_t> answer = KeyAgreementAnswer();
  const std::vector<uint8_t> scalar = FromHex(kPlatformScalar), iv = FromHex(kIv);
  const std::vector<uint8_t> token = FromHex(kToken), hash = FromHex(kClientDataHash);
  // SHA-256("1234"), left half.
  const std::vector<uint8_t> pinHash = FromHex("03AC674216F3E15C761EE1A5E255F067");
  for (const auto& c : cases) {
    uint8_t sharedX[32], x[32], y[32];
    ASSERT_EQ(DeriveSharedX(answer.data(), static_cast<uint32_t>(answer.size()), scalar.data(),
                            sharedX, x, y),
              0);
    PinUvSecret secret;
    ASSERT_EQ(MakePinUvSecret(c.protocol, sharedX, secret), 0);
    EXPECT_EQ(ToHex(secret.hmacKey, 32), c.hmacKey);
    EXPECT_EQ(ToHex(secret.aesKey, 32), c.aesKey);
    uint8_t out[80];
    uint32_t length = 0;
    ASSERT_EQ(PinUvEncrypt(secret, pinHash.data(), 16, out, &length, iv.data()), 0);
    EXPECT_EQ(ToHex(out, length), c.pinHashEnc);
    const std::vector<uint8_t> tokenEnc = FromHex(c.tokenEnc);
    ASSERT_EQ(
        PinUvDecrypt(secret, tokenEnc.data(), static_cast<uint32_t>(tokenEnc.size()), out, &length),
        0);
    EXPECT_EQ(ToHex(out, length), kToken);
    // A protocol 2 ciphertext of the IV alone holds no token.
    EXPECT_EQ(PinUvDecrypt(secret, tokenEnc.data(), c.protocol == 2 ? 16 : 0, out, &length), -1);
    EXPECT_EQ(ToHex(out, ComputePinUvAuthParam(c.protocol, token.data(), 32, hash.data(), 32, out)),
              c.authParam);
  }
}

std::vector<uint8_t> GetInfo(const char* version, std::vector<std::string> options,
                             std::vector<int> protocols) {
  std::vector<uint8_t> buffer(400);
  CborWriter writer(buffer.data(), static_cast<uint32_t>(buffer.size()));
  writer.WriteMap(protocols.empty() ? 2 : 3);
  writer.WriteInt(1);
  writer.WriteArray(1);
  writer.WriteText(version, static_cast<uint32_t>(std::string(version).size()));
  writer.WriteInt(4);
  writer.WriteMap(static_cast<uint32_t>(options.size()));
  for (const std::string& option : options) {
    writer.WriteText(option.data(), static_cast<uint32_t>(option.size()));
    writer.WriteHead(7, 21);  // true
  }
  if (!protocols.empty()) {
    writer.WriteInt(6);
    writer.WriteArray(static_cast<uint32_t>(protocols.size()));
    for (int protocol : protocols) writer.WriteInt(protocol);
  }
  buffer.resize(writer.position());
  return buffer;
}

class PasskeysReadTest : public PasskeysSimTest {
 protected:
  // A key with PIN 1234 whose credential management holds nothing, or that
  // goes silent when asked for its RPs.
  SimDevice& Plug(uint32_t retries = 8, bool silent = false) {
    SimDeviceConfig config;
    config.pin = "1234";
    config.pinRetries = retries;
    for (uint8_t command : {0x0A, 0x41}) {
      config.cborRules.push_back(
          {{command, 0xA3, 0x01, 0x01},
           true,
           {{SimAnswer::Kind::kReply, {0x00, 0xA2, 0x01, 0x00, 0x02, 0x0A}}}});
      config.cborRules.push_back(
          {{command, 0xA3, 0x01, 0x02},
           true,
           {{silent ? SimAnswer::Kind::kSilent : SimAnswer::Kind::kReply, {0x2E}}}});
    }
    return PlugConfig(config);
  }
};

TEST_F(PasskeysReadTest, SentencesInsteadOfRows) {
  const std::string tips = "|Tips=" + std::string(PASSKEYS_TIPS_TEXT);
  const struct {
    std::vector<std::string> options;
    const char* typed;
    uint32_t retries;
    std::string rows;
    bool silent = false;
  } cases[] = {
      {{"clientPin", "credMgmt"}, "9999", 8, "Passkeys=PIN Invalid. 7 retries left." + tips},
      {{"clientPin", "credMgmt"}, "9999", 1, "Passkeys=PIN Blocked. 0 retries left." + tips},
      {{"credMgmt"}, "1234", 8, "Passkeys=" + std::string(PASSKEYS_NO_PIN_TEXT) + tips},
      {{"clientPin"}, "1234", 8, "Passkeys=" + std::string(PASSKEYS_CANNOT_LIST_TEXT) + tips},
      {{"clientPin", "credMgmt"},
       "1234",
       8,
       "Passkeys=The key did not answer. Unplug it and plug it in again." + tips,
       true},
  };
  for (const auto& c : cases) {
    Plug(c.retries, c.silent);
    QuillmarkModel model;
    model.getInfoAnswer = GetInfo("FIDO_2_1", c.options, {1});
    ResetPasskeysPage(model);
    PinPrompt prompt;
    prompt.typed = c.typed;
    OnDblClkPasskeysList(model, -1, prompt);  // nothing
    EXPECT_EQ(Rows(model), "Tips=" + std::string(PASSKEYS_TIPS_TEXT));
    OnDblClkPasskeysList(model, 0, prompt);
    EXPECT_EQ(Rows(model), c.rows);
  }
}

}  // namespace

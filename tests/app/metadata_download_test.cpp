// The metadata download against a loopback HTTP server run by the test, and
// the cache it replaces only with a verified file.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "app/metadata_download.h"
#include "metadata/file_bytes.h"
#include "tests/app/loopback_http_server.h"
#include "tests/metadata/mds_test_pki.h"

namespace {

using Json = nlohmann::json;

class MetadataDownloadTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (QCoreApplication::instance() == nullptr) {
      static int argc = 1;
      static char name[] = "test_app";
      static char* argv[] = {name, nullptr};
      new QCoreApplication(argc, argv);
    }
  }
  void SetUp() override {
    static TestMdsWorld world;
    world_ = &world;
    const Json payload = TestPayload(Json::array());
    good_ = world.Blob(payload, JwsAlgorithm::kEs256);
    options_.roots = {WriteTestFile("root.pem", world.RootPem())};
    char folder[] = "/tmp/quillmark-cache-XXXXXX";
    cache_ = std::string(mkdtemp(folder)) + "/quillmark/mds.jwt";
  }
  // A signer of the test root whose certificate names `crlUrl`.
  std::vector<uint8_t> SignerListedAt(const std::string& crlUrl) {
    return IssueCertificate({"CN=Test BLOB Signer",
                             "C=US,O=Test Metadata Publisher,CN=Test Metadata Root",
                             &world_->ecSignerKey,
                             &world_->rootKey,
                             "20240101000000",
                             "20251231235959",
                             false,
                             0,
                             "",
                             {crlUrl}},
                            world_->random);
  }
  std::string Cached() const {
    std::vector<uint8_t> bytes;
    std::string error;
    if (!ReadFileBytes(cache_, 1 << 20, bytes, error)) return "(none)";
    return std::string(bytes.begin(), bytes.end());
  }

  TestMdsWorld* world_ = nullptr;
  std::string good_;
  MetadataOptions options_;
  std::string cache_;
  const FixedWallClock clock_{TEST_NOW};
};

TEST_F(MetadataDownloadTest, VerifiedFileReplacesTheCacheOthersLeaveItAlone) {
  std::string message;
  {
    LoopbackServer server(200, QByteArray::fromStdString(good_));
    options_.url = server.Url();
    ASSERT_TRUE(UpdateMetadataCache(options_, clock_, cache_, message)) << message;
    EXPECT_EQ(server.requests, 1);
    EXPECT_EQ(message, "Metadata no. 7 (next update 2024-07-01) stored in " + cache_ +
                           ". Its signing chain was not checked for revocation.");
    EXPECT_EQ(Cached(), good_);
  }
  std::string tampered = good_;
  tampered[tampered.find('.') + 10] ^= 1;
  struct Case {
    const char* name;
    int status;
    std::string body;
    const char* message;
  } cases[] = {
      {"tampered file", 200, tampered,
       "The downloaded metadata file is rejected: the signature does not match its content. The "
       "cached copy is unchanged."},
      {"not found", 404, "gone", "failed"},
      {"not a metadata file", 200, "<html></html>", "is rejected"},
  };
  Json older = TestPayload(Json::array());
  older["no"] = 6;
  std::vector<Case> all(std::begin(cases), std::end(cases));
  all.push_back({"older file", 200, world_->Blob(older, JwsAlgorithm::kRs256),
                 "The downloaded metadata no. 6 is older than the cached no. 7."});
  for (const Case& c : all) {
    SCOPED_TRACE(c.name);
    LoopbackServer server(c.status, QByteArray::fromStdString(c.body));
    options_.url = server.Url();
    EXPECT_FALSE(UpdateMetadataCache(options_, clock_, cache_, message));
    EXPECT_NE(message.find(c.message), std::string::npos) << message;
    EXPECT_NE(message.find("The cached copy is unchanged."), std::string::npos) << message;
    EXPECT_EQ(Cached(), good_);
  }
}

TEST_F(MetadataDownloadTest, UnreachableOrBadAddressesSayWhy) {
  std::string message;
  quint16 closedPort = 0;
  {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    closedPort = probe.serverPort();
  }
  struct Case {
    std::string url;
    const char* message;
  } cases[] = {
      {"http://127.0.0.1:" + std::to_string(closedPort) + "/", "failed"},
      {"ftp://127.0.0.1/mds.jwt", "is not an http or https address"},
      {"not a url at all", "is not an http or https address"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    options_.url = c.url;
    EXPECT_FALSE(UpdateMetadataCache(options_, clock_, cache_, message));
    EXPECT_NE(message.find(c.message), std::string::npos) << message;
    EXPECT_EQ(Cached(), "(none)");
  }
}

TEST_F(MetadataDownloadTest, CancelledDownloadStoresNothing) {
  LoopbackServer server(200, QByteArray::fromStdString(good_));
  options_.url = server.Url();
  std::string message;
  EXPECT_FALSE(UpdateMetadataCache(options_, clock_, cache_, message,
                                   [](int64_t, int64_t) { return false; }));
  EXPECT_NE(message.find("was cancelled"), std::string::npos) << message;
  EXPECT_EQ(Cached(), "(none)");
}

TEST_F(MetadataDownloadTest, UpdateCommandWritesToTheXdgCache) {
  LoopbackServer server(200, QByteArray::fromStdString(good_));
  options_.url = server.Url();
  char folder[] = "/tmp/quillmark-xdg-XXXXXX";
  const std::string xdg = mkdtemp(folder);
  setenv("XDG_CACHE_HOME", xdg.c_str(), 1);
  EXPECT_EQ(MetadataCachePath(), xdg + "/quillmark/mds.jwt");
  std::ostringstream err;
  // The real clock: the test file's signer has expired by now, which leaves
  // it authentic but out of date, and so still stored.
  EXPECT_TRUE(RunMetadataUpdateCommand(options_, err));
  EXPECT_NE(err.str().find("downloading the metadata file from " + server.Url()),
            std::string::npos);
  EXPECT_NE(err.str().find("out of date"), std::string::npos) << err.str();
  cache_ = MetadataCachePath();
  EXPECT_EQ(Cached(), good_);
}

// The signer's revocation list comes from where its certificate says; one
// that revokes it refuses the update and, kept, rejects the cached copy
// offline too; one that cannot be had is said.
TEST_F(MetadataDownloadTest, RevocationListsOfTheSigner) {
  TestMdsWorld& w = *world_;
  LoopbackServer lists(200, {});
  const std::vector<uint8_t> signer = SignerListedAt(lists.Url());
  const std::string blob = w.BlobSignedBy(TestPayload(Json::array()), signer, w.ecSignerKey);
  const auto serve = [&](const char* thisUpdate, bool revoke) {
    const std::vector<uint8_t> crl = IssueCrl(
        w.root, w.rootKey, thisUpdate, "240701000000",
        revoke ? std::vector<std::vector<uint8_t>>{signer} : std::vector<std::vector<uint8_t>>{},
        "240520000000", w.random);
    lists.SetBody(QByteArray(reinterpret_cast<const char*>(crl.data()), crl.size()));
  };
  LoopbackServer file(200, QByteArray::fromStdString(blob));
  options_.url = file.Url();
  TrustStore trust(false);
  const std::string rootPem = w.RootPem();
  trust.AddRoot(std::vector<uint8_t>(rootPem.begin(), rootPem.end()));
  std::string message;
  MdsBlob shown;

  serve("240501000000", false);
  ASSERT_TRUE(UpdateMetadataCache(options_, clock_, cache_, message)) << message;
  EXPECT_EQ(lists.requests, 1);
  LoadShownMetadata("", trust, clock_, shown, cache_);
  EXPECT_EQ(shown.verdict, MdsVerdict::kCurrent) << shown.message;
  EXPECT_TRUE(shown.revocationChecked);

  serve("240525000000", true);
  const std::string revoked =
      "rejected: the certificate Test BLOB Signer of its signing chain was revoked on 2024-05-20.";
  EXPECT_FALSE(UpdateMetadataCache(options_, clock_, cache_, message));
  EXPECT_EQ(message,
            "The downloaded metadata file is " + revoked + " The cached copy is unchanged.");
  EXPECT_EQ(Cached(), blob);
  LoadShownMetadata("", trust, clock_, shown, cache_);
  EXPECT_EQ(shown.message, "The metadata file is " + revoked);

  const std::string unreachable = w.BlobSignedBy(
      TestPayload(Json::array()), SignerListedAt("http://127.0.0.1:1/root.crl"), w.ecSignerKey);
  LoopbackServer other(200, QByteArray::fromStdString(unreachable));
  options_.url = other.Url();
  EXPECT_TRUE(UpdateMetadataCache(options_, clock_, cache_, message));
  EXPECT_NE(message.find("The download from http://127.0.0.1:1/root.crl failed"), std::string::npos)
      << message;
}

// The deadline holds for the file and for its lists, however slowly bytes
// keep coming.
TEST_F(MetadataDownloadTest, DeadlineBoundsTheWholeUpdate) {
  DrippingServer dripping;
  const std::string slowListBlob = world_->BlobSignedBy(
      TestPayload(Json::array()), SignerListedAt(dripping.Url()), world_->ecSignerKey);
  LoopbackServer fast(200, QByteArray::fromStdString(slowListBlob));
  options_.timeoutSeconds = 2;
  for (const std::string& url : {dripping.Url(), fast.Url()}) {
    SCOPED_TRACE(url);
    options_.url = url;
    std::string message;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(UpdateMetadataCache(options_, clock_, cache_, message));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(1900));
    EXPECT_LT(took, std::chrono::seconds(5));
    EXPECT_EQ(message,
              "The metadata download did not finish within 2 seconds; the cached copy is "
              "unchanged.");
    EXPECT_EQ(Cached(), "(none)");
  }
}

}  // namespace

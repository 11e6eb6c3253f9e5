#include "attestation/temp_cert_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "attestation/base64.h"
#include "attestation/tab_state.h"
#include "attestation_test_util.h"

namespace {

class TempCertFileTest : public TempDirTest {
 protected:
  int Write(CertificateTab tab, const std::vector<uint8_t>& bytes) {
    return WriteTempCertificateFile(model, tab, bytes.data(), bytes.size());
  }

  QuillmarkModel model;
  const std::vector<uint8_t> der = {0x30, 0x03, 0x02, 0x01, 0x07};
};

TEST_F(TempCertFileTest, NewExclusiveFileOfTheUserOnly) {
  ASSERT_EQ(Write(CertificateTab::kFido2, der), 0);
  const std::string path = model.fido2CertFile;
  EXPECT_EQ(path.rfind(directory_ + "/f1d0", 0), 0u) << path;
  EXPECT_EQ(path.substr(path.size() - 4), ".cer");
  struct stat info;
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(ReadFile(path), der);

  // A second write never reuses or overwrites the first file.
  ASSERT_EQ(Write(CertificateTab::kFido2, {0x01}), 0);
  EXPECT_NE(model.fido2CertFile, path);
  EXPECT_EQ(ReadFile(path), der);
  // Only the .cer files themselves: nothing else is left behind.
  EXPECT_EQ(Entries().size(), 2u);
  for (const std::string& name : Entries()) EXPECT_EQ(name.substr(name.size() - 4), ".cer");
}

TEST_F(TempCertFileTest, ClearingATabDeletesEveryFileItWrote) {
  ASSERT_EQ(Write(CertificateTab::kFido2, der), 0);
  ASSERT_EQ(Write(CertificateTab::kFido2, der), 0);
  ASSERT_EQ(Write(CertificateTab::kFido2, der), 0);
  ASSERT_EQ(Write(CertificateTab::kU2f, der), 0);
  const std::string lastFido2 = model.fido2CertFile;
  const std::string u2f = model.u2fCertFile;
  model.fido2List.AppendRow("Version", "V3");

  ClearFido2Certificates(model);
  EXPECT_EQ(model.fido2List.RowCount(), 0u);
  EXPECT_EQ(model.fido2CertFile, lastFido2);  // the last path stays
  EXPECT_TRUE(model.fido2CertFiles.empty());
  ASSERT_EQ(Entries().size(), 1u);
  EXPECT_EQ(directory_ + "/" + Entries()[0], u2f);

  ClearFido2Certificates(model);  // again: nothing left to delete, no harm
  EXPECT_EQ(Entries().size(), 1u);
  ClearU2fCertificates(model);
  EXPECT_TRUE(Entries().empty());
}

TEST_F(TempCertFileTest, ProgramEndDeletesBothTabsFiles) {
  ASSERT_EQ(Write(CertificateTab::kFido2, der), 0);
  ASSERT_EQ(Write(CertificateTab::kU2f, der), 0);
  ASSERT_EQ(Write(CertificateTab::kU2f, der), 0);
  DeleteAllCertificateFiles(model);
  EXPECT_TRUE(Entries().empty());
  EXPECT_TRUE(model.u2fCertFiles.empty());
}

TEST_F(TempCertFileTest, UnwritableDirectoryLeavesNoPath) {
  ASSERT_EQ(Write(CertificateTab::kU2f, der), 0);
  setenv("TMPDIR", (directory_ + "/missing").c_str(), 1);
  EXPECT_EQ(Write(CertificateTab::kU2f, der), -1);
  EXPECT_TRUE(model.u2fCertFile.empty());
  EXPECT_EQ(model.u2fCertFiles.size(), 1u);
}

TEST_F(TempCertFileTest, OpenCertificateFromRowWritesAndOpens) {
  RecordingOpener opener;
  model.u2fList.AppendRow("Base64 encode", Base64Encode(der.data(), der.size()));
  model.u2fList.AppendRow("Base64 encode", "QUJDR=");  // invalid padding
  OpenCertificateFromRow(model.u2fList, 0, model, CertificateTab::kU2f, opener);
  OpenCertificateFromRow(model.u2fList, 1, model, CertificateTab::kU2f, opener);
  ASSERT_EQ(opener.files.size(), 2u);
  EXPECT_EQ(ReadFile(opener.files[0]), der);
  EXPECT_TRUE(ReadFile(opener.files[1]).empty());  // an empty file is opened
  EXPECT_EQ(opener.files[1], model.u2fCertFile);
  EXPECT_EQ(model.u2fCertFiles.size(), 2u);

  setenv("TMPDIR", (directory_ + "/missing").c_str(), 1);
  OpenCertificateFromRow(model.u2fList, 0, model, CertificateTab::kU2f, opener);
  EXPECT_EQ(opener.files.size(), 2u);  // nothing to open
}

TEST_F(TempCertFileTest, TemporaryDirectory) {
  EXPECT_EQ(TempCertificateDirectory(), directory_);
  setenv("TMPDIR", "", 1);
  EXPECT_EQ(TempCertificateDirectory(), "/tmp");
  unsetenv("TMPDIR");
  EXPECT_EQ(TempCertificateDirectory(), "/tmp");
}

}  // namespace

// What the main window keeps between events, without any widget: the report
// lists, page by page in the window's order, and the state that the refresh,
// the GetInfo display, the certificate fetch and the tab state share. The
// window and the headless report show these pages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "keyinfo/report_list.h"
#include "metadata/attestation_signature.h"

struct QuillmarkModel;

// One page: its caption (the tab's text), the captions of its columns, and
// the columns' first widths in tenths of the list's width.
struct ModelPage {
  std::string caption;
  std::vector<std::string> columns;
  std::vector<int> columnTenths;
  // "Security Key info" shows only when its switch is on.
  bool onlyWithSecurityKeyInfo = false;
  // Where the page's list lives: a named list of the model, or else the
  // `addedIndex`-th list added after the seed's pages.
  ReportList QuillmarkModel::*namedList = nullptr;
  size_t addedIndex = 0;
};

struct QuillmarkModel {
  // The seed's four pages, then every page added after them.
  QuillmarkModel();

  ReportList infoList;         // "Hardware info"
  ReportList fido2List;        // "FIDO2 Certification"
  ReportList securityKeyList;  // "Security Key info", only when enabled
  ReportList u2fList;          // "U2F Certification"

  // The pages in the window's order, shown or not.
  const std::vector<ModelPage>& Pages() const { return pages_; }
  ReportList& PageList(size_t page);
  const ReportList& PageList(size_t page) const;
  // Whether page `page` is shown under the current switches.
  bool PageShown(size_t page) const;
  // The indexes of the pages shown, in order: the window's tabs.
  std::vector<size_t> ShownPages() const;
  // The list of the page captioned `caption`, or null.
  ReportList* FindPage(const std::string& caption);

  // The key's AAGUID as 32 uppercase hex digits, or empty.
  std::string aaguidText;
  // The last refresh found a key but gave up on it when it sent nothing back
  // in time or its link failed (keyLinkLost).
  bool keyDidNotAnswer = false;
  bool keyLinkLost = false;
  // The GetInfo answer of the last refresh (its CBOR map), or empty.
  std::vector<uint8_t> getInfoAnswer;
  // The attestation certificates of the last fetch (DER, leaf first), and
  // whether a U2F registration gave them; emptied with the fetch's tab.
  std::vector<std::vector<uint8_t>> attestationChain;
  bool attestationFromU2f = false;
  // What the last fetch proved with the leaf's key: its attestation signature
  // over the fresh challenge, checked whatever the leaf's subject says.
  // Emptied with attestationChain.
  AttestationSignature attestationSignature = AttestationSignature::kNotChecked;
  // kUnsupported: why, as a clause ("the key signed with algorithm -8, which is
  // not checked").
  std::string attestationSignatureProblem;
  // FIDO2: the AAGUID of the answer's attested credential data, 32 lowercase
  // hex digits; empty for U2F or when the authenticator data holds none.
  std::string attestationAuthDataAaguid;
  // The switch for the "Security Key info" page.
  bool securityKeyInfoEnabled = false;
  // Last temporary certificate file written for each certification tab.
  std::string fido2CertFile;
  std::string u2fCertFile;
  // Every temporary certificate file written for each tab and not yet
  // deleted; clearing the tab and the program's end delete them.
  std::vector<std::string> fido2CertFiles;
  std::vector<std::string> u2fCertFiles;

 private:
  // Appends a page after those there, with a list of its own.
  void AddPage(const std::string& caption, const std::vector<std::string>& columns,
               const std::vector<int>& columnTenths);

  std::vector<ModelPage> pages_;
  // A deque, so that views keep their references while pages are added.
  std::deque<ReportList> addedLists_;
};

// Whether the key reported the option clientPin as true; process-wide.
extern bool keyHasPin;

// What the main window keeps between events, without any widget: the four
// report lists and the state that the refresh, the GetInfo display, the
// certificate fetch and the tab state share. The window shows these lists.
#pragma once

#include <string>
#include <vector>

#include "keyinfo/report_list.h"

struct QuillmarkModel {
  ReportList infoList;         // "Hardware info"
  ReportList fido2List;        // "FIDO2 Certification"
  ReportList securityKeyList;  // "Security Key info", only when enabled
  ReportList u2fList;          // "U2F Certification"

  // The key's AAGUID as 32 uppercase hex digits, or empty.
  std::string aaguidText;
  // The last refresh found a key but gave up on it when it sent nothing back
  // in time.
  bool keyDidNotAnswer = false;
  // The switch for the "Security Key info" page.
  bool securityKeyInfoEnabled = false;
  // Last temporary certificate file written for each certification tab.
  std::string fido2CertFile;
  std::string u2fCertFile;
  // Every temporary certificate file written for each tab and not yet
  // deleted; clearing the tab and the program's end delete them.
  std::vector<std::string> fido2CertFiles;
  std::vector<std::string> u2fCertFiles;
};

// Whether the key reported the option clientPin as true; process-wide.
extern bool keyHasPin;

// Every FIDO HID interface present, whatever its maker, with what stands
// between it and the user: the vendor filter, and the rights to open it.
#pragma once

#include <string>
#include <vector>

#include "transport/hid_platform.h"

struct KeyListEntry {
  // The product string bounded as a kept interface's record bounds it.
  HidInterface facts;
  bool makerFilterKeeps = false;  // the vendor filter keeps its ids
  bool kept = false;              // enumeration keeps it now (filter, every maker, named key)
  int openError = 0;              // errno of the first open that failed; 0: it opens both ways
  // The platform's own words for that failure when it has more to say than
  // the errno value (a name that does not resolve); else empty.
  std::string openReason;
};

// Fills `out` with the present interfaces whose usage page is F1D0, in the
// platform's order. Each is opened for writing and for reading and closed
// again; no other interface is opened. False when the platform cannot list
// its interfaces.
bool KeyListFidoInterfaces(std::vector<KeyListEntry>& out);

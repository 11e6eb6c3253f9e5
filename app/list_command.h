// `quillmark --list [--json]`: every FIDO HID interface present, whatever its
// maker, one line (or one JSON object) each, saying whether the maker filter
// keeps it and whether this user may open it.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "app/card_readers.h"
#include "app/command_line.h"
#include "transport/key_list.h"

// What decides which interfaces the report and the window keep.
enum class KeyKeeping { kMakerFilter, kEveryMaker, kNamedDevice };

std::string FormatKeyListText(const std::vector<KeyListEntry>& entries, KeyKeeping keeping);
// An array of objects with every field spelled out.
// The card readers follow the HID interfaces, with "path" "pcsc:NAME".
std::string FormatKeyListJson(const std::vector<KeyListEntry>& entries, KeyKeeping keeping,
                              const std::vector<CardListEntry>& readers = {});

// A text from a device made safe for one line of output: backslashes and
// double quotes escaped, control characters as \xNN.
std::string OneLineDeviceText(const std::string& text);

// Answers EXIT_KEY_SHOWN when one or more interfaces are listed, EXIT_NO_KEY
// when none (after one line on `err` saying so and how access is given).
int RunListCommand(const CommandLine& line, std::ostream& out, std::ostream& err);

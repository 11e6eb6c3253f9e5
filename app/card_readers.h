// Cards on readers (pcsc-lite) beside the USB keys: naming one with
// pcsc:READER, and the --list lines of the readers.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "transport/card_platform.h"

class DeviceChoice;
struct CommandLine;

// pcsc-lite's card platform, unless the key is simulated or a test put in a
// HID platform of its own (null then).
CardPlatform* CardPlatformFor(const CommandLine& line);
// Lets `chosen` bring in the cards on readers of CardPlatformFor(line).
void StartCardReaders(const CommandLine& line, DeviceChoice& chosen);

inline constexpr char CARD_NO_SERVICE_TEXT[] = "pcsc: the pcscd service is not running";

// One reader as --list shows it.
struct CardListEntry {
  CardReader reader;
  // The FIDO applet's answer to its SELECT; empty when it gave none.
  std::string applet;
};

// Every reader, its card tried for the FIDO applet; the platform's code
// (CARD_NO_SERVICE when pcscd is not running).
int ListCardReaders(CardPlatform& cards, std::vector<CardListEntry>& out);
std::string FormatCardListText(const std::vector<CardListEntry>& entries);
// The readers as objects of the --list --json array.
void AppendCardListJson(nlohmann::ordered_json& list, const std::vector<CardListEntry>& entries);

// The path of the device-change message for a card laid on or taken off
// `reader`: it carries no ids, so the refresh takes the first key.
std::string CardEventPath(const std::string& reader);

#include "app/card_readers.h"

#include "app/command_line.h"
#include "app/device_choice.h"
#include "app/list_command.h"
#include "keyinfo/hex_encode.h"
#include "transport/card_session.h"
#include "transport/hidapi_platform.h"
#include "transport/key_device.h"
#include "transport/pcsc_platform.h"

CardPlatform* CardPlatformFor(const CommandLine& line) {
  if (line.simulate) return nullptr;
  if (&KeyDevice::Instance().platform() != &HidapiPlatform::Instance()) return nullptr;
  return &PcscPlatform::Instance();
}

void StartCardReaders(const CommandLine& line, DeviceChoice& chosen) {
  if (CardPlatform* cards = CardPlatformFor(line)) chosen.UseCards(*cards);
}

int ListCardReaders(CardPlatform& cards, std::vector<CardListEntry>& out) {
  out.clear();
  std::vector<CardReader> readers;
  if (const int listed = cards.ListReaders(readers); listed != CARD_OK) return listed;
  for (CardReader& reader : readers) {
    CardListEntry entry;
    if (reader.present) {
      // Selecting the FIDO applet is harmless to any other card.
      CardSession session(cards, KeyTransportClock());
      if (session.Open(reader.name, false) == CARD_OK) entry.applet = session.facts().applet;
    }
    entry.reader = std::move(reader);
    out.push_back(std::move(entry));
  }
  return CARD_OK;
}

std::string FormatCardListText(const std::vector<CardListEntry>& entries) {
  std::string out;
  for (const CardListEntry& entry : entries) {
    out += CardKeyPath(OneLineDeviceText(entry.reader.name));
    if (!entry.reader.present) {
      out += "  card: none\n";
      continue;
    }
    out += "  card: present  ATR " + UpperHex(entry.reader.atr) + "  FIDO applet: " +
           (entry.applet.empty() ? std::string("no answer") : OneLineDeviceText(entry.applet)) +
           "\n";
  }
  return out;
}

void AppendCardListJson(nlohmann::ordered_json& list, const std::vector<CardListEntry>& entries) {
  for (const CardListEntry& entry : entries) {
    nlohmann::ordered_json item;
    item["path"] = CardKeyPath(entry.reader.name);
    item["reader"] = entry.reader.name;
    item["cardPresent"] = entry.reader.present;
    item["atr"] = entry.reader.present ? nlohmann::ordered_json(UpperHex(entry.reader.atr))
                                       : nlohmann::ordered_json();
    item["fidoApplet"] =
        entry.applet.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(entry.applet);
    list.push_back(std::move(item));
  }
}

std::string CardEventPath(const std::string& reader) {
  // Long enough for the handler, which takes shorter paths for noise.
  return "\\\\?\\PCSC#" + reader + "#{card reader}";
}

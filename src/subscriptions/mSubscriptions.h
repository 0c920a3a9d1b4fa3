#pragma once
// The subscription list in subscriptions.dat: its record, the source identifiers, the per-source
// commands and the opening steps every reader of the file goes through.

#include "core/SourceId.h"
#include "core/XmlDocument.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mSubscriptions {

struct MessageSource {
  std::string Title;
  std::string Link;
  std::string ID;
  bool operator==(const MessageSource&) const = default;
};

// The source a command acts on: callers set its Link; Load fills all three fields.
inline MessageSource CurrentSource;
// The new Title and Link for Update.
inline MessageSource EditedSource;

enum class SourceAction : int { Update = 0, Delete = 1, Exists = 2, Load = 5 };
// No value for a number that is not an action.
std::optional<SourceAction> ToSourceAction(int code);

// A GUID as its fields; on the little-endian machines the identifier rule was made on, it lies in
// memory as Data1, Data2 and Data3 least significant byte first, then Data4.
struct Guid {
  std::uint32_t Data1 = 0;
  std::uint16_t Data2 = 0;
  std::uint16_t Data3 = 0;
  std::array<std::uint8_t, 8> Data4{};
};

// The 36-character identifier of a GUID: its 16 bytes in memory order, two upper-case hex digits
// each, grouped 8-4-4-4-12 with "-". Not the registry form: {00112233-4455-6677-8899-AABBCCDDEEFF}
// gives 33221100-5544-7766-8899-AABBCCDDEEFF.
std::string FormatSourceID(const Guid& guid);
// A new version-4 GUID from the platform's random bytes, as an identifier; empty when there are
// no random bytes.
std::string NewGUID();
// True for the exact form FormatSourceID makes (upper-case digits only). Anything else must not
// be used as a folder name.
using SourceId::IsSourceID;

// Path of subscriptions.dat in the data folder.
std::string SubscriptionFilePath();

// The opening steps: initialise the data folder when DataPath is blank, check the file exists,
// parse it, find the first "sources" element. Each failure shows its message (unless quiet) and
// gives false.
bool OpenSubscriptionFile(XmlDocument& document, XmlNode& sources, bool quiet = false);

// Every readable source in file order: a child element of "sources" with at least two attributes;
// the first attribute is the ID and the second the Title, whatever their names, and the text is
// the Link. Other children are skipped. False (after the message, unless quiet) when the file
// cannot be opened.
bool ReadSources(std::vector<MessageSource>& sources, bool quiet = false);

// Acts on every child element of "sources" whose text equals CurrentSource.Link exactly:
// Update sets its title and link from EditedSource, Delete removes it, Exists only reports it,
// Load copies it into CurrentSource. True when a source was found and the command done.
bool ManageSource(SourceAction action);

// Appends a new source with a fresh identifier. It does not look for the link first: callers ask
// Exists. True when the source was written.
bool AddSource(const std::string& title, const std::string& link);
// The same for several sources (their Title and Link; the ID is made here), in one write: either
// all of them are in the file afterwards or none is.
bool AddSources(const std::vector<MessageSource>& sources);

}  // namespace mSubscriptions

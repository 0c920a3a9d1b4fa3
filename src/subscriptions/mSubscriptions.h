#pragma once
// The subscription list in subscriptions.dat: its record, the source identifiers, the per-source
// commands and the opening steps every reader of the file goes through. This module alone reads
// and writes the file (the data folder's first one aside, which InitializeDataFolder writes).
//
// Everything beyond the windows reaches a source by its ID, through the commands below that take
// it; the windows' own commands (ManageSource) work on CurrentSource and EditedSource, their
// selection. Every change is told to the subscription listeners (SubscriptionEvents.h).

#include "core/SourceId.h"
#include "core/XmlDocument.h"

#include "core/mGeneralFunctions.h"

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

// Why the opening steps failed.
enum class OpenFailure { None, Missing, Damaged, NoList };

// The opening steps: initialise the data folder when DataPath is blank, check the file exists,
// parse it, find the first "sources" element. Each failure shows its message and gives false.
bool OpenSubscriptionFile(XmlDocument& document, XmlNode& sources);
// The same without a box, for callers that report on their own.
OpenFailure OpenQuietly(XmlDocument& document, XmlNode& sources);
void ShowOpenFailure(OpenFailure failure);
// A few words for a report: "it is missing", "it is damaged", "it holds no list of sources".
std::string Describe(OpenFailure failure);

// Every readable source in file order: a child element of "sources" with at least two attributes;
// the first attribute is the ID and the second the Title, whatever their names, and the text is
// the Link. Other children are skipped. False (after the message) when the file cannot be opened.
bool ReadSources(std::vector<MessageSource>& sources);
// The text of every child element of "sources", the links ManageSource compares with. No box.
OpenFailure ReadLinks(std::vector<std::string>& links);

// Every readable source in file order, as ReadSources gives them, without a box: nothing when the
// file cannot be opened (failure, when given, says why).
std::optional<std::vector<MessageSource>> ReadAllSources(OpenFailure* failure = nullptr);
// The source of that ID; nothing when the file holds none or cannot be opened. No box.
std::optional<MessageSource> FindSource(const std::string& id);

// What a command by ID did; no box was shown (ShowFailure shows what ManageSource would).
struct Outcome {
  OpenFailure failure = OpenFailure::None;  // the file could not be opened: nothing was done
  bool found = false;                       // a source of that ID is in the file
  std::optional<mGeneralFunctions::RunError> saveError;  // changed, but the file not written
  bool Done() const { return failure == OpenFailure::None && found && !saveError; }
  explicit operator bool() const { return Done(); }
};
void ShowFailure(const Outcome& outcome);
// Each acts on every source of that ID (there is one, unless the file was edited by hand).
Outcome RenameSource(const std::string& id, const std::string& title);
Outcome ChangeSourceLink(const std::string& id, const std::string& link);
Outcome RemoveSource(const std::string& id);

// The selection of the windows' commands: callers set CurrentSource's Link; Load fills all three
// fields. EditedSource holds the new Title and Link for Update.
inline MessageSource CurrentSource;
inline MessageSource EditedSource;

// Acts on every child element of "sources" whose text equals CurrentSource.Link exactly:
// Update sets its title and link from EditedSource, Delete removes it, Exists only reports it,
// Load copies it into CurrentSource. True when a source was found and the command done.
bool ManageSource(SourceAction action);

// Appends a new source with a fresh identifier. It does not look for the link first: callers ask
// Exists. True when the source was written.
bool AddSource(const std::string& title, const std::string& link);
// The same for several sources (their Title and Link; the ID is made here), in one write: either
// all of them are in the file afterwards or none is. No box: empty when they were written, else
// why not.
std::string AddSources(const std::vector<MessageSource>& sources);

}  // namespace mSubscriptions

#pragma once
// state.dat beside a source's inbox: the HTTP validators of the last answer stored, what proves
// that the inbox still holds what it held then, and the guids of the messages the user deleted.
// A small INI file, rewritten whole and atomically. Losing it costs one full download and lets
// deleted messages back once; inbox.dat keeps its own format.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace SourceState {

struct Validators {
  std::string etag;
  std::string lastModified;
  bool Empty() const { return etag.empty() && lastModified.empty(); }
  bool operator==(const Validators&) const = default;
};

// Which messages an inbox holds, told by their guids, letter case aside: their number and a
// digest that does not depend on their order. A message more, one less or another one shows.
struct Holding {
  std::uint64_t count = 0;
  std::uint64_t digest = 0;
  void Add(std::string_view guid);
  void Remove(std::string_view guid);
  bool operator==(const Holding&) const = default;
};

struct State {
  Validators validators;
  // What the inbox held when the validators were recorded, less the messages deleted since.
  std::optional<Holding> holding;
  // Guids of messages the user deleted (as the inbox names them), oldest first.
  std::vector<std::string> deleted;
  bool operator==(const State&) const = default;
};

// The state of the current source (mInbox::SourceID). A missing file reads as an empty state; a
// damaged one keeps nothing that cannot be trusted (validators without a readable holding).
State Load();
// Writes it atomically; an empty state removes the file. False when that failed.
bool Save(const State& state);

// The validators to send for the current source: the stored ones while its inbox still holds
// what it held when they were recorded, none otherwise (a restored, trimmed or missing inbox
// then gets the whole feed again).
Validators ValidatorsToSend();

// Records the deletion of a message that the current source's inbox holds, before the inbox
// changes: a kill between the two writes can then only keep the message, never bring a deleted
// one back. The validators stay good. False when the state could not be written.
bool RecordDeletion(std::string_view guid);

}  // namespace SourceState

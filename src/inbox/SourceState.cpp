#include "inbox/SourceState.h"

#include "config/IniDocument.h"
#include "core/AsciiText.h"
#include "core/mGeneralFunctions.h"
#include "inbox/mInbox.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace SourceState {

namespace {

constexpr std::string_view kValidators = "validators", kDeleted = "deleted";

std::string Path() { return mGeneralFunctions::AddBackslash(mInbox::InboxFolder()) + "state.dat"; }

// FNV-1a over the guid in lower case: fixed, so a digest written by one build reads in another.
std::uint64_t Hash(std::string_view guid) {
  std::uint64_t hash = 14695981039346656037ull;
  for (const char c : guid) {
    hash ^= static_cast<unsigned char>(AsciiText::Lower(c));
    hash *= 1099511628211ull;
  }
  return hash;
}

std::optional<std::uint64_t> Number(const std::optional<std::string>& text, int base) {
  std::uint64_t value = 0;
  if (!text || text->empty()) return std::nullopt;
  const char* end = text->data() + text->size();
  const auto [at, error] = std::from_chars(text->data(), end, value, base);
  if (error != std::errc() || at != end) return std::nullopt;
  return value;
}

std::string Hex(std::uint64_t value) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
  return text;
}

}  // namespace

void Holding::Add(std::string_view guid) {
  ++count;
  digest ^= Hash(guid);
}

void Holding::Remove(std::string_view guid) {
  --count;
  digest ^= Hash(guid);
}

State Load() {
  State state;
  std::error_code ec;
  const IniDocument doc = IniDocument::Load(Path(), ec);
  if (ec) return state;
  const auto count = Number(doc.GetValue(kValidators, "messages"), 10);
  const auto digest = Number(doc.GetValue(kValidators, "digest"), 16);
  if (count && digest) {
    state.holding = Holding{*count, *digest};
    state.validators.etag = doc.GetValue(kValidators, "etag").value_or("");
    state.validators.lastModified = doc.GetValue(kValidators, "lastmodified").value_or("");
  }
  for (const std::string& key : doc.KeyNames(kDeleted)) {
    std::string guid = doc.GetValue(kDeleted, key).value_or("");
    if (!guid.empty()) state.deleted.push_back(std::move(guid));
  }
  return state;
}

bool Save(const State& state) {
  std::error_code ec;
  if (state == State{}) {
    std::filesystem::remove(Path(), ec);
    return !ec;
  }
  IniDocument doc;
  if (state.holding) {
    doc.SetValue(kValidators, "etag", state.validators.etag);
    doc.SetValue(kValidators, "lastmodified", state.validators.lastModified);
    doc.SetValue(kValidators, "messages", std::to_string(state.holding->count));
    doc.SetValue(kValidators, "digest", Hex(state.holding->digest));
  }
  for (std::size_t i = 0; i < state.deleted.size(); ++i)
    doc.SetValue(kDeleted, std::to_string(i + 1), state.deleted[i]);
  return doc.Save(Path(), ec);
}

Validators ValidatorsToSend() {
  const State state = Load();
  if (state.validators.Empty() || !state.holding) return {};
  const std::optional<Holding> held = mInbox::InboxHolding();
  return held == state.holding ? state.validators : Validators{};
}

bool RecordDeletion(std::string_view guid) {
  State state = Load();
  const bool known =
      std::any_of(state.deleted.begin(), state.deleted.end(),
                  [guid](const std::string& g) { return AsciiText::EqualsNoCase(g, guid); });
  if (!known) state.deleted.emplace_back(guid);
  if (state.holding) {
    if (state.holding->count == 0) {
      state.holding.reset();
    } else {
      state.holding->Remove(guid);
    }
  }
  return Save(state);
}

}  // namespace SourceState

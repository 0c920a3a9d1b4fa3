#include "retrieval/Download.h"

#include <array>

namespace Download {

namespace {

constexpr std::array<const char*, 12> kStateTexts = {
    "Resolving Host Route...",
    "Done! Connecting Gateway...",
    "Done! Authentication in progress...",
    "Done! Opening Session...",
    "Done! Sending Status Request...",
    "Request Sent! Waiting for Server reply...",
    "Info Chunk received! Buffering...",
    "Acknowledgement sent...",
    "Done! Releasing Session...",
    "Done! Parsing Data ...",
    "Error in reading Server Response!",
    "Server Communication complete.",
};

}  // namespace

std::optional<INetState> INetStateFromInt(int state) {
  if (state < 1 || state > 12) return std::nullopt;
  return static_cast<INetState>(state);
}

std::string TranslateINetState(int state) {
  if (!INetStateFromInt(state)) return {};
  return kStateTexts[static_cast<std::size_t>(state - 1)];
}

}  // namespace Download

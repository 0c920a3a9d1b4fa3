#pragma once
// The identifier form of a source's ID: 36 characters, upper-case hex digits grouped 8-4-4-4-12
// with "-". Only a text of exactly this form may name a folder: a hand-edited subscription file
// holding "" or "../x" must never reach the file system.

#include <string_view>

namespace SourceId {

bool IsSourceID(std::string_view text);

}  // namespace SourceId

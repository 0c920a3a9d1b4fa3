#pragma once
// What the crash test and its writer agree on: the entry the writer flips between two values.

#include <string>

namespace IniCrash {

inline const char* const kSection = "{00000000-0000-4000-8000-000000000500}";
inline const char* const kKey = "description";

inline std::string ValueA() { return std::string(4096, 'a'); }
inline std::string ValueB() { return std::string(4096, 'b'); }

// Written to the writer's standard output: once when it has read the file, once per rewrite.
inline constexpr char kReady = 'R';
inline constexpr char kRewritten = 'W';

}  // namespace IniCrash

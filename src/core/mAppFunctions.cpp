#include "core/mAppFunctions.h"

#include "core/mGeneralFunctions.h"

#include <filesystem>

namespace mAppFunctions {

namespace {
constexpr const char* kInitialSubscriptionLines[] = {
    R"(<?xml version="1.0" encoding="UTF-8"?>)",
    "<!--",
    "Document   : subscriptions.dat",
    "Author     : Quillpost developers",
    "Description:",
    "    This file saves a complete list of all Messages Sources subscribed",
    "    under Quillpost application.",
    "-->",
    "<sources>",
    "</sources>",
};
}  // namespace

void InitializeDataFolder() {
  using namespace mGeneralFunctions;
  DataPath = AddBackslash(GetAppDataFolder()) + "Quillpost Data";
  if (FolderExists(DataPath)) return;

  // A fresh account may not have the application-data folder itself yet.
  std::error_code ec;
  std::filesystem::create_directories(DataPath, ec);
  if (ec) {
    ReportError(ErrorFrom(ec));
    return;
  }
  std::string text;
  for (const char* line : kInitialSubscriptionLines) text += std::string(line) + "\r\n";
  WriteTextFile(AddBackslash(DataPath) + "subscriptions.dat", text);
}

}  // namespace mAppFunctions

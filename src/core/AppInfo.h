#pragma once
// Fixed texts of the program that several windows show or open.

namespace AppInfo {

// The application's title, as message boxes and the tray show it.
inline constexpr const char* kTitle = "Quillpost";
// The main window's title before the build text.
inline constexpr const char* kMainWindowTitle = "Quillpost (Standard Version)";
inline constexpr const char* kSupportEmail = "support@quillpost.example";
inline constexpr const char* kWebsite = "https://quillpost.example/";
// The terms the program is given under, as the package's copyright file states them.
inline constexpr const char* kLicence =
    "Copyright 2026 the Quillpost developers. They have not published licence terms for this "
    "program yet; until they do, all rights are reserved.";
// The help page installed beside the program.
inline constexpr const char* kHelpFileName = "Help.html";

}  // namespace AppInfo

#pragma once
// Moving sources to and from other feed readers as OPML: the subscription list written as an
// OPML 2.0 file, and the outlines of such a file added as the subscribe dialog adds a source.
// The menu entries and the command-line switches share these functions.

#include "subscriptions/mSubscriptions.h"

#include <string>
#include <string_view>
#include <vector>

class TreeControl;

namespace Opml {

// The sources in order as OPML 2.0: <outline type="rss" text=... title=... xmlUrl=.../> in the
// body, UTF-8, values escaped.
std::string Write(const std::vector<mSubscriptions::MessageSource>& sources);

// An outline as the file gives it: its text (else its title) and its link (xmlUrl, else the
// url of OPML 1.0), both as written.
struct Outline {
  std::string title;
  std::string link;
  bool operator==(const Outline&) const = default;
};

struct Skipped {
  std::string title;
  std::string link;
  std::string reason;
  bool operator==(const Skipped&) const = default;
};

// The exit statuses of the command-line switches.
enum Status : int { AllDone = 0, SomeSkipped = 1, FileFailed = 2 };

// A file read into its outlines, in document order, folders (outlines holding outlines) walked.
// An outline that is no folder and has no link is left out here, with its reason.
struct FileOutlines {
  Status status = AllDone;  // SomeSkipped when an outline was left out, FileFailed: see error
  std::string error;        // FileFailed: why, as one sentence naming the file
  std::vector<Outline> outlines;
  std::vector<Skipped> skipped;
};
// Refused as a whole, with nothing read: a text that is not UTF-8, declares a document type
// (entities or an external DTD), is not well-formed, has no <opml> root or holds more than
// kMaxOutlines outlines that are no folder. `error` then lacks the file's name.
FileOutlines Read(std::string_view text);
// The file read and refused as Read does, and a file that cannot be read or is larger than
// kMaxFileBytes. No data folder, no box.
FileOutlines ReadFile(const std::string& path);
inline constexpr std::size_t kMaxOutlines = 10000;
inline constexpr std::size_t kMaxFileBytes = 16 * 1024 * 1024;
// Longer titles and links are refused outline by outline.
inline constexpr std::size_t kMaxTitleBytes = 1000;
inline constexpr std::size_t kMaxLinkBytes = 2000;

// FileFailed: nothing was added, and error says why as one sentence; no outline is listed.
struct ImportResult {
  Status status = AllDone;
  std::string error;
  std::vector<Outline> added;  // with the link as stored
  std::vector<Skipped> skipped;
};

// Adds the outlines in their order with the subscribe dialog's link checks in its order (blank
// link, service host and a link a check can fetch, already subscribed: the last also for a link
// an earlier outline brought), after refusing overlong titles and links. An outline without a
// title gets its link as title. The accepted ones go into subscriptions.dat in one write, so a
// failure leaves the file as it was. No box: a subscription file that cannot be opened or
// written fails with its reason.
ImportResult Import(const std::vector<Outline>& outlines);
// What reading left out goes before what the import left out; the status follows. A failed
// import stays as it is.
ImportResult WithReadSkips(ImportResult imported, std::vector<Skipped> readSkipped);
// ReadFile, then Import of what it read.
ImportResult ImportFile(const std::string& path);

// Writes the sources of subscriptions.dat to the file (replaced atomically). The number of
// sources written, or -1 with the reason in error.
int ExportFile(const std::string& path, std::string& error);

// One line for a skipped outline: "Title" <link>: reason (a long title cut short, the link
// whole unless it was refused for its length).
std::string SkippedLine(const Skipped& skipped);
// The import's summary as the box shows it: what was added, then the skipped outlines with their
// reasons (the first 20 of them).
std::string SummaryText(const ImportResult& result, const std::string& path);

// The menu entries: the desktop's dialogs, then one box with the outcome (a failure included).
// An import rebuilds the message tree so that it shows what was added.
void ExportWithDialog();
void ImportAndShow(const std::string& path, TreeControl& messageTree);

}  // namespace Opml

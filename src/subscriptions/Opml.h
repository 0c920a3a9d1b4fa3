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

// Every outline with an xmlUrl attribute, in document order, folders (nested outlines) walked:
// its text (else its title) as Title and the xmlUrl as Link, both as written.
struct Outlines {
  std::vector<mSubscriptions::MessageSource> sources;
  std::string error;  // why the text is no OPML file that can be imported; empty when it is
};
// Refused as a whole, with nothing read: a text that is not UTF-8, declares a document type
// (entities or an external DTD), is not well-formed, has no <opml> root or holds more than
// kMaxOutlines outlines with an address.
Outlines Read(std::string_view text);
inline constexpr std::size_t kMaxOutlines = 10000;
inline constexpr std::size_t kMaxFileBytes = 16 * 1024 * 1024;
// Longer titles and links are refused outline by outline.
inline constexpr std::size_t kMaxTitleBytes = 1000;
inline constexpr std::size_t kMaxLinkBytes = 2000;

struct Skipped {
  std::string title;
  std::string link;
  std::string reason;
  bool operator==(const Skipped&) const = default;
};

// The exit statuses of the command-line switches.
enum Status : int { AllDone = 0, SomeSkipped = 1, FileFailed = 2 };

struct ImportResult {
  Status status = AllDone;
  std::string error;  // FileFailed: why, as one sentence naming the file
  std::vector<mSubscriptions::MessageSource> added;
  std::vector<Skipped> skipped;
};

// Reads the file and adds its outlines in document order with the subscribe dialog's checks in
// its order (blank title, blank link, service host and scheme, already subscribed: the last
// also for a link an earlier outline of the file brought), after refusing overlong titles and
// links. The accepted ones go into subscriptions.dat in one write, so a failure leaves the file
// as it was. A subscription file that cannot be opened shows its usual box and fails.
ImportResult ImportFile(const std::string& path);

// Writes the sources of subscriptions.dat to the file (replaced atomically). The number of
// sources written, or -1 with the reason in error.
int ExportFile(const std::string& path, std::string& error);

// One line for a skipped outline: "Title" <link>: reason (a long title cut short).
std::string SkippedLine(const Skipped& skipped);
// The import's summary as the box shows it: what was added, then the skipped outlines with their
// reasons (the first 20 of them).
std::string SummaryText(const ImportResult& result, const std::string& path);

// The menu entries: the desktop's dialogs, then one box with the outcome. An import rebuilds the
// message tree so that it shows what was added.
void ExportWithDialog();
void ImportAndShow(const std::string& path, TreeControl& messageTree);

}  // namespace Opml

#include "entry/OpmlCommand.h"

#include "core/Services.h"
#include "entry/SyncCommand.h"
#include "entry/mMain.h"
#include "subscriptions/Opml.h"

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace OpmlCommand {

int Export(const std::string& path, std::ostream& out, std::ostream& err) {
  std::string error;
  const int count = Opml::ExportFile(path, error);
  if (count < 0) {
    err << "quillpost: " << error << ".\n";
    return Opml::FileFailed;
  }
  out << count << (count == 1 ? " source" : " sources") << " exported to " << path << ".\n";
  return Opml::AllDone;
}

namespace {

// Prints what an import did, given as lines: the command's own import and the reader's share it.
void Print(std::size_t added, const std::vector<std::string>& skipped, bool failed,
           const std::string& error, const std::string& path, std::ostream& out,
           std::ostream& err) {
  for (const std::string& line : skipped) err << "quillpost: not imported: " << line << "\n";
  if (failed) {
    err << "quillpost: " << error << ".\n";
  } else {
    out << added << (added == 1 ? " source" : " sources") << " added from " << path << ", "
        << skipped.size() << " skipped.\n";
  }
}

// The reader's reply, after what reading the file left out here.
int PrintReply(const ForwardedCheck::Reply& reply, const std::vector<Opml::Skipped>& readSkipped,
               const std::string& path, std::ostream& out, std::ostream& err) {
  using Kind = ForwardedCheck::Event::Kind;
  std::vector<std::string> skipped;
  std::size_t added = 0;
  std::string error;
  const bool failed = reply.status == Opml::FileFailed;
  if (!failed)
    for (const Opml::Skipped& each : readSkipped) skipped.push_back(Opml::SkippedLine(each));
  for (const ForwardedCheck::Event& event : reply.events) {
    if (event.kind == Kind::Skipped) skipped.push_back(event.text);
    if (event.kind == Kind::Added) added = std::stoul(event.text);
    if (event.kind == Kind::Error) error = event.text;
    if (event.kind == Kind::Box) Services::MessageBox().Show(event.text, event.title, event.style);
  }
  if (failed && error.empty()) error = "the running Quillpost could not import the sources";
  Print(added, skipped, failed, error, path, out, err);
  if (failed) return Opml::FileFailed;
  return skipped.empty() ? Opml::AllDone : Opml::SomeSkipped;
}

}  // namespace

int Import(const std::string& path, std::ostream& out, std::ostream& err,
           const HeadlessCheck::AskReader& askReader) {
  Opml::FileOutlines read = Opml::ReadFile(path);
  if (read.status == Opml::FileFailed) {
    Report({Opml::FileFailed, read.error, {}, {}}, path, out, err);
    return Opml::FileFailed;
  }
  std::optional<std::string> answer;
  const mMain::Wait wait = mMain::WaitForDataFolder([&] {
    if (!askReader) return false;
    std::vector<ForwardedCheck::Outline> outlines;
    outlines.reserve(read.outlines.size());
    for (const Opml::Outline& outline : read.outlines)
      outlines.push_back({outline.title, outline.link});
    answer = askReader(ForwardedCheck::WriteImportRequest(outlines));
    return answer.has_value();
  });
  if (answer) {
    const std::optional<ForwardedCheck::Reply> reply = ForwardedCheck::ReadReply(*answer);
    if (!reply) {
      Services::MessageBox().Show(HeadlessCheck::kNoAnswerText, mMain::kBusyTitle,
                                  Services::vbExclamation);
      return Opml::FileFailed;
    }
    return PrintReply(*reply, read.skipped, path, out, err);
  }
  if (wait != mMain::Wait::Taken) {
    Services::MessageBox().Show(mMain::BusyText(), mMain::kBusyTitle, Services::vbExclamation);
    return Opml::FileFailed;
  }
  const SyncCommand::Session sync;
  const Opml::ImportResult result =
      Opml::WithReadSkips(Opml::Import(read.outlines), std::move(read.skipped));
  Report(result, path, out, err);
  return result.status;
}

void Report(const Opml::ImportResult& result, const std::string& path, std::ostream& out,
            std::ostream& err) {
  std::vector<std::string> skipped;
  for (const Opml::Skipped& each : result.skipped) skipped.push_back(Opml::SkippedLine(each));
  Print(result.added.size(), skipped, result.status == Opml::FileFailed, result.error, path, out,
        err);
}

}  // namespace OpmlCommand

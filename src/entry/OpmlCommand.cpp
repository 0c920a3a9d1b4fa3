#include "entry/OpmlCommand.h"

#include "core/Services.h"
#include "entry/mMain.h"
#include "subscriptions/Opml.h"

#include <ostream>

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

int Import(const std::string& path, std::ostream& out, std::ostream& err) {
  Opml::FileOutlines read = Opml::ReadFile(path);
  Opml::ImportResult result{Opml::FileFailed, read.error, {}, {}};
  if (read.status != Opml::FileFailed) {
    if (!mMain::TakeDataFolder()) {
      Services::MessageBox().Show(mMain::kRefusalText, mMain::kRefusalTitle,
                                  Services::vbExclamation);
      return Opml::FileFailed;
    }
    result = Opml::WithReadSkips(Opml::Import(read.outlines), std::move(read.skipped));
  }
  Report(result, path, out, err);
  return result.status;
}

void Report(const Opml::ImportResult& result, const std::string& path, std::ostream& out,
            std::ostream& err) {
  for (const Opml::Skipped& skipped : result.skipped)
    err << "quillpost: not imported: " << Opml::SkippedLine(skipped) << "\n";
  if (result.status == Opml::FileFailed) {
    err << "quillpost: " << result.error << ".\n";
  } else {
    out << result.added.size() << (result.added.size() == 1 ? " source" : " sources")
        << " added from " << path << ", " << result.skipped.size() << " skipped.\n";
  }
}

}  // namespace OpmlCommand

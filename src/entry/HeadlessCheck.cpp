#include "entry/HeadlessCheck.h"

#include "core/Services.h"
#include "core/TreeControl.h"
#include "core/mAppFunctions.h"
#include "entry/mMain.h"
#include "inbox/InboxEvents.h"
#include "inbox/UnreadCounts.h"
#include "subscriptions/SourceTree.h"

#include <ostream>

namespace HeadlessCheck {

namespace {

// Line ends as a terminal or a mail of cron wants them.
std::string WithUnixLineEnds(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  return out;
}

class Printer : public Services::IProgress {
 public:
  explicit Printer(std::ostream& out) : m_out(out) {}
  void SetQueue(const std::vector<std::string>&) override {}
  void RemoveFirst() override {}
  void SetSource(const std::string&) override {}
  void SetStatus(const std::string&) override {}
  void Show() override {}
  void Close() override {}
  void Alert(const std::string& summary) override {
    m_out << WithUnixLineEnds(summary);
    m_out.flush();
  }

 private:
  std::ostream& m_out;
};

// Installs the printer for the run and puts back what was there.
class ProgressScope {
 public:
  explicit ProgressScope(Services::IProgress* progress) : m_previous(Services::Current().progress) {
    Services::Current().progress = progress;
  }
  ~ProgressScope() { Services::Current().progress = m_previous; }

 private:
  Services::IProgress* m_previous;
};

}  // namespace

const char* const kNoAnswerText =
    "The running Quillpost took the check but ended the connection without an answer (it may "
    "have been closed meanwhile).";

int Run(std::ostream& out, const AskReader& askReader) {
  Printer printer(out);
  ProgressScope scope(&printer);
  std::optional<std::string> answer;
  // Two programs storing into the same inboxes at once would lose messages. A reader that took
  // the request is asked once: a second request would check everything a second time.
  const mMain::Wait wait = mMain::WaitForDataFolder([&] {
    answer = askReader ? askReader(std::string(ForwardedCheck::kCheckRequest)) : std::nullopt;
    return answer.has_value();
  });
  if (answer) {
    const std::optional<ForwardedCheck::Reply> reply = ForwardedCheck::ReadReply(*answer);
    if (!reply) {
      Services::MessageBox().Show(kNoAnswerText, mMain::kBusyTitle, Services::vbExclamation);
      return NoRunPossible;
    }
    for (const ForwardedCheck::Event& event : reply->events) {
      if (event.kind == ForwardedCheck::Event::Kind::Box) {
        Services::MessageBox().Show(event.text, event.title, event.style);
      } else {
        printer.Alert(event.text);
      }
    }
    return reply->status;
  }
  if (wait != mMain::Wait::Taken) {
    Services::MessageBox().Show(mMain::BusyText(), mMain::kBusyTitle, Services::vbExclamation);
    return NoRunPossible;
  }
  TreeControl tree("tvMessages");
  if (!mSubscriptions::LoadSubscriptions(tree)) return NoRunPossible;
  // The counts the reader finds at its next start follow what this check stores; sources whose
  // counts are not known are left for the reader to count.
  const std::string cacheFile =
      mAppFunctions::PrepareCacheFolder() ? mInbox::CountsCacheFile() : std::string();
  mInbox::UnreadCounts counts(mAppFunctions::DataFolder(), cacheFile);
  counts.SetCounting(false);
  std::vector<std::string> ids;
  for (const TreeControl::Node* node : tree.TopLevelNodes()) ids.push_back(node->Key());
  counts.SetSources(ids);
  mInbox::AddListener(&counts);
  const int status = ForwardedCheck::CheckAll(tree);
  mInbox::RemoveListener(&counts);
  counts.Save();
  return status;
}

}  // namespace HeadlessCheck

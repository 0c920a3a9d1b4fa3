#include "entry/HeadlessCheck.h"

#include "core/Services.h"
#include "core/TreeControl.h"
#include "entry/mMain.h"
#include "retrieval/CheckRun.h"
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

int Run(std::ostream& out) {
  // Two programs storing into the same inboxes at once would lose messages.
  if (!mMain::TakeDataFolder()) {
    Services::MessageBox().Show(mMain::kRefusalText, mMain::kRefusalTitle, Services::vbExclamation);
    return NoRunPossible;
  }
  Printer printer(out);
  ProgressScope scope(&printer);

  TreeControl tree("tvMessages");
  if (!mSubscriptions::LoadSubscriptions(tree)) return NoRunPossible;
  if (tree.Count() == 0) return AllChecked;
  if (!mAppFunctions::BuildCheckQueue(tree, true)) return NoRunPossible;
  const auto outcome = mAppFunctions::RunCheck(tree);
  return outcome.failed > 0 ? SomeFailed : AllChecked;
}

}  // namespace HeadlessCheck

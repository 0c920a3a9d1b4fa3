#include "entry/SyncCommand.h"

#include "core/Services.h"
#include "entry/mMain.h"
#include "retrieval/CheckRun.h"
#include "shell/ForwardedCheck.h"

#include <ostream>

namespace SyncCommand {

namespace {

int Print(const ForwardedCheck::Reply& reply, std::ostream& out, std::ostream& err) {
  for (const ForwardedCheck::Event& event : reply.events) {
    switch (event.kind) {
      case ForwardedCheck::Event::Kind::Summary:
        out << event.text << '\n';
        break;
      case ForwardedCheck::Event::Kind::Box:
        Services::MessageBox().Show(event.text, event.title, event.style);
        break;
      default:
        err << event.text << '\n';
        break;
    }
  }
  out.flush();
  err.flush();
  return reply.status;
}

}  // namespace

int Run(std::ostream& out, std::ostream& err, const HeadlessCheck::AskReader& askReader) {
  std::optional<std::string> answer;
  const mMain::Wait wait = mMain::WaitForDataFolder([&] {
    answer = askReader ? askReader(std::string(ForwardedCheck::kSyncRequest)) : std::nullopt;
    return answer.has_value();
  });
  if (answer) {
    const std::optional<ForwardedCheck::Reply> reply = ForwardedCheck::ReadReply(*answer);
    if (!reply) {
      err << HeadlessCheck::kNoAnswerText << '\n';
      return 2;
    }
    return Print(*reply, out, err);
  }
  if (wait != mMain::Wait::Taken) {
    err << mMain::BusyText() << '\n';
    return 2;
  }
  Sync::Engine engine;
  Sync::Report report = engine.Start();
  if (!engine.IsOn()) report.Take(engine.Merge());
  return Print(ForwardedCheck::SyncReply(report), out, err);
}

Session::Session(std::function<void(const std::string&)> debug) : m_debug(std::move(debug)) {
  Tell(m_engine.Start());
  if (!m_engine.IsOn()) return;
  const auto merge = [this](TreeControl&) { Tell(m_engine.Merge()); };
  mAppFunctions::BeforeRun = merge;
  mAppFunctions::AfterRun = merge;
}

Session::~Session() {
  mAppFunctions::BeforeRun = nullptr;
  mAppFunctions::AfterRun = nullptr;
}

void Session::Tell(const Sync::Report& report) {
  if (m_debug)
    for (const std::string& line : report.lines) m_debug(line);
}

}  // namespace SyncCommand

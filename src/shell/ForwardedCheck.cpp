#include "shell/ForwardedCheck.h"

#include "core/AsciiText.h"
#include "core/Services.h"
#include "core/TreeControl.h"
#include "core/mGeneralFunctions.h"
#include "retrieval/CheckRun.h"
#include "subscriptions/Opml.h"
#include "subscriptions/SourceTree.h"
#include "sync/SyncEngine.h"

#include <charconv>

namespace ForwardedCheck {

namespace {

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  for (std::size_t at; (at = text.find(separator)) != std::string_view::npos;) {
    parts.push_back(text.substr(0, at));
    text.remove_prefix(at + 1);
  }
  parts.push_back(text);
  return parts;
}

std::optional<int> Number(std::string_view text) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// A box of the run's as the command would have shown it: caught, not shown.
class BoxCatcher : public Services::IMessageBox {
 public:
  BoxCatcher() : m_saved(Services::Current().messageBox) { Services::Current().messageBox = this; }
  ~BoxCatcher() override { Services::Current().messageBox = m_saved; }
  BoxCatcher(const BoxCatcher&) = delete;
  BoxCatcher& operator=(const BoxCatcher&) = delete;
  int Show(const std::string& text, const std::string& title, int style) override {
    events.push_back({Event::Kind::Box, text, title, style});
    return Services::DefaultAnswer(style);
  }
  std::vector<Event> events;

 private:
  Services::IMessageBox* m_saved;
};

constexpr std::pair<Event::Kind, std::string_view> kKindNames[] = {
    {Event::Kind::Box, "box"},         {Event::Kind::Summary, "summary"},
    {Event::Kind::Skipped, "skipped"}, {Event::Kind::Added, "added"},
    {Event::Kind::Error, "error"}};

std::optional<Event::Kind> KindNamed(std::string_view name) {
  for (const auto& [kind, text] : kKindNames)
    if (text == name) return kind;
  return std::nullopt;
}

std::string_view NameOf(Event::Kind kind) {
  for (const auto& [k, text] : kKindNames)
    if (k == kind) return text;
  return {};
}

// The outline lines of an import after its first line, up to "end".
Request ReadOutlines(std::string_view received) {
  Request request;
  request.kind = RequestKind::Import;
  std::string_view rest = received.substr(kImportRequest.size());
  // Most calls come while the lines are still arriving: only a possible end is read through.
  if (!rest.ends_with("end\n")) return request;
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    if (end == std::string_view::npos) return request;
    const std::string_view line = rest.substr(0, end);
    rest.remove_prefix(end + 1);
    if (line == "end") {
      request.state = RequestState::Complete;
      request.length = received.size() - rest.size();
      return request;
    }
    const std::vector<std::string_view> fields = Split(line, '\t');
    std::optional<std::string> title, link;
    if (fields.size() == 3 && fields[0] == "outline") {
      title = UnescapeLine(fields[1]);
      link = UnescapeLine(fields[2]);
    }
    if (!title || !link || request.outlines.size() == kMaxOutlines) {
      request.state = RequestState::Refused;
      return request;
    }
    request.outlines.push_back({std::move(*title), std::move(*link)});
  }
  return request;
}

}  // namespace

Request ReadRequest(std::string_view received) {
  Request request;
  if (received.size() > kMaxRequestBytes || received.find('\0') != std::string_view::npos) {
    request.state = RequestState::Refused;
    return request;
  }
  bool partial = false;
  for (const auto& [line, kind] :
       {std::pair{kCheckRequest, RequestKind::Check}, std::pair{kShowRequest, RequestKind::Show},
        std::pair{kSyncRequest, RequestKind::Sync}}) {
    if (received.starts_with(line)) {
      request.state = RequestState::Complete;
      request.kind = kind;
      request.length = line.size();
      return request;
    }
    partial = partial || line.starts_with(received);
  }
  if (received.starts_with(kImportRequest)) return ReadOutlines(received);
  partial = partial || kImportRequest.starts_with(received);
  request.state = partial ? RequestState::Partial : RequestState::Refused;
  return request;
}

std::string WriteImportRequest(const std::vector<Outline>& outlines) {
  std::string out(kImportRequest);
  for (const Outline& outline : outlines)
    out += "outline\t" + AsciiText::Escaped(outline.title) + "\t" +
           AsciiText::Escaped(outline.link) + "\n";
  return out + "end\n";
}

std::optional<std::string> UnescapeLine(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\t' || c == '\r' || c == '\n') return std::nullopt;
    if (c != '\\') {
      out += c;
      continue;
    }
    if (++i == text.size()) return std::nullopt;
    switch (text[i]) {
      case '\\':
        out += '\\';
        break;
      case 't':
        out += '\t';
        break;
      case 'r':
        out += '\r';
        break;
      case 'n':
        out += '\n';
        break;
      default:
        return std::nullopt;
    }
  }
  return out;
}

std::string WriteReply(const Reply& reply) {
  std::string out;
  for (const Event& event : reply.events) {
    out += NameOf(event.kind);
    if (event.kind == Event::Kind::Box)
      out += "\t" + std::to_string(event.style) + "\t" + AsciiText::Escaped(event.title);
    out += "\t" + AsciiText::Escaped(event.text) + "\n";
  }
  return out + "exit\t" + std::to_string(reply.status) + "\n";
}

std::optional<Reply> ReadReply(std::string_view bytes) {
  if (!bytes.ends_with('\n')) return std::nullopt;
  bytes.remove_suffix(1);
  Reply reply;
  const std::vector<std::string_view> lines = Split(bytes, '\n');
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::vector<std::string_view> fields = Split(lines[i], '\t');
    if (fields[0] == "exit" && i + 1 == lines.size() && fields.size() == 2) {
      const std::optional<int> status = Number(fields[1]);
      if (!status || *status < AllChecked || *status > NoRunPossible) return std::nullopt;
      reply.status = *status;
      return reply;
    }
    const std::optional<Event::Kind> kind = KindNamed(fields[0]);
    if (!kind) return std::nullopt;
    Event event{*kind, {}, {}, 0};
    std::optional<std::string> text;
    if (*kind == Event::Kind::Box && fields.size() == 4) {
      const std::optional<int> style = Number(fields[1]);
      std::optional<std::string> title = UnescapeLine(fields[2]);
      if (!style || !title) return std::nullopt;
      event.style = *style;
      event.title = std::move(*title);
      text = UnescapeLine(fields[3]);
    } else if (*kind != Event::Kind::Box && fields.size() == 2) {
      text = UnescapeLine(fields[1]);
      if (*kind == Event::Kind::Added && text && !Number(*text)) return std::nullopt;
    }
    if (!text) return std::nullopt;
    event.text = std::move(*text);
    reply.events.push_back(std::move(event));
  }
  return std::nullopt;  // no status: the reader ended halfway
}

int CheckAll(TreeControl& tree) {
  if (tree.Count() == 0) return AllChecked;
  mAppFunctions::CheckOutcome outcome;
  // Refused only offline here: the callers never start it beside another run.
  if (!mAppFunctions::CheckTrigger(tree, true, &outcome)) return NoRunPossible;
  return outcome.failed > 0 || outcome.stopped > 0 ? SomeFailed : AllChecked;
}

Reply Run(TreeControl& tree) {
  Reply reply;
  if (tree.Count() == 0) {
    reply.status = AllChecked;
    return reply;
  }
  // Offline an automatic run says nothing; the command says what a check of its own would.
  if (!mGeneralFunctions::IsConnected()) {
    reply.events.push_back({Event::Kind::Box, mAppFunctions::kOfflineText,
                            mAppFunctions::kOfflineTitle, Services::vbExclamation});
    return reply;
  }
  mAppFunctions::CheckOutcome outcome;
  if (!mAppFunctions::CheckTrigger(tree, true, &outcome, mAppFunctions::CheckMode::Automatic))
    return reply;
  {
    // The boxes a check of its own would have shown, from the same words.
    BoxCatcher boxes;
    for (const mAppFunctions::SourceFailure& failed : outcome.failures)
      mAppFunctions::ShowFailureBox(failed);
    reply.events = std::move(boxes.events);
  }
  if (!mGeneralFunctions::IsBlank(outcome.summary))
    reply.events.push_back({Event::Kind::Summary, outcome.summary, {}, 0});
  reply.status = outcome.failed > 0 || outcome.stopped > 0 ? SomeFailed : AllChecked;
  return reply;
}

Reply Import(TreeControl& tree, const std::vector<Outline>& outlines) {
  std::vector<Opml::Outline> list;
  list.reserve(outlines.size());
  for (const Outline& outline : outlines) list.push_back({outline.title, outline.link});
  const Opml::ImportResult result = Opml::Import(list);
  if (!result.added.empty()) mSubscriptions::LoadSubscriptions(tree);
  Reply reply;
  for (const Opml::Skipped& skipped : result.skipped)
    reply.events.push_back({Event::Kind::Skipped, Opml::SkippedLine(skipped), {}, 0});
  reply.events.push_back({Event::Kind::Added, std::to_string(result.added.size()), {}, 0});
  if (result.status == Opml::FileFailed)
    reply.events.push_back({Event::Kind::Error, result.error, {}, 0});
  reply.status = result.status;
  return reply;
}

Reply BusyReply(const std::string& text, const std::string& title) {
  return {{{Event::Kind::Box, text, title, Services::vbExclamation}}, NoRunPossible};
}

Reply SyncReply(const Sync::Report& report) {
  Reply reply;
  for (const std::string& line : report.lines)
    reply.events.push_back({Event::Kind::Skipped, line, {}, 0});
  if (!report.failed) {
    std::vector<std::string> changed;
    if (!report.inboxesChanged.empty())
      changed.push_back("the messages of " + std::to_string(report.inboxesChanged.size()) +
                        (report.inboxesChanged.size() == 1 ? " source" : " sources"));
    if (report.subscriptionsChanged) changed.push_back("the subscriptions");
    if (report.searchesChanged) changed.push_back("the saved searches");
    std::string text = "Merged with the sync folder";
    for (std::size_t i = 0; i < changed.size(); ++i)
      text += (i == 0 ? ": " : i + 1 == changed.size() ? " and " : ", ") + changed[i];
    text += changed.empty() ? "; nothing new from the other machines." : " changed.";
    reply.events.push_back({Event::Kind::Summary, text, {}, 0});
  }
  reply.status = report.ExitStatus();
  return reply;
}

}  // namespace ForwardedCheck

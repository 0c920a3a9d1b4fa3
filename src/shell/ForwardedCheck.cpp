#include "shell/ForwardedCheck.h"

#include "core/AsciiText.h"
#include "core/Services.h"
#include "core/TreeControl.h"
#include "retrieval/CheckRun.h"

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

// The run's boxes and summary go into the reply; its busy window shows nowhere.
class Capture : public Services::IMessageBox, public Services::IProgress, public Services::IClock {
 public:
  explicit Capture(std::function<bool()> userEventsRunning)
      : m_userEventsRunning(std::move(userEventsRunning)), m_saved(Services::Current()) {
    auto& registry = Services::Current();
    registry.messageBox = this;
    registry.progress = this;
    registry.clock = this;
  }
  ~Capture() override {
    auto& registry = Services::Current();
    registry.messageBox = m_saved.messageBox;
    registry.progress = m_saved.progress;
    registry.clock = m_saved.clock;
  }
  Capture(const Capture&) = delete;
  Capture& operator=(const Capture&) = delete;

  int Show(const std::string& text, const std::string& title, int style) override {
    if (m_eventRounds > 0 || (m_userEventsRunning && m_userEventsRunning()))
      return m_saved.messageBox->Show(text, title, style);
    reply.events.push_back({true, text, title, style});
    return Services::DefaultAnswer(style);
  }
  void Alert(const std::string& summary) override {
    reply.events.push_back({false, summary, {}, 0});
    if (m_saved.progress) m_saved.progress->Alert(summary);
  }
  void SetQueue(const std::vector<std::string>&) override {}
  void RemoveFirst() override {}
  void SetSource(const std::string&) override {}
  void SetStatus(const std::string&) override {}
  void Show() override {}
  void Close() override {}
  void Sleep(int milliseconds) override { m_saved.clock->Sleep(milliseconds); }
  void ProcessEvents() override {
    ++m_eventRounds;
    m_saved.clock->ProcessEvents();
    --m_eventRounds;
  }
  std::int64_t NowMs() override { return m_saved.clock->NowMs(); }

  Reply reply;

 private:
  std::function<bool()> m_userEventsRunning;
  Services::Registry m_saved;
  int m_eventRounds = 0;
};

}  // namespace

RequestState ReadRequest(std::string_view received) {
  if (received == kRequest) return RequestState::Complete;
  return kRequest.starts_with(received) ? RequestState::Partial : RequestState::Refused;
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
    if (event.isBox) {
      out += "box\t" + std::to_string(event.style) + "\t" + AsciiText::Escaped(event.title) +
             "\t" + AsciiText::Escaped(event.text) + "\n";
    } else {
      out += "summary\t" + AsciiText::Escaped(event.text) + "\n";
    }
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
    if (fields[0] == "summary" && fields.size() == 2) {
      std::optional<std::string> text = UnescapeLine(fields[1]);
      if (!text) return std::nullopt;
      reply.events.push_back({false, std::move(*text), {}, 0});
    } else if (fields[0] == "box" && fields.size() == 4) {
      const std::optional<int> style = Number(fields[1]);
      std::optional<std::string> title = UnescapeLine(fields[2]);
      std::optional<std::string> text = UnescapeLine(fields[3]);
      if (!style || !title || !text) return std::nullopt;
      reply.events.push_back({true, std::move(*text), std::move(*title), *style});
    } else {
      return std::nullopt;
    }
  }
  return std::nullopt;  // no status: the reader ended halfway
}

int CheckAll(TreeControl& tree) {
  if (tree.Count() == 0) return AllChecked;
  mAppFunctions::CheckOutcome outcome;
  // Refused only offline here: the callers never start it beside another run.
  if (!mAppFunctions::CheckTrigger(tree, true, &outcome)) return NoRunPossible;
  return outcome.failed > 0 ? SomeFailed : AllChecked;
}

Reply Run(TreeControl& tree, const std::function<bool()>& userEventsRunning) {
  Capture capture(userEventsRunning);
  capture.reply.status = CheckAll(tree);
  return std::move(capture.reply);
}

}  // namespace ForwardedCheck

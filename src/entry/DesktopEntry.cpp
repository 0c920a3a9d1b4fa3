#include "entry/DesktopEntry.h"

#include "archive/SavedSearches.h"
#include "core/mAppFunctions.h"
#include "core/TreeModel.h"
#include "core/mGeneralFunctions.h"
#include "entry/HeadlessCheck.h"
#include "entry/OpmlCommand.h"
#include "entry/SearchCommand.h"
#include "entry/ServiceSetup.h"
#include "entry/SyncCommand.h"
#include "entry/mMain.h"
#include "inbox/UnreadCounts.h"
#include "presentation/frmOptions.h"
#include "shell/AppServices.h"
#include "shell/QuitSignals.h"
#include "shell/frmMain.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QLoggingCategory>
#include <QTimer>
#include <QTreeView>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
#include <memory>
#include <optional>

namespace DesktopEntry {

namespace {
// Made before the main window and ended after it: the windows are handed what they need of it.
std::unique_ptr<AppServices> g_services;
std::unique_ptr<frmMain> g_mainWindow;

// The whole argument text, as the main window's "-s" rule reads it.
std::string ArgumentText(int argc, char** argv) {
  std::string text;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) text += ' ';
    text += argv[i];
  }
  return text;
}

// With QUILLPOST_BENCH_TIMING set, the benchmarks learn from lines on standard error when the
// message tree was first drawn with every source's count ("filled", in ms since 1970), and how
// long a source took from the key press or click that unfolded it until its messages were
// drawn.
class BenchTiming : public QObject {
 public:
  static void Start(QObject* owner) {
    const char* wanted = std::getenv("QUILLPOST_BENCH_TIMING");
    auto* options = owner->findChild<frmOptions*>();
    if (wanted && *wanted && options) new BenchTiming(*options, owner);
  }

 private:
  BenchTiming(frmOptions& options, QObject* owner) : QObject(owner), m_options(options) {
    m_options.TreeView()->installEventFilter(this);
    m_options.TreeView()->viewport()->installEventFilter(this);
    connect(&m_options.Model(), &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex& parent, int first, int last) {
              if (parent.isValid()) m_rows += last - first + 1;
            });
    // The last counts may belong to rows out of sight, which are not drawn again: once all are
    // known, the tree is drawn once more.
    auto* poll = new QTimer(this);
    connect(poll, &QTimer::timeout, this, [this, poll] {
      if (m_options.Counts().Pending() > 0) return;
      poll->stop();
      m_options.TreeView()->viewport()->update();
    });
    poll->start(10);
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    const QEvent::Type type = event->type();
    if (type == QEvent::KeyPress || type == QEvent::MouseButtonPress) {
      m_pressed.start();
      m_rows = 0;
    } else if (type == QEvent::Paint && watched == m_options.TreeView()->viewport()) {
      // Reported once the paint is done.
      if (!m_filled && m_options.Counts().Pending() == 0) {
        m_filled = true;
        QTimer::singleShot(0, this, [] {
          std::fprintf(stderr, "quillpost-timing filled %lld\n",
                       static_cast<long long>(QDateTime::currentMSecsSinceEpoch()));
        });
      }
      if (m_rows > 0 && m_pressed.isValid()) {
        QTimer::singleShot(0, this, [this, rows = m_rows] {
          std::fprintf(stderr, "quillpost-timing unfolded %d messages in %lld ms\n", rows,
                       static_cast<long long>(m_pressed.elapsed()));
        });
        m_rows = 0;
      }
    }
    return false;
  }

  frmOptions& m_options;
  QElapsedTimer m_pressed;
  int m_rows = 0;
  bool m_filled = false;
};

void LoadMainWindow(const std::string& arguments) {
  g_services = std::make_unique<AppServices>();
  g_mainWindow = std::make_unique<frmMain>(*g_services);
  // The run ends with the main window's unload, not with its last visible window: while it
  // sits in the tray, closing a message box must not end the program.
  QObject::connect(g_mainWindow.get(), &frmMain::Unloaded, qApp, &QCoreApplication::quit,
                   Qt::QueuedConnection);
  g_mainWindow->Form_Load(arguments);
  g_services->StartSync();
  BenchTiming::Start(g_mainWindow.get());
  g_mainWindow->ListenForChecks(mMain::SocketFile());
}

// A reader that answers connects at once; one that is busy checking answers when it is done.
constexpr int kConnectMs = 2'000;
constexpr int kLongestRunMs = 2 * 60 * 60'000;
// After Ctrl+C the reader's answer, with the stop in it, is waited for this long.
constexpr int kAnswerAfterStopMs = 5'000;

volatile std::sig_atomic_t g_interrupted = 0;
extern "C" void Interrupted(int) { g_interrupted = 1; }

// Ctrl+C and SIGTERM while the command waits for the reader: they stop its run there.
class InterruptScope {
 public:
  InterruptScope() {
    struct sigaction action {};
    action.sa_handler = &Interrupted;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < 2; ++i) ::sigaction(kSignals[i], &action, &m_previous[i]);
  }
  ~InterruptScope() {
    for (int i = 0; i < 2; ++i) ::sigaction(kSignals[i], &m_previous[i], nullptr);
  }
  InterruptScope(const InterruptScope&) = delete;
  InterruptScope& operator=(const InterruptScope&) = delete;

 private:
  static constexpr int kSignals[2] = {SIGINT, SIGTERM};
  struct sigaction m_previous[2] {};
};

// Sends the request and reads the reply until the reader closes the connection. A second
// request is never sent: the reader carries the first out, however long it takes.
std::optional<std::string> AskReader(const std::string& request) {
  QLocalSocket socket;
  socket.connectToServer(QString::fromStdString(mMain::SocketFile()));
  if (!socket.waitForConnected(kConnectMs)) return std::nullopt;
  // Only a check can be stopped halfway; an import is carried out whole, or not at all.
  const bool stoppable = request == ForwardedCheck::kCheckRequest;
  std::optional<InterruptScope> interrupts;
  if (stoppable) interrupts.emplace();
  socket.write(request.data(), static_cast<qint64>(request.size()));
  QByteArray answer;
  QDeadlineTimer deadline(kLongestRunMs);
  bool stopSent = false;
  while (socket.state() == QLocalSocket::ConnectedState && !deadline.hasExpired()) {
    if (g_interrupted && stoppable && !stopSent) {
      stopSent = true;
      socket.write(ForwardedCheck::kStopRequest.data(),
                   static_cast<qint64>(ForwardedCheck::kStopRequest.size()));
      socket.flush();
      deadline = QDeadlineTimer(kAnswerAfterStopMs);
    }
    socket.waitForReadyRead(100);
    answer += socket.readAll();
  }
  answer += socket.readAll();
  // Interrupted and no whole answer: the run was stopped all the same.
  if (stopSent && !ForwardedCheck::ReadReply(answer.toStdString()))
    return ForwardedCheck::WriteReply({{}, ForwardedCheck::SomeFailed});
  return answer.toStdString();
}

// A second desktop start: the reader is asked to show its window. The session's autostart ("-s")
// only needs to know that a reader is there.
mMain::Reader AskReaderToShow(bool quietly) {
  QLocalSocket socket;
  socket.connectToServer(QString::fromStdString(mMain::SocketFile()));
  if (!socket.waitForConnected(kConnectMs)) return mMain::Reader::None;
  if (quietly) return mMain::Reader::Answered;
  socket.write(ForwardedCheck::kShowRequest.data(),
               static_cast<qint64>(ForwardedCheck::kShowRequest.size()));
  QByteArray answer;
  const QDeadlineTimer deadline(mMain::kReaderAnswerMs);
  while (socket.state() == QLocalSocket::ConnectedState && !deadline.hasExpired()) {
    socket.waitForReadyRead(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
    answer += socket.readAll();
  }
  answer += socket.readAll();
  return ForwardedCheck::ReadReply(answer.toStdString()) ? mMain::Reader::Answered
                                                         : mMain::Reader::Silent;
}

// Without a session bus address, D-Bus libraries would start a bus of their own ("autolaunch"),
// leaving a process and files behind in the home folder: use the user's bus where it is, and no
// bus at all otherwise.
void UseSessionBusOnlyWhereItIs() {
  const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (address && *address) return;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  struct stat info {};
  if (runtime && *runtime) {
    const std::string socket = std::string(runtime) + "/bus";
    if (::stat(socket.c_str(), &info) == 0 && S_ISSOCK(info.st_mode) && info.st_uid == ::geteuid()) {
      ::setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + socket).c_str(), 1);
      return;
    }
  }
  ::setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
}

enum class Mode {
  Desktop,
  Check,
  Help,
  Version,
  BadArguments,
  ExportOpml,
  ImportOpml,
  Search,
  Sync
};

// "-s" is the system's own switch, taken as the whole argument text; the parser sees only the
// switches we add, which all begin with "--", and the file names that follow the OPML ones.
Mode ParseArguments(int argc, char** argv, QString& error, QString& opmlFile) {
  QStringList arguments{QStringLiteral("quillpost")};
  bool any = false;
  for (int i = 1; i < argc; ++i) {
    const QString arg = QString::fromLocal8Bit(argv[i]);
    if (arg.startsWith(QLatin1String("--")) || arg == QLatin1String("-h")) {
      arguments << arg;
      any = true;
      if ((arg == QLatin1String("--export-opml") || arg == QLatin1String("--import-opml")) &&
          i + 1 < argc)
        arguments << QString::fromLocal8Bit(argv[++i]);
      // The query may begin with "-" ("-word" excludes a word): attached, it stays a value.
      if (arg == QLatin1String("--search") && i + 1 < argc)
        arguments.back() += QLatin1Char('=') + QString::fromLocal8Bit(argv[++i]);
    }
  }
  if (!any) return Mode::Desktop;
  QCommandLineParser parser;
  const QCommandLineOption check(QStringLiteral("check"));
  const QCommandLineOption sync(QStringLiteral("sync"));
  const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
  const QCommandLineOption version(QStringLiteral("version"));
  parser.addOptions({check, sync, help, version});
  // The OPML switches, each with the file it reads or writes.
  const QCommandLineOption exportOpml(QStringLiteral("export-opml"), QString(), QStringLiteral("file"));
  const QCommandLineOption importOpml(QStringLiteral("import-opml"), QString(), QStringLiteral("file"));
  parser.addOptions({exportOpml, importOpml});
  const QCommandLineOption search(QStringLiteral("search"), QString(), QStringLiteral("query"));
  parser.addOption(search);
  if (!parser.parse(arguments)) {
    error = parser.errorText();
    return Mode::BadArguments;
  }
  if (parser.isSet(exportOpml) && parser.isSet(importOpml)) {
    error = QStringLiteral("--export-opml and --import-opml cannot be given together.");
    return Mode::BadArguments;
  }
  if (parser.isSet(exportOpml) || parser.isSet(importOpml)) {
    opmlFile = parser.value(parser.isSet(exportOpml) ? exportOpml : importOpml);
    if (!parser.isSet(help) && !parser.isSet(version))
      return parser.isSet(exportOpml) ? Mode::ExportOpml : Mode::ImportOpml;
  }
  if (parser.isSet(help)) return Mode::Help;
  if (parser.isSet(version)) return Mode::Version;
  if (parser.isSet(search)) opmlFile = parser.value(search);  // the query
  if (parser.isSet(search)) return Mode::Search;
  if (parser.isSet(check) && parser.isSet(sync)) {
    error = QStringLiteral("--check and --sync cannot be given together (a check merges too).");
    return Mode::BadArguments;
  }
  if (parser.isSet(check)) return Mode::Check;
  if (parser.isSet(sync)) return Mode::Sync;
  return Mode::Desktop;
}

const char* kUsage =
    "Usage: quillpost [-s | --check | --sync | --export-opml FILE | --import-opml FILE |\n"
    "                  --search QUERY | --help | --version]\n"
    "\n"
    "  (no switch)  start the reader; when it runs already, show its window\n"
    "  -s           start with only the notification-area icon\n"
    "  --check      check all sources for new messages without any window, then exit;\n"
    "               a reader running on the same data does the check and --check waits\n"
    "               for it (Ctrl+C stops it there); the summary goes to standard output,\n"
    "               messages to standard error; exit status 0: all sources checked,\n"
    "               1: some source failed or the check was stopped, 2: no check possible\n"
    "               (another check or the reader busy for over a minute, subscription\n"
    "               file missing or damaged, offline); with a sync folder set, it\n"
    "               merges with it before and after\n"
    "  --sync       merge once with the sync folder (Preferences), then exit; a reader\n"
    "               running on the same data merges and --sync waits for it; files\n"
    "               skipped and items refused are named on standard error; exit status\n"
    "               0: merged, 1: merged but some items refused, 2: error (sync off,\n"
    "               the folder unusable, the data folder busy)\n"
    "  --export-opml FILE\n"
    "               write the subscribed sources to FILE as OPML 2.0, then exit\n"
    "  --import-opml FILE\n"
    "               subscribe to the sources FILE lists, as the Subscribe dialog would,\n"
    "               then exit (a running reader does it and shows them); each outline\n"
    "               not added is named on standard error\n"
    "               exit status of both: 0 all went well, 1 some outlines were skipped,\n"
    "               2 the file could not be read or written\n"
    "  --search QUERY\n"
    "               print the messages QUERY finds, newest first, one a line:\n"
    "               YYYY-MM-DD<TAB>source title<TAB>message title; words must all\n"
    "               occur, \"a phrase\", word*, -word, source:TITLE, is:unread, is:read,\n"
    "               after:YYYY-MM-DD, before:YYYY-MM-DD; the index is brought up to\n"
    "               date first (progress on standard error); exit status 0: found,\n"
    "               1: nothing found, 2: no search possible\n"
    "  --help       show this text\n"
    "  --version    show the version\n";

int RunOpml(int argc, char** argv, Mode mode, const QString& file) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("Quillpost"));
  ServiceSetup::InstallHeadless();
  const std::string path = file.toStdString();
  return mode == Mode::ExportOpml ? OpmlCommand::Export(path, std::cout, std::cerr)
                                  : OpmlCommand::Import(path, std::cout, std::cerr, AskReader);
}

int RunHeadlessCheck(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("Quillpost"));
  ServiceSetup::InstallHeadless();
  const SearchCommand::IndexKeeper index;
  // Saved searches' rules apply to what this check stores, as in the reader.
  std::map<std::string, std::string> titles;
  for (const Archive::SourceRef& source :
       SearchCommand::Sources().value_or(std::vector<Archive::SourceRef>{}))
    titles.emplace(source.id, source.title);
  Archive::SearchRules rules([&titles](const std::string& id) {
    const auto found = titles.find(id);
    return found == titles.end() ? std::string() : found->second;
  });
  mInbox::AddArrivalRules(&rules);
  const int status = HeadlessCheck::Run(std::cout, AskReader, [](const std::string& line) {
    qDebug("%s", line.c_str());
  });
  mInbox::RemoveArrivalRules(&rules);
  return status;
}

int RunSync(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("Quillpost"));
  ServiceSetup::InstallHeadless();
  const SearchCommand::IndexKeeper index;
  return SyncCommand::Run(std::cout, std::cerr, AskReader);
}

int RunSearch(const QString& query) {
  ServiceSetup::InstallFilesOnly();
  return SearchCommand::Run(query.toStdString(), std::cout, std::cerr);
}

}  // namespace

int Run(int argc, char** argv) {
  QString error;
  QString opmlFile;
  const Mode mode = ParseArguments(argc, argv, error, opmlFile);
  switch (mode) {
    case Mode::Help:
      std::fputs(kUsage, stdout);
      return 0;
    case Mode::Version:
      std::printf("Quillpost %s\n",
                  mGeneralFunctions::FormatBuild(QP_VERSION_MAJOR, QP_VERSION_MINOR,
                                                 QP_VERSION_REVISION, true, true)
                      .c_str());
      return 0;
    case Mode::BadArguments:
      std::fprintf(stderr, "%s\n%s", qPrintable(error), kUsage);
      return 2;
    case Mode::Check:
      return RunHeadlessCheck(argc, argv);
    case Mode::Sync:
      return RunSync(argc, argv);
    case Mode::ExportOpml:
    case Mode::ImportOpml:
      return RunOpml(argc, argv, mode, opmlFile);
    case Mode::Search:
      return RunSearch(opmlFile);
    case Mode::Desktop:
      break;
  }

  // The web view's sandbox refuses to start as root; a normal user keeps it.
  if (::geteuid() == 0) ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
  UseSessionBusOnlyWhereItIs();

  // The web view comes in a module loaded with the first message; the web engine then needs the
  // shared OpenGL context that only exists when asked for before the application starts.
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  // The web engine describes its graphics set-up on standard error at every start, says so when
  // its sandbox is off (as root; uncategorised info) and copies each page's console lines ("js");
  // a user who wants them sets QT_LOGGING_RULES, which wins over this.
  QLoggingCategory::setFilterRules(
      QStringLiteral("qt.webenginecontext.info=false\ndefault.info=false\njs=false"));
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quillpost"));
  QApplication::setQuitOnLastWindowClosed(false);
  ServiceSetup::InstallDesktop();
  mAppFunctions::RemoveStaleCaches();

  const std::string arguments = ArgumentText(argc, argv);
  const mMain::Start start = mMain::Main([&arguments] { LoadMainWindow(arguments); },
                                         [&arguments] { return AskReaderToShow(arguments == "-s"); });
  if (start != mMain::Start::Run) return start == mMain::Start::Done ? 0 : 1;
  // Ended by a signal as by Exit, so that the services below keep what the next start needs;
  // kept until they are done.
  const QuitSignals quit([] { g_mainWindow->Exit(); });
  const int status = app.exec();
  g_mainWindow.reset();
  g_services.reset();
  return status;
}

}  // namespace DesktopEntry

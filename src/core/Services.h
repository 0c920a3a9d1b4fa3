#pragma once
// The few things the logic needs from the desktop, as small interfaces. The program installs
// Qt/POSIX implementations at start; tests install fakes (tests/support/FakeServices.h).

#include "core/FileStamp.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace Services {

// Message-box styles, by their usual numbers; combine by adding.
enum MsgStyle : int {
  vbOKOnly = 0,
  vbYesNo = 4,
  vbCritical = 16,
  vbQuestion = 32,
  vbExclamation = 48,
  vbInformation = 64,
  vbDefaultButton2 = 256,
};
// Yes/No with the question icon and No as the default button.
constexpr int vbYesNoQuestionDefaultNo = vbYesNo + vbQuestion + vbDefaultButton2;  // 292

// Answers of a message box.
enum MsgAnswer : int { vbOK = 1, vbCancel = 2, vbYes = 6, vbNo = 7 };

// The answer of a box of that style when nobody is there to choose: its default button.
int DefaultAnswer(int style);

class IMessageBox {
 public:
  virtual ~IMessageBox() = default;
  // Shows a modal box and returns the answer (vbOK, vbYes, vbNo).
  virtual int Show(const std::string& text, const std::string& title, int style) = 0;
};

class IShell {
 public:
  using FailureHandler = std::function<void(const std::string& reason)>;
  virtual ~IShell() = default;
  // Opens a document, a web address or a "mailto:" address with the desktop's default program.
  // When the desktop cannot (no program for it, or that program failed), onFailure gets the
  // reason: at once, or later, once the desktop has answered.
  virtual void Open(const std::string& target, const FailureHandler& onFailure) = 0;
};

class IEnvironment {
 public:
  virtual ~IEnvironment() = default;
  // The user's application-data folder without a trailing separator; empty when unknown.
  virtual std::string AppDataFolder() = 0;
  // The folder of the running executable, without a trailing separator.
  virtual std::string ProgramFolder() = 0;
  // The executable's file name as the system reports it.
  virtual std::string ExecutableName() = 0;
  // The user's configuration folder ($XDG_CONFIG_HOME, else ~/.config) without a trailing
  // separator; empty when unknown.
  virtual std::string ConfigFolder() = 0;
  // The user's cache folder ($XDG_CACHE_HOME, else ~/.cache) without a trailing separator; empty
  // when unknown.
  virtual std::string CacheFolder() = 0;
  // Whether files can be created and renamed in the folder; false for a missing one.
  virtual bool IsWritableFolder(const std::string& folder) = 0;
};

class INetworkState {
 public:
  virtual ~INetworkState() = default;
  virtual bool IsConnected() = 0;
};

class IClock {
 public:
  virtual ~IClock() = default;
  virtual void Sleep(int milliseconds) = 0;
  // Lets pending window events run (a no-op without a user interface).
  virtual void ProcessEvents() = 0;
  // The wall clock, in milliseconds since 1970. It may jump (a changed clock, a machine waking
  // from sleep); callers that schedule by it must allow for that.
  virtual std::int64_t NowMs();
};

class IInstanceLock {
 public:
  virtual ~IInstanceLock() = default;
  // Takes the lock held in that file and keeps it until the process ends (taking it again is
  // no error). False when another process holds it.
  virtual bool TryAcquire(const std::string& lockFile) = 0;
};

class IRandom {
 public:
  virtual ~IRandom() = default;
  // Fills the buffer with random bytes; false when the system has none to give.
  virtual bool Fill(std::uint8_t* bytes, std::size_t count) = 0;
};

class IStartup {
 public:
  virtual ~IStartup() = default;
  // Registers the command to run when the user's session starts, under that name.
  virtual bool SetCommand(const std::string& name, const std::string& command) = 0;
  // Removes the registration of that name; a missing one is no error.
  virtual bool Remove(const std::string& name) = 0;
};

class IDiskSync {
 public:
  virtual ~IDiskSync() = default;
  // Pushes a written file's data to the disk before it replaces another.
  virtual void Flush(const std::string& path) = 0;
};

class IFileStamps {
 public:
  virtual ~IFileStamps() = default;
  // The stamp of the file at a path; a missing or unreadable file has exists false and zeros.
  // Called from worker threads too.
  virtual FileStamp Stamp(const std::string& path) = 0;
};

class IWindowSystem {
 public:
  virtual ~IWindowSystem() = default;
  // Whether windows can be made translucent here.
  virtual bool OpacitySupported() = 0;
};

// Feed transfers. Several may be under way at once; each is started, waited for while window
// events run, and taken (or aborted) by its id.
class IHttp {
 public:
  struct Request {
    std::string url;
    // The validators of the last answer stored; when set, sent as If-None-Match and
    // If-Modified-Since, so that an unchanged feed answers 304 without a body.
    std::string etag{};
    std::string lastModified{};
  };
  struct Result {
    // True when the transfer completed with a 2xx status, or with 304 to a conditional request.
    bool ok = false;
    int status = 0;            // HTTP status, 0 when none arrived
    std::string text;          // the body decoded to UTF-8; empty unless ok
    std::string error;         // a short reason when not ok
    bool notModified = false;  // a 304 to the validators sent: nothing new, no body
    std::string etag{};        // the validators of a 2xx answer, as the server sent them
    std::string lastModified{};
    std::string date{};  // its Date, as sent: when the server made the answer
  };
  using TransferId = std::uint64_t;

  virtual ~IHttp() = default;
  // Starts fetching the link. onState gets the transfer's state codes (1..12) as they are
  // reached, while window events run.
  virtual TransferId Start(const Request& request, std::function<void(int)> onState) = 0;
  // True once the transfer has ended, with an answer or a failure.
  virtual bool Finished(TransferId id) = 0;
  // The bytes of its answer the transfer holds so far (received, not yet taken).
  virtual std::size_t HeldBytes(TransferId id) = 0;
  // The result of a finished transfer, which is then forgotten.
  virtual Result Take(TransferId id) = 0;
  // Ends a transfer at once and forgets it; it reports nothing more. Unknown ids are ignored.
  virtual void Abort(TransferId id) = 0;
  // Lets window events run until a transfer finishes or is aborted; returns at once when none is
  // under way.
  virtual void WaitForAny() = 0;

  // One transfer to its end.
  Result FetchText(const std::string& url, const std::function<void(int)>& onState);
};

// The busy window of a check run and the notice at its end.
class IProgress {
 public:
  virtual ~IProgress() = default;
  virtual void SetQueue(const std::vector<std::string>& titles) = 0;
  virtual void RemoveFirst() = 0;
  virtual void SetSource(const std::string& title) = 0;
  virtual void SetStatus(const std::string& text) = 0;
  virtual void Show() = 0;
  virtual void Close() = 0;
  // Shows the run's summary near the notification area for a few seconds.
  virtual void Alert(const std::string& summary) = 0;
};

// A modal save-as dialog.
class ISaveDialog {
 public:
  struct Request {
    std::string title;
    std::string defaultExtension;  // added to a name typed without one, e.g. "htm"
    std::string fileName;          // proposed name
    std::string filter;            // "Description|*.a;*.b", pairs separated by "|"
    int flags = 0;                 // 2: ask before replacing an existing file
  };
  virtual ~ISaveDialog() = default;
  // The chosen path, or an empty text when the user cancelled.
  virtual std::string AskSaveFile(const Request& request) = 0;
};

// The installed services. A missing one is a programming error and throws std::logic_error,
// except the disk sync, which is optional.
struct Registry {
  IMessageBox* messageBox = nullptr;
  IShell* shell = nullptr;
  IEnvironment* environment = nullptr;
  INetworkState* network = nullptr;
  IClock* clock = nullptr;
  IInstanceLock* instanceLock = nullptr;
  IRandom* random = nullptr;
  IStartup* startup = nullptr;
  IDiskSync* diskSync = nullptr;
  IFileStamps* fileStamps = nullptr;
  IWindowSystem* windowSystem = nullptr;
  IHttp* http = nullptr;
  IProgress* progress = nullptr;
  ISaveDialog* saveDialog = nullptr;
};

Registry& Current();

IMessageBox& MessageBox();
IShell& Shell();
IEnvironment& Environment();
INetworkState& Network();
IClock& Clock();
IInstanceLock& InstanceLock();
IRandom& Random();
IStartup& Startup();
IFileStamps& FileStamps();
IWindowSystem& WindowSystem();
IHttp& Http();
IProgress& Progress();
ISaveDialog& SaveDialog();
IDiskSync* DiskSync();

}  // namespace Services

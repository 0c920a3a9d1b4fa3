// How long a newsletter takes to open: from the request to the page loaded in the message view,
// with the web engine already started. Each message of the newsletter corpus is stored in an
// inbox and opened as ShowMessage opens it (load from the inbox, header, template, item.htm, the
// document window's view), once fitted and once as sent (the rendering before fitting), in
// alternating order, for a number of rounds. Pictures are off, as for a source the user has not
// allowed them for. Reports per message and overall the median and the 95th percentile of each,
// and their ratio.
//
//   xvfb-run -a qp_newsletter_bench [--rounds N]   (or QT_QPA_PLATFORM=offscreen)

#include "core/PosixServices.h"
#include "core/Services.h"
#include "core/mAppFunctions.h"
#include "core/mGeneralFunctions.h"
#include "inbox/mInbox.h"
#include "presentation/MessageRendering.h"
#include "presentation/frmDoc.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QWebEngineView>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::string kSource = "0A1B2C3D-4E5F-4071-8293-A4B5C6D7E8F9";

// The program folder is the build's: the template and the web view module lie there.
class BenchEnvironment : public PosixServices::Environment {
 public:
  std::string ProgramFolder() override { return QP_PROGRAM_DIR; }
};

class QuietBox : public Services::IMessageBox {
 public:
  int Show(const std::string& text, const std::string& title, int) override {
    std::cerr << title << ": " << text << "\n";
    return Services::vbOK;
  }
};

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

double Percentile(std::vector<double> values, double share) {
  std::sort(values.begin(), values.end());
  const std::size_t at =
      std::min(values.size() - 1, std::size_t(share * double(values.size() - 1) + 0.5));
  return values[at];
}

// Opens the message as ShowMessage does, fitted or not; milliseconds until the page is loaded.
double Open(frmDoc& doc, const std::string& guid, bool fit) {
  QElapsedTimer timer;
  timer.start();
  mInbox::SourceID = kSource;
  mInbox::CurrentItem.guid = guid;
  if (!mInbox::ManageInboxItem(static_cast<int>(mInbox::InboxAction::Load))) std::abort();
  const std::string templatePath = mGeneralFunctions::AddBackslash(QP_PROGRAM_DIR) +
                                   std::string(MessageRendering::kTemplateName);
  const std::string page =
      MessageRendering::RenderPage(mGeneralFunctions::ReadTextFile(templatePath),
                                   MessageRendering::HeaderOf(mInbox::CurrentItem), false, fit);
  const std::string pagePath = mGeneralFunctions::AddBackslash(mAppFunctions::DataPath) +
                               std::string(MessageRendering::kPageName);
  if (!mGeneralFunctions::WriteTextFile(pagePath, page)) std::abort();
  QEventLoop loop;
  auto* view = qobject_cast<QWebEngineView*>(doc.ucBrowser());
  QObject::connect(view, &QWebEngineView::loadFinished, &loop, &QEventLoop::quit);
  QTimer::singleShot(30000, &loop, &QEventLoop::quit);
  doc.Navigate(pagePath);
  loop.exec();
  return double(timer.nsecsElapsed()) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 10;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--rounds" && i + 1 < argc) {
      rounds = std::max(1, std::atoi(argv[++i]));
    } else {
      std::cerr << "usage: qp_newsletter_bench [--rounds N]\n";
      return 2;
    }
  }
  if (::geteuid() == 0) ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);

  BenchEnvironment environment;
  QuietBox box;
  Services::Current().environment = &environment;
  Services::Current().messageBox = &box;
  const fs::path data =
      fs::temp_directory_path() / ("qp-newsletter-bench-" + std::to_string(::getpid()));
  fs::create_directories(data);
  mAppFunctions::DataPath = data.string();

  // The corpus as one source's inbox, in file order.
  std::vector<std::string> names;
  std::vector<mInbox::InboxItem> items;
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(QP_NEWSLETTER_CORPUS))
    files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  for (const fs::path& file : files) {
    mInbox::InboxItem item;
    item.guid = file.stem().string();
    item.title = "Letter " + item.guid;
    item.description =
        "<!-- header start: <p>From: &quot;Town Desk&quot; &lt;desk@news.quillpost.test&gt;</p>"
        "<p>Subject: " +
        item.title +
        "</p><p>Date: Sat, 05 Dec 2026</p>"
        "<p>Reply-To: desk@news.quillpost.test</p>header end -->{letter}" +
        ReadFile(file);
    names.push_back(item.guid);
    items.push_back(std::move(item));
  }
  mInbox::SourceID = kSource;
  if (mInbox::AddNewInboxItems(items).value_or(0) != items.size()) {
    std::cerr << "qp_newsletter_bench: the corpus could not be stored in " << data << "\n";
    return 1;
  }

  frmDoc doc;
  doc.resize(480, 800);
  doc.show();
  Open(doc, names.front(), true);  // the web engine starts
  std::map<std::string, std::vector<double>> fitted, sent;
  std::vector<double> allFitted, allSent;
  for (int round = 0; round < rounds; ++round) {
    for (std::size_t m = 0; m < names.size(); ++m) {
      const bool fitFirst = (round + m) % 2 == 0;
      for (const bool fit : {fitFirst, !fitFirst}) {
        const double ms = Open(doc, names[m], fit);
        (fit ? fitted : sent)[names[m]].push_back(ms);
        (fit ? allFitted : allSent).push_back(ms);
      }
    }
  }
  std::printf("%-40s %9s %9s %9s %9s\n", "message (ms, 480-pixel column)", "fit p50", "fit p95",
              "sent p50", "sent p95");
  for (const std::string& name : names)
    std::printf("%-40s %9.1f %9.1f %9.1f %9.1f\n", name.c_str(), Percentile(fitted[name], 0.5),
                Percentile(fitted[name], 0.95), Percentile(sent[name], 0.5),
                Percentile(sent[name], 0.95));
  const double p50 = Percentile(allFitted, 0.5), p95 = Percentile(allFitted, 0.95);
  const double b50 = Percentile(allSent, 0.5), b95 = Percentile(allSent, 0.95);
  std::printf("%-40s %9.1f %9.1f %9.1f %9.1f\n", "all", p50, p95, b50, b95);
  std::printf("fitted / as sent: median %.2f, 95th percentile %.2f (%d rounds of %zu messages)\n",
              p50 / b50, p95 / b95, rounds, names.size());
  std::printf("goal: 95th percentile at most 150 ms: %s\n", p95 <= 150 ? "met" : "missed");
  std::error_code error;
  fs::remove_all(data, error);
  return 0;
}

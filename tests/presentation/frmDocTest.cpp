#include "presentation/frmDoc.h"

#include "TestPaths.h"
#include "feedserver/FeedServer.h"
#include "presentation/MessageRendering.h"
#include "support/FakeServices.h"

#include <QSignalSpy>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
// The web engine frees some of its own objects through a base of another size; our code is
// still checked for that in the logic tests.
extern "C" const char* __asan_default_options() { return "new_delete_type_mismatch=0"; }
#endif

// These are regression tests of the message page's safety: a page that ran scripts, read local
// files, loaded more than its pictures or navigated away would fail them.
namespace {

using TestSupport::WriteAll;
using Strings = std::vector<std::string>;

class frmDocTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("QT_QUICK_BACKEND", "software", 0);
    platform.environment.programFolder =
        std::filesystem::path(QP_PROGRAM_PATH).parent_path().string();
    ASSERT_TRUE(server.Listen());
  }

  std::string Page(const std::string& name, const std::string& html) {
    WriteAll(folder.File(name), html);
    return folder.File(name);
  }
  // Navigates and waits for loadFinished's verdict.
  static bool NavigateAndWait(frmDoc& doc, const std::string& path) {
    QSignalSpy loaded(WebView(doc), &QWebEngineView::loadFinished);
    doc.Navigate(path);
    return loaded.wait(60000) && loaded.first().first().toBool();
  }
  static QWebEngineView* WebView(const frmDoc& doc) {
    return qobject_cast<QWebEngineView*>(doc.ucBrowser());
  }
  Strings Asked() const {
    Strings paths;
    for (const auto& request : server.Requests()) paths.push_back(request.target.toStdString());
    return paths;
  }

  TestSupport::FakePlatform platform;
  TestSupport::TempFolder folder;
  TestSupport::FeedServer server;
};

TEST_F(frmDocTest, WebViewRunsNoScriptsAndShowsThePageAsItWasWhenOpened) {
  frmDoc doc;
  QWebEngineView* view = WebView(doc);
  ASSERT_NE(view, nullptr) << "the web view module did not load";
  using S = QWebEngineSettings;
  const QWebEngineSettings* settings = view->page()->settings();
  for (const auto attribute :
       {S::JavascriptEnabled, S::JavascriptCanOpenWindows, S::JavascriptCanAccessClipboard,
        S::LocalContentCanAccessFileUrls, S::PluginsEnabled, S::LocalStorageEnabled}) {
    EXPECT_EQ(settings->testAttribute(attribute), false) << attribute;
  }
  EXPECT_EQ(settings->testAttribute(S::LocalContentCanAccessRemoteUrls), true);
  EXPECT_EQ(view->page()->profile()->isOffTheRecord(), true);

  // The next rendering replaces the file at once; the window keeps the first page.
  const std::string path = Page("item.htm",
                                "<html><head><title>Before</title></head><body>"
                                "<script>document.title = 'Script ran';</script></body></html>");
  QSignalSpy loaded(view, &QWebEngineView::loadFinished);
  doc.Navigate(path);
  WriteAll(path, "<html><head><title>Next message</title></head></html>");
  ASSERT_TRUE(loaded.wait(60000));
  EXPECT_EQ(view->title().toStdString(), "Before");
}

TEST_F(frmDocTest, RenderedPageLoadsOnlyItsPicturesStaysAndHandsClickedLinksToTheDesktop) {
  server.Serve("/pixel.png",
               QByteArray::fromBase64("iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR4nGP4"
                                      "z8DwHwAFAAH/iZk9HQAAAABJRU5ErkJggg=="),
               "image/png");
  server.Serve("/elsewhere", "<html><head><title>Elsewhere</title></head></html>", "text/html");
  MessageRendering::MessageHeader header;
  header.Subject = "Pictures only";
  header.Body =
      "<img src=\"" + server.Url("/pixel.png") + "\"><iframe src=\"" + server.Url("/frame") +
      "\"></iframe><link rel=\"stylesheet\" href=\"" + server.Url("/style.css") +
      "\"><script src=\"" + server.Url("/script.js") +
      "\"></script><meta http-equiv=\"refresh\" content=\"0;url=" + server.Url("/elsewhere") +
      "\"><a id=\"web\" href=\"https://news.example/spring\">web</a>"
      "<a id=\"file\" href=\"file:///etc/hostname\">file</a>";
  frmDoc doc;
  QWebEngineView* view = WebView(doc);
  ASSERT_NE(view, nullptr);
  ASSERT_TRUE(NavigateAndWait(
      doc,
      Page("item.htm",
           MessageRendering::RenderPage(
               TestSupport::ReadAll(platform.environment.programFolder + "/view.tpl"), header))));
  const QUrl shown = view->url();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !server.Requests().empty(); }, 10000));
  QTest::qWait(1500);  // time for the refresh
  EXPECT_EQ(Asked(), Strings{"/pixel.png"});

  // Clicks come from the test's own script world; the page's scripts stay off.
  view->page()->runJavaScript(QStringLiteral("document.getElementById('file').click();"
                                             "document.getElementById('web').click();"),
                              QWebEngineScript::ApplicationWorld);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !platform.shell.opened.empty(); }, 10000));
  QTest::qWait(500);
  EXPECT_EQ(platform.shell.opened, Strings{"https://news.example/spring"});
  EXPECT_EQ(std::pair(view->title().toStdString(), view->url()),
            std::pair(std::string("Pictures only"), shown));
}

}  // namespace

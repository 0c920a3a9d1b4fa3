#include "presentation/frmDoc.h"

#include "TestPaths.h"
#include "presentation/MessageRendering.h"
#include "presentation/MessageView.h"
#include "support/FakeServices.h"
#include "support/FeedServer.h"

#include <QLayout>
#include <QSignalSpy>
#include <QTest>
#include <QTextBrowser>
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
// The web engine's own code frees some objects through a base of another size, which the
// address sanitizer reports as a type mismatch in every test that tears down a page. Our code
// is still checked for it in the logic tests.
extern "C" const char* __asan_default_options() { return "new_delete_type_mismatch=0"; }
#endif

namespace {

using TestSupport::WriteAll;
using Strings = std::vector<std::string>;

// The paths the server was asked for, in order.
Strings Asked(const TestSupport::FeedServer& server) {
  Strings paths;
  for (const auto& request : server.Requests()) paths.push_back(request.target.toStdString());
  return paths;
}

// A 1x1 picture.
const QByteArray kPixel = QByteArray::fromBase64(
    "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR4nGP4z8DwHwAFAAH/"
    "iZk9HQAAAABJRU5ErkJggg==");

constexpr int kLoadTimeoutMs = 60000;

class frmDocTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("QT_QUICK_BACKEND", "software", 0);
    platform.environment.programFolder =
        std::filesystem::path(QP_PROGRAM_PATH).parent_path().string();
  }

  std::string Page(const std::string& name, const std::string& html) {
    WriteAll(folder.File(name), html);
    return folder.File(name);
  }

  static QWebEngineView* WebView(const frmDoc& doc) {
    return qobject_cast<QWebEngineView*>(doc.ucBrowser());
  }

  // Navigates and waits for the page; the result is loadFinished's verdict.
  static bool NavigateAndWait(frmDoc& doc, const std::string& path) {
    QSignalSpy loaded(WebView(doc), &QWebEngineView::loadFinished);
    doc.Navigate(path);
    return loaded.wait(kLoadTimeoutMs) && loaded.first().first().toBool();
  }

  TestSupport::FakePlatform platform;
  TestSupport::TempFolder folder;
};

TEST_F(frmDocTest, WebViewRunsNoScriptsAndReadsNoOtherFiles) {
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

  ASSERT_TRUE(
      NavigateAndWait(doc, Page("script.htm",
                                "<html><head><title>Before</title></head><body><p>Text</p>"
                                "<script>document.title = 'After';</script></body></html>")));
  EXPECT_EQ(view->title().toStdString(), "Before");
}

TEST_F(frmDocTest, RenderedPageLoadsRemotePicturesAndNothingElse) {
  TestSupport::FeedServer server;
  ASSERT_TRUE(server.Listen());
  server.Serve("/pixel.png", kPixel, "image/png");
  MessageRendering::MessageHeader header;
  header.Subject = "Pictures only";
  header.Body = "<img src=\"" + server.Url("/pixel.png") + "\"><iframe src=\"" +
                server.Url("/frame") + "\"></iframe><link rel=\"stylesheet\" href=\"" +
                server.Url("/style.css") + "\"><script src=\"" + server.Url("/script.js") +
                "\"></script><img src=\"file:///etc/hostname\">";
  const std::string page = MessageRendering::RenderPage(
      TestSupport::ReadAll(platform.environment.programFolder + "/view.tpl"), header);

  frmDoc doc;
  ASSERT_NE(WebView(doc), nullptr);
  ASSERT_TRUE(NavigateAndWait(doc, Page("item.htm", page)));
  EXPECT_TRUE(QTest::qWaitFor([&] { return !server.Requests().empty(); }, 10000));
  QTest::qWait(500);
  EXPECT_EQ(Asked(server), Strings{"/pixel.png"});
  EXPECT_EQ(WebView(doc)->title().toStdString(), "Pictures only");
}

TEST_F(frmDocTest, PageCannotLeaveItselfAndLinksGoToTheDesktop) {
  TestSupport::FeedServer server;
  ASSERT_TRUE(server.Listen());
  server.Serve("/elsewhere", "<html><head><title>Elsewhere</title></head></html>", "text/html");
  frmDoc doc;
  QWebEngineView* view = WebView(doc);
  ASSERT_NE(view, nullptr);
  const std::string page =
      Page("refresh.htm",
           "<html><head><title>Letter</title><meta http-equiv=\"refresh\" "
           "content=\"0;url=" +
               server.Url("/elsewhere") +
               "\"></head><body>"
               "<a id=\"web\" href=\"https://news.example/spring\">web</a>"
               "<a id=\"file\" href=\"file:///etc/hostname\">file</a></body></html>");
  ASSERT_TRUE(NavigateAndWait(doc, page));
  const QUrl shown = view->url();
  // Time for the refresh, which would fetch the other page.
  QTest::qWait(1500);
  EXPECT_EQ(Asked(server), Strings{});

  // Clicks come from the test's own script world; the page's scripts stay off.
  view->page()->runJavaScript(QStringLiteral("document.getElementById('file').click();"
                                             "document.getElementById('web').click();"),
                              QWebEngineScript::ApplicationWorld);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !platform.shell.opened.empty(); }, 10000));
  QTest::qWait(500);
  EXPECT_EQ(platform.shell.opened, Strings{"https://news.example/spring"});
  EXPECT_EQ(view->title().toStdString(), "Letter");
  EXPECT_EQ(view->url(), shown);
}

TEST_F(frmDocTest, LaterRenderingDoesNotReachAnOpenWindow) {
  frmDoc doc;
  ASSERT_NE(WebView(doc), nullptr);
  const std::string path = Page("item.htm", "<html><head><title>First</title></head></html>");
  QSignalSpy loaded(WebView(doc), &QWebEngineView::loadFinished);
  doc.Navigate(path);
  WriteAll(path, "<html><head><title>Second</title></head></html>");
  ASSERT_TRUE(loaded.wait(kLoadTimeoutMs));
  EXPECT_EQ(WebView(doc)->title().toStdString(), "First");
}

TEST_F(frmDocTest, PlainViewFillsTheWindowAndHandsOnOnlyWebAndMailLinks) {
  EXPECT_EQ(MessageView::LoadWebFactory(folder.path()), nullptr);

  frmDoc doc(nullptr, &MessageView::TextFactory());
  EXPECT_EQ(doc.ItemID(), "");
  doc.SetItemID("guid-1");
  EXPECT_EQ(doc.ItemID(), "guid-1");
  auto* view = qobject_cast<QTextBrowser*>(doc.ucBrowser());
  ASSERT_NE(view, nullptr);
  doc.resize(420, 300);
  doc.layout()->activate();
  EXPECT_EQ(view->geometry(), doc.rect());

  doc.Navigate(Page("plain.htm", "<html><body><p>Hello reader</p></body></html>"));
  EXPECT_TRUE(view->toPlainText().contains(QStringLiteral("Hello reader")));

  for (const char* link : {"https://news.example/a", "file:///etc/passwd", "javascript:alert(1)",
                           "mailto:ann@news.example", "http:relative"}) {
    emit view->anchorClicked(QUrl(QString::fromLatin1(link)));
  }
  EXPECT_EQ(platform.shell.opened, (Strings{"https://news.example/a", "mailto:ann@news.example"}));
  EXPECT_EQ(view->source(), QUrl());
}

}  // namespace

#include "presentation/frmDoc.h"

#include "TestPaths.h"
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
#include <optional>
#include <string>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
// The web engine frees some of its own objects through a base of another size.
extern "C" const char* __asan_default_options() { return "new_delete_type_mismatch=0"; }
#endif

// Regression tests of the message page's safety: a page that ran scripts, navigated away or handed
// local files to the desktop would fail them.
namespace {

using TestSupport::WriteAll;
using Strings = std::vector<std::string>;

class frmDocTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("QT_QUICK_BACKEND", "software", 0);
    platform.environment.programFolder =
        std::filesystem::path(QP_PROGRAM_PATH).parent_path().string();
    view = qobject_cast<QWebEngineView*>(doc.emplace().ucBrowser());
    ASSERT_NE(view, nullptr) << "the web view module did not load";
  }
  // Navigates to a page with this text and waits for the load to end; true when it loaded.
  bool Show(const std::string& html) {
    WriteAll(folder.File("item.htm"), html);
    QSignalSpy loaded(view, &QWebEngineView::loadFinished);
    doc->Navigate(folder.File("item.htm"));
    WriteAll(folder.File("item.htm"), "<title>The next message</title>");  // at once, as a reload
    return loaded.wait(60000) && loaded.first().first().toBool();
  }

  TestSupport::FakePlatform platform;
  TestSupport::TempFolder folder;
  std::optional<frmDoc> doc;  // made once the program folder is set: the web view lies there
  QWebEngineView* view = nullptr;
};

TEST_F(frmDocTest, WebViewRunsNoScriptsAndShowsThePageAsItWasWhenOpened) {
  using S = QWebEngineSettings;
  for (const auto attribute :
       {S::JavascriptEnabled, S::JavascriptCanOpenWindows, S::JavascriptCanAccessClipboard,
        S::LocalContentCanAccessFileUrls, S::PluginsEnabled, S::LocalStorageEnabled}) {
    EXPECT_EQ(view->page()->settings()->testAttribute(attribute), false) << attribute;
  }
  EXPECT_EQ(view->page()->profile()->isOffTheRecord(), true);
  ASSERT_TRUE(Show("<title>Before</title><script>document.title = 'Script ran';</script>"));
  EXPECT_EQ(view->title().toStdString(), "Before");
}

// What the page loads and where a refresh would take it: page_safety_e2e.sh, in the real program.
TEST_F(frmDocTest, ClickedWebLinksGoToTheDesktopAndThePageStays) {
  ASSERT_TRUE(
      Show("<title>Letter</title><a id=\"web\" href=\"https://news.example/spring\">web</a>"
           "<a id=\"file\" href=\"file:///etc/hostname\">file</a>"));
  const QUrl shown = view->url();
  // Clicks come from the test's own script world; the page's scripts stay off.
  view->page()->runJavaScript(QStringLiteral("document.getElementById('file').click();"
                                             "document.getElementById('web').click();"),
                              QWebEngineScript::ApplicationWorld);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !platform.shell.opened.empty(); }, 10000));
  QTest::qWait(500);
  EXPECT_EQ(platform.shell.opened, Strings{"https://news.example/spring"});
  EXPECT_EQ(std::pair(view->title().toStdString(), view->url()),
            std::pair(std::string("Letter"), shown));
}

}  // namespace

#include "presentation/frmDoc.h"

#include "TestPaths.h"
#include "config/mSettings.h"
#include "feedserver/FeedServer.h"
#include "support/FakeServices.h"

#include <QApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
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
    // settings.cfg goes to the test's own configuration folder, not beside the build's program.
    platform.environment.readOnlyFolders = {platform.environment.programFolder};
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
  EXPECT_EQ(doc->DocumentTitle().toStdString(), "Before");  // what a printout is named after
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

// The bar reaches the source's setting; what the page asks of the network: page_safety_e2e.sh.
TEST_F(frmDocTest, PicturesBarStoresTheSourcesChoiceAndTheViewLoadsThePicturesThen) {
  TestSupport::FeedServer server;
  ASSERT_TRUE(server.Listen());
  server.Serve("/pic.png", "x", "image/png");
  const std::string id = "0A1B2C3D-4E5F-4071-8293-A4B5C6D7E8F9";
  doc->SetSourceID(id);
  ASSERT_TRUE(Show("<title>Letter</title><img src=\"" + server.Url("/pic.png") + "\">"));
  const auto bar = [&] {
    return std::tuple(doc->picPictures->isVisibleTo(&*doc), doc->lblPictures->text().toStdString(),
                      doc->btnAlwaysPictures->text().toStdString());
  };
  EXPECT_TRUE(QTest::qWaitFor([&] { return doc->picPictures->isVisibleTo(&*doc); }, 10000));
  EXPECT_EQ(bar(), std::tuple(true, frmDoc::kPicturesHiddenText, "&Always for This Source"));
  EXPECT_EQ(server.Requests().size(), 0u);
  doc->btnAlwaysPictures->click();
  EXPECT_TRUE(QTest::qWaitFor([&] { return server.Requests().size() == 1; }, 10000));
  EXPECT_TRUE(QTest::qWaitFor([&] { return doc->picPictures->isVisibleTo(&*doc); }, 10000));
  EXPECT_EQ(bar(), std::tuple(true, frmDoc::kPicturesShownText, "&Stop Showing"));
  EXPECT_EQ(mSettings::PicturesAlwaysShown(id), true);
  doc->btnAlwaysPictures->click();
  EXPECT_EQ(mSettings::PicturesAlwaysShown(id), false);
}

TEST_F(frmDocTest, ZoomKeysScaleThePageAndTheSourceKeepsItsZoom) {
  const std::string id = "0A1B2C3D-4E5F-4071-8293-A4B5C6D7E8F9";
  doc->SetSourceID(id);
  doc->show();
  ASSERT_TRUE(Show("<title>Letter</title><p>Text</p>"));
  QApplication::setActiveWindow(&*doc);
  const auto press = [&](Qt::Key key) {
    view->setFocus();
    QTest::keyClick(QApplication::focusWidget(), key, Qt::ControlModifier);
    return std::pair(qRound(view->zoomFactor() * 100), mSettings::PageZoom(id));
  };
  EXPECT_EQ(press(Qt::Key_Plus), std::pair(110, 110));
  EXPECT_EQ(press(Qt::Key_Equal), std::pair(125, 125));
  EXPECT_EQ(press(Qt::Key_Minus), std::pair(110, 110));
  // The source's next message opens at its zoom; Ctrl+0 goes back to the page as written.
  ASSERT_TRUE(Show("<title>Next</title><p>Text</p>"));
  EXPECT_EQ(qRound(view->zoomFactor() * 100), 110);
  EXPECT_EQ(press(Qt::Key_0), std::pair(100, 100));
}

// Only the current tab keeps a view: thirty open messages would otherwise cost hundreds of MB.
TEST_F(frmDocTest, OnlyTheCurrentTabKeepsItsViewAndAPageComesBackWhereItWasLeft) {
  QMdiArea area;
  area.setViewMode(QMdiArea::TabbedView);
  std::vector<frmDoc*> docs;
  for (const char* title : {"First", "Second"}) {
    docs.push_back(new frmDoc);
    area.addSubWindow(docs.back())->showMaximized();
    WriteAll(folder.File("item.htm"), std::string("<title>") + title + "</title>" +
                                          "<div style=\"height: 5000px\">x</div>");
    docs.back()->Navigate(folder.File("item.htm"));
  }
  area.show();
  const auto title = [](frmDoc* d) { return qobject_cast<QWebEngineView*>(d->ucBrowser())->title(); };
  area.setActiveSubWindow(area.subWindowList()[0]);
  EXPECT_TRUE(QTest::qWaitFor([&] { return title(docs[0]) == "First"; }, 10000));
  qobject_cast<QWebEngineView*>(docs[0]->ucBrowser())->page()->runJavaScript(
      "window.scrollTo(0, 900)", QWebEngineScript::ApplicationWorld);
  QTest::qWait(500);
  area.setActiveSubWindow(area.subWindowList()[1]);
  EXPECT_EQ(std::pair(docs[0]->HasView(), docs[1]->HasView()), std::pair(false, true));
  area.setActiveSubWindow(area.subWindowList()[0]);
  EXPECT_EQ(std::pair(docs[0]->HasView(), docs[1]->HasView()), std::pair(true, false));
  auto* page = qobject_cast<QWebEngineView*>(docs[0]->ucBrowser())->page();
  EXPECT_TRUE(QTest::qWaitFor([&] { return page->scrollPosition().y() == 900; }, 10000));
}

}  // namespace

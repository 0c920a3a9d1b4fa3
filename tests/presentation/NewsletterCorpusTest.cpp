// The newsletter corpus (tests/fixtures/newsletters) in the real message view: each message,
// rendered through the shipped template, fits a 480-pixel and a 1200-pixel column without
// scrolling sideways, with its pictures shown (data: pictures of their declared sizes) and with
// them off (remote ones, blocked).

#include "presentation/MessageRendering.h"
#include "presentation/frmDoc.h"

#include "TestPaths.h"
#include "support/FakeServices.h"

#include <QBuffer>
#include <QImage>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <set>

namespace {

using TestSupport::ReadAll;
using TestSupport::WriteAll;

// Each remote picture of the corpus named NAME-WxH.png as a data: picture of that size.
std::string WithDataPictures(const std::string& html) {
  static std::map<QString, QString> made;
  QString text = QString::fromStdString(html);
  static const QRegularExpression remote(
      R"(https://img\.news\.quillpost\.test/[a-z0-9-]+-(\d+)x(\d+)\.png)");
  for (const QRegularExpressionMatch& m : remote.globalMatch(QString(text))) {
    const QString size = m.captured(1) + 'x' + m.captured(2);
    if (!made.contains(size)) {
      QImage image(m.captured(1).toInt(), m.captured(2).toInt(), QImage::Format_RGB32);
      image.fill(QColor(70, 130, 180));
      QBuffer png;
      png.open(QIODevice::WriteOnly);
      image.save(&png, "PNG");
      made[size] = "data:image/png;base64," + QString::fromLatin1(png.data().toBase64());
    }
    text.replace(m.captured(0), made[size]);
  }
  return text.toStdString();
}

class NewsletterCorpusTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    ::setenv("QT_QUICK_BACKEND", "software", 0);
    platform.environment.programFolder =
        std::filesystem::path(QP_PROGRAM_PATH).parent_path().string();
    platform.environment.readOnlyFolders = {platform.environment.programFolder};
    view = qobject_cast<QWebEngineView*>(doc.emplace().ucBrowser());
    ASSERT_NE(view, nullptr) << "the web view module did not load";
    doc->show();
  }

  // Shows the page at that width; its contents' size once the layout has settled.
  QSizeF Show(const std::optional<std::string>& page, int width) {
    QSignalSpy changed(view->page(), &QWebEnginePage::contentsSizeChanged);
    if (page) {
      WriteAll(folder.File("item.htm"), *page);
      QSignalSpy loaded(view, &QWebEngineView::loadFinished);
      doc->Navigate(folder.File("item.htm"));
      doc->resize(width, 700);
      EXPECT_TRUE(loaded.wait(30000));
    } else {
      // A page is never narrower than the view, so a new width gives it a new size.
      doc->resize(width, 700);
      EXPECT_TRUE(changed.wait(5000));
    }
    QSizeF size, last;
    for (int still = 0, round = 0; still < 3 && round < 100; ++round) {
      QTest::qWait(40);
      size = view->page()->contentsSize();
      still = size == last && !size.isEmpty() ? still + 1 : 0;
      last = size;
    }
    return size;
  }

  TestSupport::FakePlatform platform;
  TestSupport::TempFolder folder;
  std::optional<frmDoc> doc;
  QWebEngineView* view = nullptr;
};

TEST_P(NewsletterCorpusTest, EveryMessageFitsA480And1200PixelColumn) {
  const bool pictures = GetParam();
  // A page that fits and scrolls down tells how wide the view is beside its scroll bar.
  const int scrollBar = 480 - qRound(Show("<div style=\"height:5000px\"></div>", 480).width());
  const std::string templateText = ReadAll(QP_SOURCE_DIR "/src/resources/view.tpl");
  std::set<std::filesystem::path> corpus;
  for (const auto& entry : std::filesystem::directory_iterator(QP_FIXTURES_DIR "/newsletters"))
    corpus.insert(entry.path());
  bool dark = false;
  for (const std::filesystem::path& path : corpus) {
    const std::string body = ReadAll(path.string());
    MessageRendering::MessageHeader header{
        "Town Desk", "desk@news.quillpost.test", path.stem().string(), "Sat, 05 Dec 2026", "", "",
        ""};
    header.Body = pictures ? WithDataPictures(body) : body;
    // Half the corpus on a dark desktop.
    const std::string page = MessageRendering::RenderPage(templateText, header, dark = !dark);
    for (const int width : {480, 1200}) {
      const QSizeF contents = Show(width == 480 ? std::optional(page) : std::nullopt, width);
      EXPECT_EQ(view->width(), width) << path.filename();
      const int viewport = view->width() - (contents.height() > view->height() ? scrollBar : 0);
      EXPECT_LE(contents.width(), viewport) << path.filename() << " at " << width << " pixels";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Pictures, NewsletterCorpusTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "On" : "Off"; });

}  // namespace

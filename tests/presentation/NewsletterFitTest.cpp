#include "presentation/NewsletterFit.h"

#include "TestPaths.h"
#include "support/FakeServices.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <utility>

using NewsletterFit::Fit;

namespace {

TEST(NewsletterFit, FixedWidthsMayShrinkAndTrackingPicturesGo) {
  const std::pair<std::string, std::string> rows[] = {
      // Tables keep their width as a maximum; their cells get shares of it.
      {R"(<table width="600" cellpadding=0><tr><td width="200">a</td><td width=400px>b</td></tr></table>)",
       R"(<table cellpadding=0 style="width:100%;max-width:600px"><tr><td style="width:33.33%">a</td><td style="width:66.67%">b</td></tr></table>)"},
      {R"(<table style="width: 500px; MIN-WIDTH:500px; color:red"><tr><th style="width:125px">x</th></tr></table>)",
       R"(<table style="color:red;width:100%;max-width:500px"><tr><th style="width:25%">x</th></tr></table>)"},
      // A cell of a table without a fixed width loses its fixed width; percentages stay.
      {R"(<table width="100%"><tr><td width="300">a</td><td width="40%">b</td></tr></table><td width=9>)",
       R"(<table width="100%"><tr><td>a</td><td width="40%">b</td></tr></table><td>)"},
      // Nested tables: a cell's share is of its own table.
      {R"(<table width="640"><tr><td><table width="320"><tr><td width="160"></td></tr></table></td><td width="320"></td></tr></table>)",
       R"(<table style="width:100%;max-width:640px"><tr><td><table style="width:100%;max-width:320px"><tr><td style="width:50%"></td></tr></table></td><td style="width:50%"></td></tr></table>)"},
      // Other elements keep a width over 100 px (and padding and border) unless the column is
      // narrower, pictures too (one not shown would hold a table wide); their own maximum stays.
      {R"(<div style="width:600px;padding:20px 10px">x</div><img src=p style="width:600px;max-width:90%">)",
       R"(<div style="padding:20px 10px;width:min(100%,620px);box-sizing:border-box">x</div>)"
       R"(<img src=p style="max-width:90%;width:min(100%,600px);box-sizing:border-box">)"},
      {R"(<hr width="680" size=1><span style='font-family:"A B";width:300px;border-left:2px solid'>)"
       R"(<b style="width:100px">)",
       R"(<hr size=1 style="width:min(100%,680px);box-sizing:border-box">)"
       R"(<span style='font-family:"A B";border-left:2px solid;width:min(100%,302px);box-sizing:border-box'>)"
       R"(<b style="width:100px">)"},
      // An empty padding (found by fuzzing: its sides were read past the end).
      {R"(<div style="width:600px;padding:;border:solid">)",
       R"(<div style="padding:;border:solid;width:min(100%,600px);box-sizing:border-box">)"},
      // Tracking pictures: declared at most 2 px either way, or hidden by their style.
      {R"(a<img src="t.gif" width="1" height="1">b<IMG SRC=t height=2px>c<img src=t style="display: none !important">)"
       R"(<img src=t style="visibility:hidden"><img src=t style="opacity:0.0"><img src=t style="width:0">d)",
       "abcd"},
      // Pictures and everything else stay as sent, even in odd markup.
      {R"(<img src="p.png" width="600" height="3"><p>1 < 2</p><!-- <table width="600"> --><a href='x>y'>)",
       R"(<img src="p.png" width="600" height="3"><p>1 < 2</p><!-- <table width="600"> --><a href='x>y'>)"},
      // Style elements: rules as inline styles, but not inside others; scripts are not read.
      {"<style>.a { min-width: 600px; width: 600px } @media (x) { .b { width: 1px } }</style>"
       "<script>'<table width=600>'</script>",
       "<style>.a {width:min(100%,600px);box-sizing:border-box} @media (x) { .b { width: 1px } "
       "}</style>"
       "<script>'<table width=600>'</script>"},
      {"<table width=\"600\"", "<table width=\"600\""},  // an unfinished tag is text
      {"<table width=\"1e300\"><td width=\"nan\">", "<table width=\"1e300\"><td width=\"nan\">"},
  };
  for (const auto& [html, fitted] : rows) EXPECT_EQ(Fit(html), fitted) << html;
}

// The corpus (tests/fixtures/newsletters): every tracking picture goes, every real picture stays,
// and a fitted body needs no second fitting.
TEST(NewsletterFit, CorpusKeepsItsPicturesLosesItsTrackersAndFitsOnce) {
  const std::regex picture(
      R"(<img src="https://img\.news\.quillpost\.test/[a-z0-9-]+-\d+x\d+\.png")");
  int messages = 0;
  for (const auto& entry : std::filesystem::directory_iterator(QP_FIXTURES_DIR "/newsletters")) {
    const std::string html = TestSupport::ReadAll(entry.path().string());
    const std::string fitted = Fit(html);
    const auto count = [&](const std::string& text) {
      return std::distance(std::sregex_iterator(text.begin(), text.end(), picture),
                           std::sregex_iterator());
    };
    EXPECT_EQ(fitted.find("t.news.quillpost.test"), std::string::npos) << entry.path();
    EXPECT_EQ(count(fitted), count(html)) << entry.path();
    EXPECT_EQ(Fit(fitted), fitted) << entry.path();
    ++messages;
  }
  EXPECT_GE(messages, 30);
}

}  // namespace

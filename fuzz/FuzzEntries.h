#pragma once
// The code each fuzz target runs on one input, shared with the regression test that replays the
// saved findings (tests/core/FuzzRegressionTest.cpp), so both take the same path.
//
// Every entry accepts any bytes. It needs the platform services installed (the fakes of
// tests/support/FakeServices.h) with an application-data folder it may fill and empty; it uses
// "Quillpost Data" inside that folder. It returns an empty text when the input was handled, or
// a description of a broken guarantee (a crash or a sanitizer report needs no return value).

#include <string>
#include <string_view>

namespace FuzzEntries {

// IniDocument: parse, every lookup and listing, a change and a reparse; then cINI reading the
// same text from a file, its values as numbers and each section as a window placement.
std::string IniReader(std::string_view input);

// mInbox::ParseFeed into a fresh inbox, loading it into a message tree, opening, marking and
// deleting shown messages, and further checks of the same feed, which store only what was
// deleted.
std::string FeedParser(std::string_view input);

// MessageRendering::ParseMessageHeader, RenderPage and ShortenTitle on a description.
std::string MessageHeader(std::string_view input);

// mInbox::SplitPubDate and mInbox::DayNumber on a publication date.
std::string PubDate(std::string_view input);

// The subscription file: ReadSources, LoadSubscriptions into both kinds of tree, and
// ManageSource finding a source that was read.
std::string Subscriptions(std::string_view input);

}  // namespace FuzzEntries

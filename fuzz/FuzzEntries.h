#pragma once
// What each fuzz target does with one input, shared with the test that replays the saved findings
// (tests/core/FuzzRegressionTest.cpp). Every entry accepts any bytes; those that use files need the
// fake services (tests/support/FakeServices.h) and work in "Quillpost Data" in their data folder.
// An empty text when the input was handled, else the promise it broke.

#include <string>
#include <string_view>

namespace FuzzEntries {

// IniDocument: byte-for-byte round trip, listings and streamed reads agree with lookups, values
// read as numbers the same both ways, a change touches only its entry. The search index reads the
// text as an inbox exactly as the store lists it.
std::string IniReader(std::string_view input);
// ReadFeed: a failure lists no items, descriptions are in the stored form. ParseFeed agrees, stores
// each distinct guid once and no more on the next check; every stored message keeps a read mark.
std::string FeedParser(std::string_view input);
// MessageRendering: header block, page and short title of a description.
std::string MessageHeader(std::string_view input);
// SplitPubDate cuts its parts from the text; DayNumber takes any text.
std::string PubDate(std::string_view input);
// The subscription file: both trees load as ReadSources reads it; a source read is found by link.
std::string Subscriptions(std::string_view input);
// A search as typed: read into clean terms, asked of a text index without an engine error, and
// never found in a message without words unless it asks for no word.
std::string Query(std::string_view input);

}  // namespace FuzzEntries

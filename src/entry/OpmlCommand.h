#pragma once
// The OPML switches, without any window: --export-opml FILE and --import-opml FILE. Boxes go to
// standard error like the check's; the outcome is one line on standard output, and each outline
// an import skips is one line on standard error. The result is the exit status (Opml::Status).

#include "subscriptions/Opml.h"

#include <iosfwd>
#include <string>

namespace OpmlCommand {

int Export(const std::string& path, std::ostream& out, std::ostream& err);
// Reads the file here, then imports its outlines. Refused (status 2) while a reader owns the data
// folder: it would not see the new sources.
int Import(const std::string& path, std::ostream& out, std::ostream& err);
// An import's outcome as the command prints it: a line on standard error per outline left out,
// then the summary line on standard output, or the failure on standard error.
void Report(const Opml::ImportResult& result, const std::string& path, std::ostream& out,
            std::ostream& err);

}  // namespace OpmlCommand

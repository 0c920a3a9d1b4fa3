#pragma once
// The OPML switches, without any window: --export-opml FILE and --import-opml FILE. Boxes go to
// standard error like the check's; the outcome is one line on standard output, and each outline
// an import skips is one line on standard error. The result is the exit status (Opml::Status).

#include "entry/HeadlessCheck.h"
#include "subscriptions/Opml.h"

#include <iosfwd>
#include <string>

namespace OpmlCommand {

int Export(const std::string& path, std::ostream& out, std::ostream& err);
// Reads the file here, then imports its outlines. While a reader owns the data folder the
// outlines are handed to it (its working folder is not this one's, so the file is read here), and
// it subscribes to them: its tree shows them at once. Another process holding the folder is
// waited for, up to a minute.
int Import(const std::string& path, std::ostream& out, std::ostream& err,
           const HeadlessCheck::AskReader& askReader = {});
// An import's outcome as the command prints it: a line on standard error per outline left out,
// then the summary line on standard output, or the failure on standard error.
void Report(const Opml::ImportResult& result, const std::string& path, std::ostream& out,
            std::ostream& err);

}  // namespace OpmlCommand

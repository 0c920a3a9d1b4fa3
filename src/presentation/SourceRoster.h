#pragma once
// The subscribed sources as the reader's services follow them: read from the subscription file
// once at start, then kept by the file's own news (sources added, changed, removed, whoever did
// it: a dialog, an import, a merge from another machine) without reading it again. As in the
// message tree, a source without an identifier and a repeat of one are left out. Each change
// says what it meant, so that those who follow it do only that much work.

#include "archive/SearchIndex.h"
#include "subscriptions/SubscriptionEvents.h"

#include <cstddef>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

class SourceRoster : public mSubscriptions::ISubscriptionListener {
 public:
  struct Change {
    std::vector<std::string> added;  // identifiers, in file order
    std::vector<std::string> removed;
    bool retitled = false;  // a listed source's title changed
    bool operator==(const Change&) const = default;
  };

  // Told after every change of the list, with what changed.
  void SetOnChange(std::function<void(const Change&)> onChange);

  // Reads the subscription file again, without a box (the message tree shows the file's
  // trouble); false, the list left as it was, when it cannot be read.
  bool Load();
  // The file's entries as mSubscriptions::ReadSources gives them.
  void Reset(std::vector<mSubscriptions::MessageSource> entries);

  // Identifier and title of each listed source, in file order.
  const std::vector<Archive::SourceRef>& Sources() const { return m_sources; }
  std::vector<std::string> Ids() const;
  // A listed source's title; empty for any other identifier.
  std::string Title(const std::string& id) const;

  void SourcesAdded(const std::vector<mSubscriptions::MessageSource>& sources) override;
  void SourceChanged(const mSubscriptions::MessageSource& before,
                     const mSubscriptions::MessageSource& after) override;
  void SourceRemoved(const mSubscriptions::MessageSource& source) override;

 private:
  void Listed();

  std::vector<mSubscriptions::MessageSource> m_entries;
  std::vector<Archive::SourceRef> m_sources;
  std::unordered_map<std::string, std::size_t> m_at;  // ID -> place in m_sources
  std::function<void(const Change&)> m_onChange;
};

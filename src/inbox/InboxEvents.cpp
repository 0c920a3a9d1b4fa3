#include "inbox/InboxEvents.h"

#include <algorithm>

namespace mInbox {

namespace {

std::vector<IInboxListener*>& Listeners() {
  static std::vector<IInboxListener*> listeners;
  return listeners;
}

std::vector<IArrivalRules*>& Rules() {
  static std::vector<IArrivalRules*> rules;
  return rules;
}

template <typename T>
void AddOnce(std::vector<T*>& list, T* item) {
  if (item && std::find(list.begin(), list.end(), item) == list.end()) list.push_back(item);
}

// A copy, so that a listener may remove itself (or another) while it is told.
template <typename F>
void Tell(F&& f) {
  const std::vector<IInboxListener*> listeners = Listeners();
  for (IInboxListener* listener : listeners) f(*listener);
}

}  // namespace

void AddListener(IInboxListener* listener) { AddOnce(Listeners(), listener); }
void RemoveListener(IInboxListener* listener) { std::erase(Listeners(), listener); }
void AddArrivalRules(IArrivalRules* rules) { AddOnce(Rules(), rules); }
void RemoveArrivalRules(IArrivalRules* rules) { std::erase(Rules(), rules); }

void NotifyStored(const std::string& sourceId, const std::vector<InboxItem>& items) {
  if (!items.empty()) Tell([&](IInboxListener& l) { l.Stored(sourceId, items); });
}

void NotifyReadChanged(const std::string& sourceId, const std::string& guid, bool read) {
  Tell([&](IInboxListener& l) { l.ReadChanged(sourceId, guid, read); });
}

void NotifyDeleted(const std::string& sourceId, const std::string& guid) {
  Tell([&](IInboxListener& l) { l.Deleted(sourceId, guid); });
}

void NotifySourceRemoved(const std::string& sourceId) {
  Tell([&](IInboxListener& l) { l.SourceRemoved(sourceId); });
}

void ApplyArrivalRules(const std::string& sourceId, std::vector<InboxItem>& items,
                       std::vector<std::string>& deleted) {
  const std::vector<IArrivalRules*> rules = Rules();
  for (IArrivalRules* rule : rules) {
    if (items.empty()) return;
    rule->Arriving(sourceId, items, deleted);
  }
}

}  // namespace mInbox

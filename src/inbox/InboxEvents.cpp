#include "inbox/InboxEvents.h"

#include <algorithm>
#include <mutex>

namespace mInbox {

namespace {

// The lists change on the program's thread while any thread may tell them.
std::mutex& ListsMutex() {
  static std::mutex mutex;
  return mutex;
}

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
  const std::lock_guard lock(ListsMutex());
  if (item && std::find(list.begin(), list.end(), item) == list.end()) list.push_back(item);
}

template <typename T>
void Remove(std::vector<T*>& list, T* item) {
  const std::lock_guard lock(ListsMutex());
  std::erase(list, item);
}

// A copy, so that a listener may remove itself (or another) while it is told.
template <typename T>
std::vector<T*> Copy(const std::vector<T*>& list) {
  const std::lock_guard lock(ListsMutex());
  return list;
}

template <typename F>
void Tell(F&& f) {
  for (IInboxListener* listener : Copy(Listeners())) f(*listener);
}

}  // namespace

void AddListener(IInboxListener* listener) { AddOnce(Listeners(), listener); }
void RemoveListener(IInboxListener* listener) { Remove(Listeners(), listener); }
void AddArrivalRules(IArrivalRules* rules) { AddOnce(Rules(), rules); }
void RemoveArrivalRules(IArrivalRules* rules) { Remove(Rules(), rules); }

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
  for (IArrivalRules* rule : Copy(Rules())) {
    if (items.empty()) return;
    rule->Arriving(sourceId, items, deleted);
  }
}

}  // namespace mInbox

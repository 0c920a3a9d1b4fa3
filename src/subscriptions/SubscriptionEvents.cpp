#include "subscriptions/SubscriptionEvents.h"

#include <algorithm>

namespace mSubscriptions {

namespace {

std::vector<ISubscriptionListener*>& Listeners() {
  static std::vector<ISubscriptionListener*> listeners;
  return listeners;
}

// A copy, so that a listener may remove itself while it is told.
template <typename F>
void Tell(F&& f) {
  const std::vector<ISubscriptionListener*> listeners = Listeners();
  for (ISubscriptionListener* listener : listeners) f(*listener);
}

}  // namespace

void AddSubscriptionListener(ISubscriptionListener* listener) {
  auto& list = Listeners();
  if (listener && std::find(list.begin(), list.end(), listener) == list.end())
    list.push_back(listener);
}

void RemoveSubscriptionListener(ISubscriptionListener* listener) {
  std::erase(Listeners(), listener);
}

void NotifySourcesAdded(const std::vector<MessageSource>& sources) {
  if (!sources.empty()) Tell([&](ISubscriptionListener& l) { l.SourcesAdded(sources); });
}

void NotifySourceChanged(const MessageSource& before, const MessageSource& after) {
  if (before != after) Tell([&](ISubscriptionListener& l) { l.SourceChanged(before, after); });
}

void NotifySourceRemoved(const MessageSource& source) {
  Tell([&](ISubscriptionListener& l) { l.SourceRemoved(source); });
}

}  // namespace mSubscriptions

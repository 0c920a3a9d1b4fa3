#pragma once
// What the subscription file tells those who follow the user's subscriptions (the sync log):
// every source added, changed (title or link) and removed, by whichever window or command did it.
// mSubscriptions calls these after the file was written; a failed write tells nothing.

#include "subscriptions/mSubscriptions.h"

#include <vector>

namespace mSubscriptions {

class ISubscriptionListener {
 public:
  virtual ~ISubscriptionListener() = default;
  // Sources appended, with the IDs they were given, in file order.
  virtual void SourcesAdded(const std::vector<MessageSource>& sources) = 0;
  // A source's title or link (or both) changed; the ID stays.
  virtual void SourceChanged(const MessageSource& before, const MessageSource& after) = 0;
  virtual void SourceRemoved(const MessageSource& source) = 0;
};

// Registered for the program's run (or a test's); the same one twice counts once.
void AddSubscriptionListener(ISubscriptionListener* listener);
void RemoveSubscriptionListener(ISubscriptionListener* listener);

void NotifySourcesAdded(const std::vector<MessageSource>& sources);
void NotifySourceChanged(const MessageSource& before, const MessageSource& after);
void NotifySourceRemoved(const MessageSource& source);

}  // namespace mSubscriptions

#pragma once
// What the inbox store tells those who keep something derived from the inboxes (the search index,
// the unread counts, a log of what the user did), and asks of those who decide about arriving
// messages (rules of saved searches, marks waiting from another machine). They live in higher
// folders; the store knows them only through these interfaces. Everything is called on the thread
// that changed the inbox, after the change is written (Arriving: before), while that thread holds
// the source (mInbox::LockSource), so that listeners hear one source's changes in their order: a
// listener may call the store itself, but must not wait for another thread that does.

#include "inbox/mInbox.h"

#include <string>
#include <vector>

namespace mInbox {

class IInboxListener {
 public:
  virtual ~IInboxListener() = default;
  // New messages were stored in the source's inbox, in the order given, with their read flags.
  virtual void Stored(const std::string& sourceId, const std::vector<InboxItem>& items) = 0;
  // A message's read flag was set (read) or cleared.
  virtual void ReadChanged(const std::string& sourceId, const std::string& guid, bool read) = 0;
  virtual void Deleted(const std::string& sourceId, const std::string& guid) = 0;
  // The source's folder was removed with its inbox (unsubscribed).
  virtual void SourceRemoved(const std::string& sourceId) = 0;
};

class IArrivalRules {
 public:
  virtual ~IArrivalRules() = default;
  // The messages about to be stored in the source as new (guids it does not hold), in feed
  // order. May set an item's read flag to 1, and list guids that are not to be stored: those are
  // remembered as deleted by the user.
  virtual void Arriving(const std::string& sourceId, std::vector<InboxItem>& items,
                        std::vector<std::string>& deleted) = 0;
};

// Registered for the program's run (or a test's); the same one twice counts once.
void AddListener(IInboxListener* listener);
void RemoveListener(IInboxListener* listener);
void AddArrivalRules(IArrivalRules* rules);
void RemoveArrivalRules(IArrivalRules* rules);

// For the store and the subscription commands: tell every listener.
void NotifyStored(const std::string& sourceId, const std::vector<InboxItem>& items);
void NotifyReadChanged(const std::string& sourceId, const std::string& guid, bool read);
void NotifyDeleted(const std::string& sourceId, const std::string& guid);
void NotifySourceRemoved(const std::string& sourceId);
// For the store: ask every rule, in the order they were added.
void ApplyArrivalRules(const std::string& sourceId, std::vector<InboxItem>& items,
                       std::vector<std::string>& deleted);

}  // namespace mInbox

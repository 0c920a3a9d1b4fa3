#pragma once
// Where the subscribe dialog and the list manager put the cursor after a check.

#include "subscriptions/SubscriptionChecks.h"

#include <QLineEdit>

inline void ApplyFieldFocus(SubscriptionChecks::Focus focus, QLineEdit* title, QLineEdit* link) {
  using SubscriptionChecks::Focus;
  switch (focus) {
    case Focus::Title:
      title->setFocus();
      break;
    case Focus::LinkSelected:
      link->selectAll();
      link->setFocus();
      break;
    case Focus::Link:
      link->setFocus();
      break;
    case Focus::None:
      break;
  }
}

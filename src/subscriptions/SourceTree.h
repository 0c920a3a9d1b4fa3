#pragma once
// Fills a tree with the subscribed sources: the list manager's tree "tvSources" under one root,
// any other tree (the message tree) with each source at top level and its messages beneath.

class TreeControl;

namespace mSubscriptions {

// Empties the tree first, so a failure leaves it empty. False when the subscription file could not
// be opened (its message has been shown). A source without an identifier, or with one another
// node already has, is left out.
bool LoadSubscriptions(TreeControl& tree);

}  // namespace mSubscriptions

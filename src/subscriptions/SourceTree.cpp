#include "subscriptions/SourceTree.h"

#include "core/AsciiText.h"
#include "core/TreeControl.h"
#include "inbox/InboxTree.h"
#include "inbox/mInbox.h"
#include "subscriptions/mSubscriptions.h"

#include <algorithm>
#include <vector>

namespace mSubscriptions {

namespace {

constexpr int kRootImage = 1;
constexpr int kSourceImage = 4;
const std::string kRootKey = "main";

bool TitleBefore(const MessageSource& a, const MessageSource& b) {
  return AsciiText::LessNoCase(a.Title, b.Title);
}

void LoadSourceList(TreeControl& tree, std::vector<MessageSource> sources) {
  TreeControl::Node* root = tree.Add(kRootKey, "Sources", kRootImage);
  root->SetExpanded(true);
  // The control sorts only the top level; the sources under the root are put in title order here,
  // by the same rule, ties in file order.
  std::stable_sort(sources.begin(), sources.end(), TitleBefore);
  for (MessageSource& source : sources) {
    if (source.ID.empty()) continue;
    TreeControl::Node* node =
        tree.AddChild(root, source.ID, std::move(source.Title), kSourceImage, kSourceImage);
    if (node) node->SetTag(std::move(source.Link));
  }
}

void LoadMessageTree(TreeControl& tree, std::vector<MessageSource> sources) {
  for (MessageSource& source : sources) {
    if (source.ID.empty()) continue;
    TreeControl::Node* node = tree.Add(source.ID, std::move(source.Title), MessageTreeImage::Source,
                                       MessageTreeImage::Source);
    if (!node) continue;
    node->SetTag(std::move(source.Link));
    mInbox::SourceID = source.ID;
    mInbox::LoadInbox(tree);
  }
}

}  // namespace

bool LoadSubscriptions(TreeControl& tree) {
  tree.Clear();
  std::vector<MessageSource> sources;
  if (!ReadSources(sources)) return false;
  TreeControl::UpdateGuard batch(tree);
  tree.SetSorted(false);
  if (tree.Name() == "tvSources") {
    LoadSourceList(tree, std::move(sources));
  } else {
    LoadMessageTree(tree, std::move(sources));
  }
  tree.SetSorted(true);
  return true;
}

}  // namespace mSubscriptions

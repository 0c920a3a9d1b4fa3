// The index's query thread: a newer question replaces one of its lane still waiting.

#include "archive/QueryWorker.h"

#include <gtest/gtest.h>

#include <future>
#include <string>

using namespace Archive;

namespace {

// Catches typed queries that queue up behind each other instead of the newest replacing them.
TEST(QueryWorker, ANewerQuestionReplacesOneOfItsLaneStillWaitingAndLanesTakeTurns) {
  std::string answered;  // written on the worker only, read after Drain
  std::promise<void> started, release;
  std::shared_future<void> released = release.get_future().share();
  QueryWorker worker;
  worker.Ask(0, [&] {
    started.set_value();
    released.wait();
    answered += "running ";
  });
  started.get_future().wait();
  worker.Ask(0, [&answered] { answered += "old "; });
  worker.Ask(1, [&answered] { answered += "count "; });
  worker.Ask(0, [&answered] { answered += "new "; });
  release.set_value();
  worker.Drain();
  EXPECT_EQ(answered, "running new count ");
}

}  // namespace

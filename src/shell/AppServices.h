#pragma once
// What the application keeps for its run, made by the entry before the main window and ended
// after the last window: the reader's services (the search index, the unread counts, the saved
// searches' rules) and sync with other machines. Windows are handed what they need of it.

#include "presentation/ReaderServices.h"
#include "shell/SyncKeeper.h"

class AppServices {
 public:
  // Opens the index and the counts and reads the subscribed sources.
  AppServices();
  AppServices(const AppServices&) = delete;
  AppServices& operator=(const AppServices&) = delete;

  // Once the main window follows the sync's signals: sync resumes where it is on.
  void StartSync();

  ReaderServices& Reader() { return m_reader; }
  SyncKeeper& Sync() { return m_sync; }

 private:
  ReaderServices m_reader;
  SyncKeeper m_sync;
};

#include "shell/AppServices.h"

AppServices::AppServices() {
  m_reader.Start();
  // A merge may change the subscription file in ways its news do not cover (a file repaired).
  QObject::connect(&m_sync, &SyncKeeper::SourcesChanged, &m_reader, &ReaderServices::ReloadSources);
}

void AppServices::StartSync() { m_sync.Start(); }

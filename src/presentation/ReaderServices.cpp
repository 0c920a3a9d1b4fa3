#include "presentation/ReaderServices.h"

#include "archive/SavedSearches.h"
#include "archive/SearchIndex.h"
#include "core/mAppFunctions.h"
#include "core/mGeneralFunctions.h"
#include "inbox/InboxEvents.h"
#include "inbox/UnreadCounts.h"

#include <QTimer>

#include <chrono>

namespace {
// Counts are kept a little after a change, so that a burst of marks writes the file once.
constexpr int kSaveCountsMs = 2'000;
constexpr int kIndexChangedMs = 150;
// At the end, the index's last writes are waited for at most this long.
constexpr std::chrono::seconds kFlushAtEnd{30};
}  // namespace

ReaderServices::ReaderServices(QObject* parent) : QObject(parent) {
  if (mGeneralFunctions::IsBlank(mAppFunctions::DataPath)) mAppFunctions::InitializeDataFolder();
  StartCounts();
  StartIndex();
  m_rules = std::make_unique<Archive::SearchRules>(
      [this](const std::string& sourceId) { return m_roster.Title(sourceId); });
  mInbox::AddArrivalRules(m_rules.get());
  m_roster.SetOnChange([this](const SourceRoster::Change& change) { FollowSources(change); });
  mSubscriptions::AddSubscriptionListener(&m_roster);
}

ReaderServices::~ReaderServices() {
  mSubscriptions::RemoveSubscriptionListener(&m_roster);
  mInbox::RemoveArrivalRules(m_rules.get());
  if (m_index) {
    mInbox::RemoveListener(m_index.get());
    m_index->Flush(kFlushAtEnd);
    m_index.reset();
  }
  mInbox::RemoveListener(m_counts.get());
  m_counts->SetWake(nullptr);
  m_counts->Save();
  m_counts.reset();
}

void ReaderServices::Start() { m_roster.Load(); }

void ReaderServices::ReloadSources() { m_roster.Load(); }

void ReaderServices::StartCounts() {
  const std::string cacheFile =
      mAppFunctions::PrepareCacheFolder() ? mInbox::CountsCacheFile() : std::string();
  m_counts = std::make_unique<mInbox::UnreadCounts>(mAppFunctions::DataFolder(), cacheFile);
  mInbox::AddListener(m_counts.get());
  m_saveCounts = new QTimer(this);
  m_saveCounts->setSingleShot(true);
  m_saveCounts->setInterval(kSaveCountsMs);
  connect(m_saveCounts, &QTimer::timeout, this, [this] { m_counts->SaveInBackground(); });
  // The worker wakes this thread once for all it has counted until then.
  m_counts->SetWake([this] {
    if (!m_countsWoken.exchange(true))
      QMetaObject::invokeMethod(this, &ReaderServices::TakeCounts, Qt::QueuedConnection);
  });
  m_counts->SetOnChanged([this](const std::string& id) {
    emit CountChanged(QString::fromStdString(id));
    m_saveCounts->start();
  });
}

void ReaderServices::TakeCounts() {
  m_countsWoken = false;
  m_counts->TakeCounted();
  // The last count came in: kept at once, as a restart may follow soon. Nothing is written when
  // every count came from the cache.
  if (m_counts->Pending() == 0) {
    m_saveCounts->stop();
    m_counts->SaveInBackground();
  }
}

void ReaderServices::StartIndex() {
  std::string error;
  if (mAppFunctions::PrepareCacheFolder())
    m_index = Archive::SearchIndex::Open(Archive::SearchIndex::DefaultFile(), error);
  else
    error = "the cache folder " + mAppFunctions::CacheFolder() + " cannot be made";
  if (!m_index) {
    m_indexTrouble =
        QStringLiteral("Searching is not possible: %1").arg(QString::fromStdString(error));
    return;
  }
  mInbox::AddListener(m_index.get());
  m_indexChanged = new QTimer(this);
  m_indexChanged->setSingleShot(true);
  m_indexChanged->setInterval(kIndexChangedMs);
  connect(m_indexChanged, &QTimer::timeout, this, &ReaderServices::IndexChanged);
  m_index->SetOnChange([this] {
    QMetaObject::invokeMethod(m_indexChanged, qOverload<>(&QTimer::start), Qt::QueuedConnection);
  });
}

void ReaderServices::FollowSources(const SourceRoster::Change& change) {
  // The counts follow each source that came or went; the index takes the whole list, and keeps
  // what is current in it.
  for (const std::string& id : change.removed) m_counts->RemoveSource(id);
  if (!change.added.empty()) m_counts->AddSources(change.added);
  if (m_index) m_index->SetSources(m_roster.Sources());
}

#include "archive/IdAllocator.h"

#include <algorithm>

namespace Archive {

IdAllocator::IdAllocator(const Sql::Database& db)
    : m_lowest(db,
               "SELECT min(id) FROM (SELECT min(id) AS id FROM messages WHERE id BETWEEN ?1 AND "
               "?2 UNION ALL SELECT min(id) FROM garbage WHERE id BETWEEN ?1 AND ?2)"),
      m_used(db,
             "SELECT EXISTS(SELECT 1 FROM messages WHERE id = ?1) OR "
             "EXISTS(SELECT 1 FROM garbage WHERE id = ?1)") {}

std::int64_t IdAllocator::Allocate(const InboxText::Band& band) {
  m_lowest.Bind(1, band.low).Bind(2, band.high);
  std::int64_t candidate = band.high;
  if (m_lowest.Step() && !m_lowest.IsNull(0)) candidate = m_lowest.Int(0) - 1;
  m_lowest.Reset();
  if (candidate >= band.low) return candidate;
  const auto spill = m_spill.find(band.low);
  candidate = spill != m_spill.end() ? std::min(spill->second, band.low - 1) : band.low - 1;
  for (; candidate >= 1; --candidate) {
    m_used.Bind(1, candidate);
    const bool taken = m_used.Step() && m_used.Int(0) != 0;
    m_used.Reset();
    if (taken) continue;
    if (m_spill.size() > 4096) m_spill.clear();
    m_spill[band.low] = candidate - 1;
    return candidate;
  }
  throw Sql::Error(13, "no message id left");
}

}  // namespace Archive

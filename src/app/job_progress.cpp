#include "app/job_progress.h"

#include <algorithm>
#include <cmath>

namespace vorlend {

JobProgress::JobProgress(ProgressClock clock)
    : m_clock(clock ? std::move(clock) : ProgressClock(&std::chrono::steady_clock::now)) {}

void JobProgress::Reset() {
  m_documents.clear();
  m_started.reset();
  m_table = m_tables = m_maximum = m_position = 0;
  m_tableDone = false;
}

void JobProgress::JobBegins(const std::vector<int>& tableDocuments) {
  m_documents = tableDocuments;
  m_started = m_clock();
}

void JobProgress::TableBegins(int number, int count) {
  m_table = number;
  m_tables = count;
  m_maximum = m_position = 0;
  m_tableDone = false;
  if (!m_started) m_started = m_clock();
}

void JobProgress::SetMaximum(int maximum) {
  m_maximum = maximum;
}

void JobProgress::SetPosition(int position) {
  m_position = std::max(m_position, position);
}

void JobProgress::TableEnds() {
  m_tableDone = true;
}

bool JobProgress::WeighsDocuments() const {
  if (m_documents.size() != static_cast<std::size_t>(m_tables)) return false;
  return std::any_of(m_documents.begin(), m_documents.end(), [](int d) { return d > 0; });
}

double JobProgress::DoneShare() const {
  if (m_tables <= 0 || m_table <= 0) return 0;
  const bool documents = WeighsDocuments();
  auto weight = [&](int table) { return documents ? std::max(0.0, double(m_documents[std::size_t(table - 1)])) : 1.0; };
  double total = 0, done = 0;
  for (int t = 1; t <= m_tables; ++t) {
    total += weight(t);
    if (t < m_table) done += weight(t);
  }
  const int current = std::min(m_table, m_tables);
  double share = 0;
  if (m_tableDone) {
    share = 1;
  } else if (m_maximum > 0) {
    share = std::min(1.0, double(m_position) / double(m_maximum));
  }
  done += weight(current) * share;
  return total > 0 ? std::min(1.0, done / total) : 0;
}

int JobProgress::Percent() const {
  // The tiny addition keeps a share such as 0.29 from reading 28 %.
  return static_cast<int>(std::floor(DoneShare() * 100 + 1e-9));
}

std::optional<std::chrono::seconds> JobProgress::TimeLeft() const {
  if (!m_started) return std::nullopt;
  const double share = DoneShare();
  const auto elapsed = m_clock() - *m_started;
  if (elapsed < kEstimateAfter || Percent() < kEstimateFromPercent || share >= 1) return std::nullopt;
  const double seconds = std::chrono::duration<double>(elapsed).count() * (1 - share) / share;
  return std::chrono::seconds(static_cast<long long>(std::ceil(seconds)));
}

std::string JobProgress::OverallText() const {
  std::string text = "celkem " + std::to_string(Percent()) + " %";
  if (const auto left = TimeLeft()) text += ", " + TimeLeftText(*left);
  return text;
}

std::string JobProgress::Text() const {
  return "Tabulka " + std::to_string(m_table) + " z " + std::to_string(m_tables) + ", " + OverallText();
}

std::string TimeLeftText(std::chrono::seconds left) {
  const long long seconds = std::max<long long>(0, left.count());
  const long long inFives = std::max<long long>(5, (seconds + 4) / 5 * 5);
  if (inFives < 60) return "zbývá asi " + std::to_string(inFives) + " s";
  const long long minutes = std::max<long long>(1, (seconds + 30) / 60);
  if (minutes < 60) return "zbývá asi " + std::to_string(minutes) + " min";
  const long long inFiveMinutes = (minutes + 2) / 5 * 5;
  const long long hours = inFiveMinutes / 60, rest = inFiveMinutes % 60;
  return "zbývá asi " + std::to_string(hours) + " h" + (rest > 0 ? " " + std::to_string(rest) + " min" : "");
}

}  // namespace vorlend

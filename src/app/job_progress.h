#pragma once
// The line on the whole job under a progress bar, for every front end (the window's progress page,
// the comparison, the batch console): which table of how many, how much of the job is done, and,
// once it can be told, about how long the rest will take: "Tabulka 6 z 16, celkem 33 %, zbývá asi
// 2 min".
//
// The share counts documents, not tables: one table of 600,000 documents among tables of 200 is
// most of the job. Each table weighs the documents the job said it holds before the first table
// began (OperationObserver::JobBegins), and within the table the bar's position over its maximum.
// A job that told nothing weighs its tables alike. The time left is the time so far, spread over
// what is done; it is told only after kEstimateAfter and kEstimateFromPercent, when that rate
// says something.
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vorlend {

using ProgressClock = std::function<std::chrono::steady_clock::time_point()>;

class JobProgress {
public:
  static constexpr std::chrono::seconds kEstimateAfter{3};
  static constexpr int kEstimateFromPercent = 3;

  explicit JobProgress(ProgressClock clock = {});

  // A new job begins: nothing to tell until its first table.
  void Reset();
  // The documents of each table of the job, in the order they come; the job's time starts here.
  void JobBegins(const std::vector<int>& tableDocuments);
  // Table `number` of `count` begins (the job's time starts here if JobBegins did not come).
  void TableBegins(int number, int count);
  // The current table's bar: its maximum and its position (a position going back, as a bar reset
  // at the end of a table, takes nothing back of what is done).
  void SetMaximum(int maximum);
  void SetPosition(int position);
  // The current table is done.
  void TableEnds();

  // A table has begun: there is a line to show.
  bool Shown() const { return m_tables > 0; }
  // How much of the whole job is done, in whole percent (100 only when everything is).
  int Percent() const;
  // About how long the rest of the job will take, once that can be told.
  std::optional<std::chrono::seconds> TimeLeft() const;
  // "celkem 33 %", and ", zbývá asi 2 min" once the time left can be told.
  std::string OverallText() const;
  // "Tabulka 6 z 16, " and the overall text.
  std::string Text() const;

private:
  // The share of the whole job done, from 0 to 1.
  double DoneShare() const;
  bool WeighsDocuments() const;

  ProgressClock m_clock;
  std::vector<int> m_documents;
  std::optional<std::chrono::steady_clock::time_point> m_started;
  int m_table = 0, m_tables = 0, m_maximum = 0, m_position = 0;
  bool m_tableDone = false;
};

// The time left as the user reads it: "zbývá asi 40 s" (in steps of 5 s), "zbývá asi 2 min",
// "zbývá asi 1 h 20 min" (in steps of 5 min from an hour on).
std::string TimeLeftText(std::chrono::seconds left);

}  // namespace vorlend

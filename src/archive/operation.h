#pragma once
// Pieces the save and the restore share: the lock of a document with the user's retry, the
// progress cadence, the abort question, and the messages that name a table.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/file_list.h"
#include "archive/report.h"
#include "host/bftable.h"
#include "host/host_context.h"
#include "platform/ports.h"
#include "platform/result.h"

namespace vorlend {

// An archive's tables are in storage that other users can write: never opened through a link.
inline constexpr OwnTableMode kArchiveTableWriting = OwnTableMode::Written;
inline constexpr OwnTableMode kArchiveTableReading = OwnTableMode::Read;

// The progress bar and the window are touched once every this many records.
inline constexpr int kProgressStep = 20;

// Documents are changed block by block: the archive records of a block in one synced commit, then
// the block's documents in one transaction whose record locks are held until it commits. A block
// ends after a number of documents or after its time, whichever comes first. The time is ten
// times what the last synced commit took, so a disk where a sync is slow still spends most of a
// block on the documents, but never less than BlockTimeLimitMs nor more than MaxBlockTimeMs:
// another user waits for a document at most one block's time and one sync. A block of one is the
// record-by-record way, the only one a table component without transactions allows.
//
// Every record lock of a block is held at once, and the system keeps a file's locks in one list
// that each further lock walks; locks on neighbouring records merge into one entry. The save
// walks in record order, so its locks mostly merge and its blocks can be long (each costs the
// archive a sync); the restore finds its documents by key, scattered over the table, and syncs
// only at the table's end, so its blocks are kept short.
inline constexpr int kSaveBlockSize = 5000;
inline constexpr int kRestoreBlockSize = 1000;
inline constexpr int kBlockTimeLimitMs = 50;
inline constexpr int kMaxBlockTimeMs = 250;

// The time a block may last now (see above).
std::chrono::milliseconds BlockTime();

// The lock-conflict question begins with this text; the batch tool's console answers it by it.
inline constexpr const char* kLockConflictQuestionStart = "Zámek v modulu ";

// What became of a document's record lock.
enum class LockOutcome {
  Locked,       // the record is ours until it is posted (inside a block: until the block commits)
  Gone,         // another user deleted the document meanwhile: there is nothing left to change
  Held,         // another user holds it and the user chose not to wait
  Unavailable,  // the table's lock file cannot be written
  Unsettled,    // the work before the question could not be written
};

// What a job does before it asks the user anything: it commits everything done so far, so the
// question comes with every earlier document written and no other user waits on this job's
// locks while it is open.
using SettleFn = std::function<Result()>;

// The document being locked, named to an observer before each lock-conflict question.
struct LockSubject {
  OperationObserver* observer = nullptr;
  std::string shownTable;  // the Money table's path, without ".DAT" (TableFileText names its file)
  std::int32_t key = 0;
};

// Opens a Money table. One that another program keeps to itself is another user at work, like a
// held record: the lock-conflict question is asked, and Ano opens again (Conflict on Ne).
Result OpenWithRetry(TBFTable& table, const std::string& path, Dialogs& dialogs, const std::string& workingStr);

// The posts of one table within the current block. The first post begins the table's
// transaction (a synced one for the archive table); Commit writes them all at once and releases
// their record locks; whatever is not committed when the block goes out of scope is rolled back,
// on every way out. A component without transactions posts each record on its own, which makes
// every block a block of one. Failures name the table by `shownTable`.
class TableBlock {
public:
  TableBlock(TBFTable& table, std::string shownTable, bool synced, Dialogs& dialogs, const std::string& workingStr,
             SettleFn settle);
  ~TableBlock();
  TableBlock(const TableBlock&) = delete;
  TableBlock& operator=(const TableBlock&) = delete;

  // Begins the block's transaction unless it is open (a table another program keeps busy is
  // asked about like a held record). Ok when the block is open, or when the component has no
  // transactions (Transactions() is false from then on).
  Result Open();
  // The component has transactions, so the block may use the block operations (as far as known:
  // true until an Open or a Post learns otherwise).
  bool Transactions() const { return m_transactions; }
  // Takes the current record's lock for the block (TBFTable::LockRecordForBlock): held until the
  // block is committed or rolled back.
  [[nodiscard]] int LockForBlock();
  // Posts the current record into the block; nothing of the block is written when it fails.
  Result Post();
  // Writes the block's posts and releases its locks; nothing of them is written when it fails.
  // `synced`: they are on the disk, with every earlier block, when it returns.
  Result Commit(bool synced = false);
  // The failure of a block operation on this table (TBFTable::SetField, InsertRecords).
  Result WriteFailed() const;
  // Posts waiting for Commit.
  int Pending() const { return m_pending; }
  // The block has reached `blockSize` posts or BlockTimeLimitMs, or the component commits every
  // post on its own.
  bool Full(int blockSize) const;
  // The component has no transactions: each post was written on its own (known after a post).
  bool CommitsEachPost() const { return !m_transactions; }

private:
  // Posts the current record on its own; a table another program keeps busy is asked about.
  Result PostAlone();

  TBFTable& m_table;
  std::string m_shownTable;
  bool m_synced;
  Dialogs& m_dialogs;
  std::string m_workingStr;
  SettleFn m_settle;
  bool m_open = false;
  bool m_transactions = true;
  bool m_blockLocks = false;  // locks taken for the block outside its transaction
  bool m_unsynced = false;    // a block was committed without a sync since the last synced one
  int m_pending = 0;
  std::chrono::steady_clock::time_point m_started;
};

// The last step of a document, the same for the save and the restore: the locked document of
// `table`, in edit mode and read again with `before` as its lock, gets `lock` within `block`.
// Counted in `pending` as written, and as changed when its lock was different.
Result ChangeLock(TBFTable& table, TableBlock& block, const Variant& before, const Variant& lock,
                  OperationCounts& pending);

// Locks the current record of `table`: with `block`, for that block (not read again), else on its
// own (read again). While another user holds it, asks the lock-conflict question; Ano tries the
// same record again. `outcome` says what became of the lock; the result is ok for Locked and
// Gone, Conflict for Held, and the failure for Unavailable (the system's reason) and Unsettled.
Result LockRecordWithRetry(TBFTable& table, Dialogs& dialogs, const std::string& workingStr, LockOutcome& outcome,
                           const LockSubject& subject = {}, const SettleFn& settle = {}, TableBlock* block = nullptr);

// The position of `recno` among the ascending record numbers a block's read found
// (TBFTable::ReadRecords); -1 when it is not among them: the document is gone.
std::ptrdiff_t PositionOf(const std::vector<std::int64_t>& found, std::int64_t recno);

// At every ProgressStep-th record: lets the window work and moves the bar to `counter`.
void ProgressTick(Progress& progress, int counter);

// When the user pressed "Přerušit": asks `question`; Stopped on Ano, ok on Ne (the request is
// cleared). With `settle`, everything done so far is committed before the question; its failure
// ends the job as well.
Result StopIfAsked(Progress& progress, Dialogs& dialogs, MsgKind kind, const char* question,
                   const SettleFn& settle = {});

// A path the add-on built from a stored one: "\" becomes the native separator.
std::string StoredPathNative(std::string path);

// The two tables of a file-list row, opened and named in messages by these paths.
struct RowTables {
  std::string money, archive;
};
RowTables RowTablePaths(const HostContext& ctx, const FileListRow& row, const std::string& archiveDir);

std::string OpenErrorText(const std::string& tablePath);      // "Nastala chyba při otevírání databáze ...DAT"
std::string PositionErrorText(const std::string& tablePath);  // "... nastavení rekordu ..."
std::string PostErrorText(const std::string& tablePath);      // "... ukládání záznamu ..."
std::string IndexErrorText(const std::string& tablePath);     // "... nastavení indexu ..."

}  // namespace vorlend

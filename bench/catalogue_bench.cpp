// Times the catalogue over many archives of one agenda: the whole list (in the process and as
// `vorlend-batch list` does it, start-up included), finding one archive by its number, as `show`,
// `restore` and `delete` do, and the looks a job takes at the other archives before it starts (a
// save: running, unfinished and waiting archives of its tables; a restore: newer archives of its
// tables). Each archive is what a complete save of one table leaves: info, info.tab and an empty
// archive table.
//
//   catalogue_bench [ARCHIVES...]      (default 100 5000)
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/batch.h"
#include "archive/catalogue.h"
#include "archive/roads.h"
#include "platform/files.h"

using namespace vorlend;

namespace {

std::string ShellWord(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

[[noreturn]] void Failed(const std::string& what) {
  std::fprintf(stderr, "catalogue_bench: failed: %s\n", what.c_str());
  std::exit(1);
}

template <typename F>
double Seconds(F work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The best of five runs: the figure the machine can do, not its load.
template <typename F>
double Best(F work) {
  double best = 1e9;
  for (int i = 0; i < 5; ++i) best = std::min(best, Seconds(work));
  return best;
}

void Bench(int archives) {
  const std::string binDir = ProgramDirectory();
  char pattern[] = "/tmp/catalogue-bench.XXXXXX";
  if (!::mkdtemp(pattern)) Failed("mkdtemp");
  const std::string dataDir = std::string(pattern) + "/DATA";
  const std::string groupsFile = std::string(pattern) + "/groups";
  if (std::system((ShellWord(binDir + "agenda-seed") + " " + ShellWord(dataDir) + " --years 1 --docs 1 >" +
                   ShellWord(groupsFile))
                      .c_str()) != 0) {
    Failed("agenda-seed");
  }
  std::string groupBytes;
  if (!ReadWholeFile(groupsFile, groupBytes)) Failed("reading " + groupsFile);
  std::vector<std::string> groups;
  for (std::size_t at = 0; at < groupBytes.size();) {
    const std::size_t end = groupBytes.find('\n', at);
    groups.push_back(groupBytes.substr(at, end - at));
    at = end == std::string::npos ? groupBytes.size() : end + 1;
  }

  HostContext ctx;
  ctx.SetPaths(dataDir + "/AGENDA.001/", dataDir + "/");
  ctx.AgendaExt = "001";
  const std::string fileList =
      "\"FileName\",\"MoneyFile\",\"WorkingStr\",\r\n\"PF001\",\"ROK.001\\PFAKTURY\",\"p\xF8ijat\xE9 faktury "
      "2025\",\r\n";
  ForceDirectories(ctx.ArchiveRoot());
  for (int n = 1; n <= archives; ++n) {
    const std::string dir = ctx.ArchiveRoot() + std::to_string(n) + "/";
    if (::mkdir(dir.c_str(), 0777) != 0) Failed("mkdir " + dir);
    // Written plainly: the benchmark times the reading, and thousands of synced writes would
    // only make it slow to set up.
    const std::string info = "[MAIN]\r\nAgendaExt=001\r\nCorrect=1\r\nName=archiv " + std::to_string(n) +
                             "\r\nDate=7.12.2026\r\nTime=12:00:00\r\nAgendaName=bench\r\n[YEARS]\r\nList=2025\r\n"
                             "[FILTER]\r\nPD=0\r\nBD=0\r\nOP=0\r\nOZ=0\r\nID=0\r\nPF=1\r\nVF=0\r\nSD=0\r\n";
    for (const auto& [name, bytes] : {std::pair<std::string, std::string>{"info", info}, {"info.tab", fileList}}) {
      FILE* f = std::fopen((dir + name).c_str(), "wb");
      if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0) Failed(name);
    }
    if (!CopyFile(binDir + "Pattern/DB1.DAT", dir + "PF001.dat", false) ||
        !CopyFile(binDir + "Pattern/DB1.DIA", dir + "PF001.dia", false)) {
      Failed("template copy");
    }
  }

  ArchiveList list;
  const double load = Best([&] { static_cast<void>(LoadArchiveList(ctx, list)); });
  if (list.Count() != static_cast<std::size_t>(archives)) Failed("the list has " + std::to_string(list.Count()));
  ArchiveRow row;
  const double find = Best([&] {
    if (!FindListedArchive(ctx, std::to_string(archives / 2), row)) Failed("find");
  });
  std::string command = ShellWord(binDir + "vorlend-batch") + " list";
  for (const std::string& g : groups) command += " " + ShellWord(g);
  command += " >/dev/null";
  const double batchList = Best([&] {
    if (std::system(command.c_str()) != 0) Failed(command);
  });
  std::optional<UnfinishedArchive> found;
  const double saveLook = Best([&] {
    ArchiveList listed;
    static_cast<void>(LoadArchiveList(ctx, listed));
    if (!FindUnfinished(ctx, listed, {"PF001"}, {}, found).IsOk() || found) Failed("an archive in the way of a save");
  });
  ArchiveRow oldest;
  if (!FindListedArchive(ctx, "1", oldest)) Failed("find 1");
  const double restoreLook = Best([&] {
    if (NewerArchivesHolding(ctx, oldest).size() != static_cast<std::size_t>(archives - 1)) {
      Failed("newer archives");
    }
  });
  std::printf("catalogue of %d archives of one agenda (best of five runs)\n", archives);
  std::printf("  LoadArchiveList              %7.3f s   (aim: vorlend-batch list under 0.5 s)\n", load);
  std::printf("  vorlend-batch list, process  %7.3f s\n", batchList);
  std::printf("  one archive by its number    %7.2f ms  (aim: under 50 ms)\n", find * 1000);
  std::printf("  a save's look at the others  %7.3f s   (aim: under 0.1 s for 100 archives)\n", saveLook);
  std::printf("  a restore's look at newer    %7.3f s   (the oldest archive: every other one is newer)\n", restoreLook);
  std::system(("rm -rf " + ShellWord(pattern)).c_str());
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> counts;
  for (int i = 1; i < argc; ++i) counts.push_back(std::atoi(argv[i]));
  if (counts.empty()) counts = {100, 5000};
  for (const int archives : counts) Bench(archives);
  return 0;
}

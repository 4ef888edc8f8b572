// "Another Money user": keeps the given document tables open and, until SIGTERM/SIGINT or the
// time limit, repeatedly locks a random document, reads its Uzamceni, holds the lock a random
// while, writes the flipped value and posts. Optionally deletes and appends documents.
// Log lines (one per op, flushed):
//   F <table> <key> <observed> <written>     flip done (observed = value read after the lock)
//   C <table> <key>                          lock conflict (someone else holds it)
//   G <table> <key>                          record gone
//   D <table> <key>                          deleted
//   A <table> <key> <value>                  appended
//   E <table> <key> <message>                failure
// usage: stress-other-user LOG SECONDS SEED HOLDMS_MAX PDEL PAPP TABLE...
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "engine/table.h"
#include "host/bftable.h"

using namespace vorlend;

static volatile std::sig_atomic_t g_stop = 0;
static void OnSig(int) {
  g_stop = 1;
}

static std::string V(const Variant& v) {
  if (v.IsNull()) return "N";
  bool b = false;
  if (v.ToBool(b)) return b ? "1" : "0";
  return "?";
}

struct T {
  std::string path, name, keyField;
  std::unique_ptr<TBFTable> t;
  std::vector<int> keys;
};

int main(int argc, char** argv) {
  if (argc < 8) {
    std::fprintf(stderr, "usage\n");
    return 2;
  }
  std::signal(SIGTERM, OnSig);
  std::signal(SIGINT, OnSig);
  // A Money user's program waits for the add-on's block as long as it must.
  vorlend::engine::SetBusyTimeout(10000);
  FILE* log = std::fopen(argv[1], "w");
  const double seconds = std::atof(argv[2]);
  std::mt19937 rng(std::atoi(argv[3]));
  const int holdMax = std::atoi(argv[4]);
  const double pDel = std::atof(argv[5]), pApp = std::atof(argv[6]);
  std::vector<T> tables;
  for (int i = 7; i < argc; ++i) {
    T t;
    t.path = argv[i];
    std::string base = t.path.substr(t.path.find_last_of('/') + 1);
    std::string dir = t.path.substr(0, t.path.find_last_of('/'));
    t.name = dir.substr(dir.find_last_of('/') + 1) + "/" + base;
    t.keyField = base.rfind("SKSEZDOK", 0) == 0 ? "CDokladu" : "Cislo";
    t.t = std::make_unique<TBFTable>();
    if (t.t->OpenTable(t.path) != 0) {
      std::fprintf(stderr, "open %s: %s\n", t.path.c_str(), t.t->LastError().c_str());
      return 1;
    }
    if (t.t->SetOrder(t.keyField) != 0) {
      std::fprintf(stderr, "no index %s in %s\n", t.keyField.c_str(), t.path.c_str());
      return 1;
    }
    for (t.t->GoTop(); !t.t->IsEof(); t.t->Skip()) {
      std::int32_t k;
      if (t.t->Value(t.keyField).ToInt(k)) t.keys.push_back(k);
    }
    if (const char* lim = std::getenv("KEYS_PER_TABLE")) {
      std::shuffle(t.keys.begin(), t.keys.end(), rng);
      if (t.keys.size() > static_cast<std::size_t>(std::atoi(lim))) t.keys.resize(std::atoi(lim));
    }
    tables.push_back(std::move(t));
  }
  std::printf("ready\n");
  std::fflush(stdout);
  int appendKey = 90000000 + static_cast<int>(rng() % 1000) * 1000;
  const auto start = std::chrono::steady_clock::now();
  long ops = 0;
  std::uniform_real_distribution<double> u(0, 1);
  while (!g_stop && std::chrono::steady_clock::now() - start < std::chrono::duration<double>(seconds)) {
    T& t = tables[rng() % tables.size()];
    TBFTable& b = *t.t;
    const double r = u(rng);
    try {
      if (r < pApp) {
        b.AppendBlank();
        const bool v = rng() % 2;
        b.SetValue(t.keyField, Variant::FromInt(++appendKey));
        b.SetValue("Uzamceni", Variant::FromBool(v));
        if (b.Post() != 0)
          std::fprintf(log, "E %s %d append %s\n", t.name.c_str(), appendKey, b.LastError().c_str());
        else {
          std::fprintf(log, "A %s %d %d\n", t.name.c_str(), appendKey, v ? 1 : 0);
          t.keys.push_back(appendKey);
        }
      } else {
        if (t.keys.empty()) continue;
        const std::size_t ki = rng() % t.keys.size();
        const int key = t.keys[ki];
        if (b.Seek1(Variant::FromInt(key)) != kSeekFound) {
          std::fprintf(log, "G %s %d seek\n", t.name.c_str(), key);
          continue;
        }
        const int lr = b.LockRecord();
        if (lr == kLockRecordGone) {
          std::fprintf(log, "G %s %d\n", t.name.c_str(), key);
          continue;
        }
        if (lr != 0) {
          std::fprintf(log, "C %s %d\n", t.name.c_str(), key);
          continue;
        }
        if (r < pApp + pDel) {
          if (b.DeleteRecord() != 0)
            std::fprintf(log, "E %s %d delete %s\n", t.name.c_str(), key, b.LastError().c_str());
          else {
            std::fprintf(log, "D %s %d\n", t.name.c_str(), key);
            t.keys.erase(t.keys.begin() + ki);
          }
        } else {
          const Variant obs = b.Value("Uzamceni");
          const double stamp =
              std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
          bool ob = false;
          obs.ToBool(ob);
          const bool w = obs.IsNull() ? true : !ob;
          if (holdMax > 0) std::this_thread::sleep_for(std::chrono::milliseconds(rng() % (holdMax + 1)));
          b.EditRecord();
          b.SetValue("Uzamceni", Variant::FromBool(w));
          if (b.Post() != 0)
            std::fprintf(log, "E %s %d post %s\n", t.name.c_str(), key, b.LastError().c_str());
          else
            std::fprintf(log, "F %s %d %s %d %.6f\n", t.name.c_str(), key, V(obs).c_str(), w ? 1 : 0, stamp);
        }
      }
    } catch (const std::exception& e) {
      std::fprintf(log, "E %s 0 exception %s\n", t.name.c_str(), e.what());
    }
    std::fflush(log);
    ++ops;
  }
  std::fclose(log);
  std::fprintf(stderr, "otheruser: %ld ops\n", ops);
  return 0;
}

/* Loaded into archive_bench with LD_PRELOAD: counts the process's disk syncs (fsync, fdatasync,
 * sync_file_range is not used by SQLite) and, with VORLEND_SYNC_DELAY_MS set, makes each of them
 * that much slower, as on a disk whose sync is slow. The bench reads the count through
 * vorlend_sync_count, found with dlsym; a process without the shim counts nothing. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdlib.h>
#include <time.h>

static long g_syncs;
static long g_delayMs = -1;

static void Delay(void) {
  ++g_syncs;
  if (g_delayMs < 0) {
    const char* text = getenv("VORLEND_SYNC_DELAY_MS");
    g_delayMs = text ? atol(text) : 0;
  }
  if (g_delayMs > 0) {
    struct timespec t = {g_delayMs / 1000, (g_delayMs % 1000) * 1000000L};
    nanosleep(&t, NULL);
  }
}

long vorlend_sync_count(void) {
  return g_syncs;
}

int fsync(int fd) {
  static int (*real)(int);
  if (!real) real = (int (*)(int))dlsym(RTLD_NEXT, "fsync");
  Delay();
  return real(fd);
}

int fdatasync(int fd) {
  static int (*real)(int);
  if (!real) real = (int (*)(int))dlsym(RTLD_NEXT, "fdatasync");
  Delay();
  return real(fd);
}

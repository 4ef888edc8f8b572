# Sourced by the Windows scripts (build, tests, round trip):
#   . scripts/wine-env.sh BUILD_DIR      wine's settings, with the prefix in BUILD_DIR/wineprefix
#   start_wine                           a kept wineserver with its services, stopped at exit
# No Mono or Gecko: a new wine prefix would otherwise offer to download them.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEPREFIX=${WINEPREFIX:-$PWD/$1/wineprefix}

# The kept server starts each program in a fraction of a second (a server still up from an
# earlier run does as well). wine's own services start with the first program of a server and
# inherit its output: started here, with files as their output, they never hold a test's or a
# caller's pipe open.
#
# The Win32 window's test program (test_win32.exe) places its windows itself, as wine does without
# a window manager: hiding a window then costs nothing, where wine would otherwise wait up to two
# seconds for a manager to answer each hidden window and message box. Its display tests
# (test_win32_display.exe) keep the manager, as users have one.
start_wine() {
  wineserver -p >/dev/null 2>&1 </dev/null || true
  wineboot >/dev/null 2>&1 </dev/null || true
  trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
  wine reg add 'HKCU\Software\Wine\AppDefaults\test_win32.exe\X11 Driver' /v Managed /d N /f \
    >/dev/null 2>&1 </dev/null || true
}

#!/usr/bin/env bash
# The Windows round trip: builds the Windows tools (scripts/build-windows.sh) and, under wine,
# seeds an agenda, saves its lock states with unlock, lists, shows and restores them through
# vorlend-batch.exe, printing what it does.
#   scripts/demo-windows.sh             the round trip, then, when a display is available, the
#                                       wizard vorlend.exe on the same agenda until it is closed
#   scripts/demo-windows.sh --compare   also saves the same agenda with the Linux build and checks
#                                       that both archives hold the same info.tab, the same info
#                                       apart from the date and times, and the same tables
set -euo pipefail
cd "$(dirname "$0")/.."
compare=0
[[ ${1:-} == --compare ]] && compare=1
# The wizard opens only for a person watching a display, never in the comparison CI runs.
window=0
[[ $compare -eq 0 && -n ${DISPLAY:-} ]] && window=1
targets=(agenda-seed tablectl vorlend-batch template-table)
[[ $window -eq 1 ]] && targets+=(vorlend)
started=$(date +%s)
win_build=${WINDOWS_BUILD_DIR:-build-windows}
echo "demo-windows.sh: building the Windows tools (log: $win_build/demo-build.log)" >&2
mkdir -p "$win_build"
scripts/build-windows.sh "$win_build" --target "${targets[@]}" \
  >"$win_build/demo-build.log" 2>&1 || { tail -n 40 "$win_build/demo-build.log" >&2; exit 1; }
wbin=$PWD/$win_build/bin

. scripts/wine-env.sh "$win_build"
start_wine
# A program under wine; its messages and wine's go to a file.
win() { wine "$@" 2>"$work/wine-stderr.log"; }

work=$PWD/$win_build/demo
rm -rf "$work" && mkdir -p "$work"
# A folder with a Czech name, as Money's data folders often have.
data="$work/Účetnictví"
echo "demo-windows.sh: seeding an agenda in $data (agenda-seed.exe)" >&2
win "$wbin/agenda-seed.exe" "Z:$data" --agendas 1 --years 2 --docs 200 --locked 20 >/dev/null
groups() {
  echo "?MAIN=1?MAIN"; echo "?AKTROK=$1/AGENDA.001/ROK.002?AKTROK"; echo "?MVERZE=13.00?MVERZE"
  echo "?AKTHESLO=?AKTHESLO"; echo "?AKTCFGNAME=Default?AKTCFGNAME"
}
mapfile -t wgroups < <(groups "Z:$data")
[[ $compare -eq 1 ]] && cp -a "$data" "$work/linux-copy"

echo "demo-windows.sh: vorlend-batch.exe save --action unlock" >&2
number=$(win "$wbin/vorlend-batch.exe" save "${wgroups[@]}" --years all --modules all --action unlock --name "Ukázka" --quiet)
echo "Archive $number saved under wine; every document is now unlocked." >&2
win "$wbin/vorlend-batch.exe" list "${wgroups[@]}"
win "$wbin/vorlend-batch.exe" show "${wgroups[@]}" --archive "$number"
cp -a "$data/KPX/Vorlend/Db/$number" "$work/windows-archive"
win "$wbin/vorlend-batch.exe" restore "${wgroups[@]}" --archive "$number" --delete-after
echo "Archive $number restored and deleted under wine; every document has its lock state back." >&2

if [[ $compare -eq 1 ]]; then
  lbin=${BUILD_DIR:-build}/bin
  scripts/build.sh agenda-seed tablectl vorlend-batch template-table >"$win_build/demo-linux-build.log" 2>&1 ||
    { tail -n 40 "$win_build/demo-linux-build.log" >&2; exit 1; }
  mapfile -t lgroups < <(groups "$work/linux-copy")
  lnumber=$("$lbin/vorlend-batch" save "${lgroups[@]}" --years all --modules all --action unlock --name "Ukázka" --quiet 2>"$work/linux-save.log")
  larchive="$work/linux-copy/KPX/Vorlend/Db/$lnumber"
  cmp "$larchive/info.tab" "$work/windows-archive/info.tab"
  # The date and time of the save differ, and the time's format is the system's.
  diff <(grep -av "^\(Date\|Time\|SavedUtc\)=" "$larchive/info") <(grep -av "^\(Date\|Time\|SavedUtc\)=" "$work/windows-archive/info")
  tables=0
  for dat in "$larchive"/*.DAT "$larchive"/*.dat; do
    [[ -e $dat ]] || continue
    name=$(basename "${dat%.*}")
    diff <("$lbin/tablectl" dump "${dat%.*}") <("$lbin/tablectl" dump "$work/windows-archive/$name")
    # Both SQLite builds overwrite freed content: the tables are the same byte for byte.
    cmp "$dat" "$work/windows-archive/$name.dat"
    tables=$((tables + 1))
  done
  echo "demo-windows.sh: the archive saved under wine equals the Linux build's (info.tab, info, $tables tables byte for byte)" >&2
fi
if [[ $window -eq 1 ]]; then
  echo "demo-windows.sh: opening the wizard vorlend.exe on $data (close it to end the demo)" >&2
  # The version check never leaves this machine.
  VORLEND_VENDOR_URL=http://127.0.0.1:9 wine "$wbin/vorlend.exe" "${wgroups[@]}" 2>"$work/wine-wizard.log" || true
fi
echo "demo-windows.sh: done in $(( $(date +%s) - started )) s" >&2

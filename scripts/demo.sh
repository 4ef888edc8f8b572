#!/usr/bin/env bash
# Installs what is needed, builds, seeds the demo data directory (demo-data/, once), and starts the
# add-on on it the way Money starts it. With a display the wizard opens; without one, the same
# save and restore run through vorlend-batch, so the main job can be watched on the console.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
# What the demo and the README's administrator round run: the seeding tool, the template table,
# tablectl, the batch tool, and the window when there is a display (scripts/test.sh builds
# everything). The compiler's output goes to a log; only a failure shows it.
build_dir=${BUILD_DIR:-build}
targets=(agenda-seed template-table tablectl vorlend-batch)
[[ -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ]] && targets+=(vorlend)
mkdir -p "$build_dir"
echo "demo.sh: building ${targets[*]} (log: $build_dir/demo-build.log)" >&2
scripts/build.sh "${targets[@]}" >"$build_dir/demo-build.log" 2>&1 || { tail -n 40 "$build_dir/demo-build.log" >&2; exit 1; }
bin="$build_dir/bin"
data=${DEMO_DATA:-demo-data}

if [[ ! -d "$data" ]]; then
  "$bin/agenda-seed" "$data" --agendas 2 --years 3 --docs 300 --locked 30 >/dev/null
  echo "demo.sh: seeded the demo data directory $data" >&2
fi
# Money's command line: the current year (the most recent of the first agenda), Money's version,
# the user's password entry (empty: the operating-system account identifies the user) and the
# user's configuration.
groups=("?MAIN=1?MAIN" "?AKTROK=$(realpath "$data")/AGENDA.001/ROK.003?AKTROK" "?MVERZE=13.00?MVERZE"
        "?AKTHESLO=?AKTHESLO" "?AKTCFGNAME=Default?AKTCFGNAME")

# The version check asks the vendor's server; the demo never reaches outside this machine.
export VORLEND_VENDOR_URL=${VORLEND_VENDOR_URL:-http://127.0.0.1:9}

if [[ -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ]]; then
  exec "$bin/vorlend" "${groups[@]}"
fi

echo "demo.sh: no display; running the save and the restore through vorlend-batch" >&2
number=$("$bin/vorlend-batch" save "${groups[@]}" --years all --modules all --action unlock --name "Demo $(date +%H:%M)")
echo "Archive $number saved; every document of the agenda is now unlocked." >&2
"$bin/vorlend-batch" list "${groups[@]}"
"$bin/vorlend-batch" show "${groups[@]}" --archive "$number"
"$bin/vorlend-batch" restore "${groups[@]}" --archive "$number" --delete-after
echo "Archive $number restored and deleted; every document has its lock state back." >&2
echo "To see the wizard: run this script in a desktop session, or" \
     "cmake --build $build_dir --target vorlend-screens && scripts/screenshots.sh $build_dir" >&2

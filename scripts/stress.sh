#!/usr/bin/env bash
# The concurrency campaign: real vorlend-batch processes, "another Money user" flipping, deleting
# and appending documents, two saves at once, a save beside a restore, SIGKILL and SIGTERM in the
# middle, each interrupted save's incomplete archive restored; every invariant checked through
# tablectl dump. Last comes the recovery check (s11): a save SIGKILLed at a hundred moments spread
# over its whole length, every document back as before after the restore, and twenty saves stopped
# with SIGTERM early on (S11_ROUNDS, S11_TERM_ROUNDS change the counts). About five minutes on 2
# cores, half of them the recovery check; not part of scripts/test.sh.
#   scripts/stress.sh [scenario ...]     (default: all; see tests/stress/campaign.py)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
build_dir=${BUILD_DIR:-build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 tests/stress/campaign.py "$build_dir/bin" "$build_dir/bin/stress-other-user" "$work" "$@"

#!/usr/bin/env bash
# The concurrency campaign: real vorlend-batch processes, "another Money user" flipping, deleting
# and appending documents, two saves at once, a save beside a restore, SIGKILL and SIGTERM in the
# middle; every invariant checked through tablectl dump. About three minutes on 2 cores; not part
# of scripts/test.sh.
#   scripts/stress.sh [scenario ...]     (default: all; see tests/stress/campaign.py)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
build_dir=${BUILD_DIR:-build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 tests/stress/campaign.py "$build_dir/bin" "$build_dir/bin/stress-other-user" "$work" "$@"

#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test. Exits non-zero on any failure.
#
# The PostgreSQL cases run against a throwaway cluster of their own
# (scripts/pg-cluster.sh: a scratch folder under /tmp, a Unix socket there only),
# stopped and removed at the end, also when tests fail. With PELVARO_PG already
# set, that server is used instead. Without a server the PostgreSQL cases are
# reported as skipped, with the reason.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
bash scripts/install-deps.sh
bash scripts/build.sh build

pgdir=""
stop_cluster() {
  if [ -n "$pgdir" ]; then
    bash "$root/scripts/pg-cluster.sh" stop "$pgdir" || true
    pgdir=""
  fi
}
trap stop_cluster EXIT
trap 'exit 130' INT TERM

if [ -z "${PELVARO_PG:-}" ]; then
  pgdir=$(mktemp -d /tmp/pvpg.XXXXXX)
  if exports=$(bash "$root/scripts/pg-cluster.sh" start "$pgdir"); then
    eval "$exports"
    echo "PostgreSQL test cluster in $pgdir"
  else
    echo "warning: no PostgreSQL test cluster; the PostgreSQL cases will be skipped" >&2
    dir=$pgdir
    stop_cluster
    rm -rf "$dir"
  fi
fi

(cd build && ctest --output-on-failure -j"$(nproc)")

# The whole suite once more under AddressSanitizer and UndefinedBehaviorSanitizer.
bash scripts/build.sh build-asan -DPELVARO_SANITIZE=ON
(cd build-asan && ctest --output-on-failure -j"$(nproc)")

# The end-to-end demonstration under valgrind's memcheck: any error fails.
bash scripts/valgrind-demo.sh build

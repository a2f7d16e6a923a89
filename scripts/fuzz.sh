#!/usr/bin/env bash
# Builds the libFuzzer targets in build-fuzz (clang, address and undefined
# behaviour sanitizers) and runs one target, or all of them one after the
# other, for the given number of seconds each:
#   bash scripts/fuzz.sh [config_file|decipher|timestamps|args|log_entry|all] [seconds]
# The seeds of fuzz/corpus/<target> are read, never written: new interesting
# inputs go to build-fuzz/corpus/<target>, crashes to build-fuzz/crashes/<target>.
# Extra libFuzzer flags can be given in FUZZ_FLAGS (e.g. FUZZ_FLAGS=-jobs=2).
set -euo pipefail
cd "$(dirname "$0")/.."

targets=(config_file decipher timestamps args log_entry)
which=${1:-all}
seconds=${2:-60}
dir=${FUZZ_BUILD_DIR:-build-fuzz}

if [[ "$which" == all ]]; then
  run=("${targets[@]}")
else
  found=0
  for t in "${targets[@]}"; do [[ "$t" == "$which" ]] && found=1; done
  if [[ $found == 0 ]]; then
    echo "unknown target '$which'; one of: ${targets[*]} all" >&2
    exit 2
  fi
  run=("$which")
fi
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [[ "$seconds" == 0 ]]; then
  echo "seconds must be a positive number" >&2
  exit 2
fi

CC=clang CXX=clang++ cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPELVARO_FUZZ=ON -DPELVARO_SANITIZE=ON -DPELVARO_TESTS=OFF >/dev/null
cmake --build "$dir" -j"$(nproc)" --target "${run[@]/#/fuzz_}"

# The configuration reader needs room for lines past their read limits.
max_len() { [[ "$1" == config_file ]] && echo 4096 || echo 1024; }

status=0
for t in "${run[@]}"; do
  scratch="$dir/corpus/$t"
  crashes="$dir/crashes/$t"
  mkdir -p "$scratch" "$crashes"
  echo "== fuzz_$t for ${seconds}s (new inputs: $scratch)"
  # shellcheck disable=SC2086
  if ! nice -n 10 "$dir/fuzz/fuzz_$t" -max_total_time="$seconds" -max_len="$(max_len "$t")" \
      -print_final_stats=1 -artifact_prefix="$crashes/" ${FUZZ_FLAGS:-} \
      "$scratch" "fuzz/corpus/$t"; then
    echo "== fuzz_$t found a crash or a broken invariant: see $crashes" >&2
    status=1
  fi
done
exit $status

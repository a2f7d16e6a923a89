#!/usr/bin/env bash
# Runs a small demonstration plant through pelvaro in modes X and M under
# valgrind's memcheck; any memory error or definite leak fails the script.
# Usage: scripts/valgrind-demo.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:-build}" && pwd)
dir=$(mktemp -d /tmp/pvvg.XXXXXX)
trap 'rm -rf "$dir"' EXIT
today=$(date +%Y%m%d)
first=$(date -d "$today - 14 days" +%Y%m%d)
yesterday=$(date -d "$today - 1 day" +%Y%m%d)
"$build/pelvaro-admin" demo "$dir/plant" --workplaces 4 --days 14 --today "$today" >/dev/null
memcheck=(valgrind --quiet --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite)
run="$dir/plant/site/bin/batch/run"
(cd "$run" && "${memcheck[@]}" "$build/pelvaro" QUORVELT APL 0000000000 "$first" "$yesterday")
(cd "$run" && "${memcheck[@]}" "$build/pelvaro" OPERATOR APL 0000000000)
(cd "$run" && "${memcheck[@]}" "$build/pelvaro" OPERATOR APL)
log="$run/Msg/Pelvaro.Txt"
# The short command line must have been reported: the program ran to its end.
grep -q "Mindestanzahl Parameter unterschritten" "$log"
echo "valgrind memcheck: demo runs in modes X and M and a refused command line without errors"

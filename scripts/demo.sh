#!/usr/bin/env bash
# The demonstration: builds if needed, creates a fresh demo plant in ./demo,
# evaluates it with pelvaro in mode X and then mode M, and prints the
# evaluation records of a few workplaces, the markers, the stamp and the log.
# Runs in the machine's time zone: the plant's "today" is the local date.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${BUILD_DIR:-build}  # the build folder, build/ unless BUILD_DIR names another
days=28

say() { printf '\n== %s\n' "$*"; }

say "build (log in $build/demo-build.log)"
bash scripts/install-deps.sh
mkdir -p "$build"
if ! bash scripts/build.sh "$build" >"$build/demo-build.log" 2>&1; then
  tail -n 30 "$build/demo-build.log"
  echo "build failed, see $build/demo-build.log" >&2
  exit 1
fi
admin=$root/$build/pelvaro-admin
pelvaro=$root/$build/pelvaro
echo "built: $pelvaro, $admin"

today=$(date +%Y%m%d)
first=$(date -d "$today -$days days" +%Y%m%d)
yesterday=$(date -d "$today -1 day" +%Y%m%d)
# The days shown: back from today until two working days are in.
from=$today
weekdays=0
while [ "$weekdays" -lt 2 ]; do
  from=$(date -d "$from -1 day" +%Y%m%d)
  [ "$(date -d "$from" +%u)" -le 5 ] && weekdays=$((weekdays + 1))
done

say "demo plant in ./demo"
rm -rf demo
"$admin" demo demo --days "$days" --today "$today"
db=$root/demo/plant.db
run=$root/demo/site/bin/batch/run

q() { sqlite3 -header -column "$db" "$@"; }
markers() {
  local n
  n=$(sqlite3 "$db" "SELECT count(*) FROM Kvn563Mrk")
  if [ "$n" -eq 0 ]; then
    echo "none"
  else
    q "SELECT MrkKng AS kind, MrkApl AS workplace, MrkApk AS 'order', MrkApp AS position,
              MrkMdt AS 'recalculate from' FROM Kvn563Mrk ORDER BY MrkApl, MrkMdt"
  fi
}
timed() {
  local start end
  start=$(date +%s%N)
  (cd "$run" && "$@")
  end=$(date +%s%N)
  printf '   done in %d ms\n' $(((end - start) / 1000000))
}

say "order positions running when the plant's messages end (today 00:00): the message buffer"
q "SELECT MapApl AS workplace, MapApk AS 'order', MapApp AS position, MapMzt AS 'last message',
          CASE Map00U WHEN '1' THEN 'interrupted' ELSE 'running' END AS state
   FROM Kvn565Map ORDER BY MapApl, MapApk, MapApp"

say "recalculation markers written by the plant"
markers

say "mode X: every workplace over the history, $first to yesterday $yesterday"
echo "   (the span stops before today, so the markers stay for mode M)"
echo "   cd demo/site/bin/batch/run && pelvaro QUORVELT APL 0000000000 $first $yesterday"
timed "$pelvaro" QUORVELT APL 0000000000 "$first" "$yesterday"

say "mode M: the marked workplaces, from the day before each marker's day to today"
echo "   cd demo/site/bin/batch/run && pelvaro OPERATOR APL 0000000000"
timed "$pelvaro" OPERATOR APL 0000000000

say "evaluation records, $from to $today"
echo "   occupied = working + interrupted + break + int.break (interrupted within breaks);"
echo "   target is the shift's length, breaks the break minutes of all shifts of its model"
echo "   that day. A gap is occupied time between shifts, a closing record the time after"
echo "   the last shift of the span. The messages end at today 00:00; positions still"
echo "   running then count on up to the moment of the run."
for w in 0000001001 0000001005 0000001012; do
  group=$(sqlite3 "$db" "SELECT AplApg FROM Kvn531Apl WHERE AplApl='$w'")
  own=$(sqlite3 "$db" "SELECT AemEmo FROM Kvn532Aem WHERE AemApg='$w' AND AemKng=2")
  model=${own:-$(sqlite3 "$db" "SELECT AemEmo FROM Kvn532Aem WHERE AemApg='$group' AND AemKng=1")}
  echo
  echo "-- group $group, shift model $model${own:+ (its own assignment)}"
  "$admin" show "$db" "$w" "$from" "$today"
done

say "recalculation markers left"
markers

say "stamp: the parameter row of kind 4"
q "SELECT NzpAkz AS kind, NzpGvn AS 'valid from', NzpGbi AS 'valid to', NzpAdt AS stamped,
          NzpAus AS user, NzpAan AS count FROM Kvn591Nzp"

say "message log"
log=$run/Msg/Pelvaro.Txt
if [ -f "$log" ]; then
  # Entries begin with a line of the single byte 0xFE; lines end in CR LF.
  tr -d '\r' <"$log" | LC_ALL=C sed $'s/^\xfe$/---- entry/'
else
  echo "message log: no entries"
fi

#!/usr/bin/env bash
# Installs the system packages the build and the tests need, only those missing.
# The PostgreSQL server is wanted for the PostgreSQL cases of the tests; when it
# cannot be installed, those cases are skipped (with the reason) and the rest runs.
set -euo pipefail
packages=(g++ cmake make libgtest-dev libsqlite3-dev sqlite3 libpq-dev faketime valgrind)
optional=(postgresql)
if [ "$(id -u)" -eq 0 ]; then SUDO=""; else SUDO="sudo"; fi
missing_of() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
  done
}
updated=""
install() {
  echo "installing: $*"
  if [ -z "$updated" ]; then $SUDO apt-get update -qq; updated=1; fi
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "$@"
}
mapfile -t missing < <(missing_of "${packages[@]}")
if [ ${#missing[@]} -gt 0 ]; then install "${missing[@]}"; fi
mapfile -t missing < <(missing_of "${optional[@]}")
if [ ${#missing[@]} -gt 0 ]; then
  install "${missing[@]}" || echo "warning: could not install ${missing[*]}; the PostgreSQL tests will be skipped" >&2
fi

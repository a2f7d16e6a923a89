#!/usr/bin/env bash
# A throwaway PostgreSQL cluster for the tests.
#
#   pg-cluster.sh start DIR   initdb in DIR (a new or empty scratch folder), start the
#                             server on a Unix socket in DIR only (no TCP), create a
#                             role with a password and a database for it, and print
#                             the connection as shell exports:
#                               export PELVARO_PG='host=DIR dbname=pelvaro_test'
#                               export PELVARO_PG_USER=pelvaro_test
#                               export PELVARO_PG_PASSWORD=<random>
#   pg-cluster.sh stop DIR    stop that server and remove DIR.
#
# The cluster belongs to an unprivileged user: the current user, or when run as
# root the `postgres` system user of the Debian package (initdb refuses root).
# Keep DIR short: the socket path must fit 107 bytes, and the connection string
# goes into a configuration value of at most 51 characters.
set -euo pipefail

die() { echo "pg-cluster: $*" >&2; exit 1; }

[ $# -eq 2 ] || die "usage: $0 start|stop DIR"
cmd=$1
mkdir -p "$2" 2>/dev/null || true
[ -d "$2" ] || die "no folder $2"
dir=$(cd "$2" && pwd)
marker="$dir/.pelvaro-pg-cluster"

bindir=""
for d in $(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V -r); do
  if [ -x "$d/initdb" ] && [ -x "$d/pg_ctl" ]; then bindir=$d; break; fi
done
if [ -z "$bindir" ] && command -v pg_ctl >/dev/null 2>&1; then bindir=$(dirname "$(command -v pg_ctl)"); fi
[ -n "$bindir" ] || die "no PostgreSQL server installed (initdb/pg_ctl not found)"

if [ "$(id -u)" -eq 0 ]; then
  owner=postgres
  getent passwd "$owner" >/dev/null || die "no unprivileged user '$owner' to own the cluster"
  as_owner() { runuser -u "$owner" -- "$@"; }
else
  owner=$(id -un)
  as_owner() { "$@"; }
fi

case "$cmd" in
  start)
    [ -z "$(ls -A "$dir")" ] || die "$dir is not empty"
    [ ${#dir} -le 80 ] || die "$dir is too long for a socket path"
    chown "$owner" "$dir" 2>/dev/null || true
    chmod 700 "$dir"
    as_owner test -w "$dir" || die "$owner cannot write $dir (is a parent folder closed to it?)"
    touch "$marker"
    password=$(head -c 12 /dev/urandom | od -An -tx1 | tr -d ' \n')
    as_owner "$bindir/initdb" -D "$dir/data" -U "$owner" -E UTF8 --locale=C \
      --auth-local=peer --auth-host=reject >"$dir/initdb.log" 2>&1 ||
      { cat "$dir/initdb.log" >&2; die "initdb failed"; }
    # The owner by peer authentication, everybody else by password.
    as_owner tee "$dir/data/pg_hba.conf" >/dev/null <<EOF
local all $owner peer
local all all scram-sha-256
EOF
    as_owner tee -a "$dir/data/postgresql.conf" >/dev/null <<EOF
listen_addresses = ''
unix_socket_directories = '$dir'
port = 5432
max_connections = 200
fsync = off
synchronous_commit = off
full_page_writes = off
EOF
    as_owner "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 start >/dev/null ||
      { cat "$dir/server.log" >&2; die "server did not start"; }
    as_owner "$bindir/psql" -X -q -v ON_ERROR_STOP=1 -h "$dir" -U "$owner" -d postgres \
      -c "CREATE ROLE pelvaro_test LOGIN CREATEDB PASSWORD '$password'" \
      -c "CREATE DATABASE pelvaro_test OWNER pelvaro_test" >/dev/null ||
      die "could not create the test role and database"
    echo "export PELVARO_PG='host=$dir dbname=pelvaro_test'"
    echo "export PELVARO_PG_USER=pelvaro_test"
    echo "export PELVARO_PG_PASSWORD=$password"
    ;;
  stop)
    [ -f "$marker" ] || die "$dir holds no cluster of this script"
    if [ -f "$dir/data/postmaster.pid" ]; then
      as_owner "$bindir/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1 || true
    fi
    rm -rf "$dir"
    ;;
  *)
    die "usage: $0 start|stop DIR"
    ;;
esac

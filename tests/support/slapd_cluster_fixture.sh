#!/usr/bin/env bash
# The one slapd cluster of a test run (master, read-only replica, partition
# server: scripts/slapd-cluster.sh): ctest's fixture starts it on free
# loopback ports before the tests that need it and stops it by its PIDs
# afterwards. The tests find it through FILE (dir=, master=, replica=,
# partition=, *_pid= lines); without slapd installed FILE says so and they
# skip.
#
#   slapd_cluster_fixture.sh start FILE
#   slapd_cluster_fixture.sh stop FILE
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
cluster="$root/scripts/slapd-cluster.sh"
action="${1:-}"
file="${2:-}"
[ -n "$file" ] || { echo "usage: $0 start|stop FILE" >&2; exit 2; }

# Stops the cluster FILE names (also one a killed run left behind).
stop() {
  [ -f "$file" ] || return 0
  local dir
  dir="$(sed -n 's/^dir=//p' "$file")"
  [ -n "$dir" ] && [ -d "$dir" ] && bash "$cluster" stop "$dir"
  rm -f "$file"
}

case "$action" in
  start)
    stop
    if ! command -v slapd >/dev/null 2>&1 && [ ! -x /usr/sbin/slapd ]; then
      echo "missing=slapd is not installed" >"$file"
      echo "slapd is not installed (Debian package slapd): the cluster tests skip"
      exit 0
    fi
    for attempt in 1 2 3 4 5; do
      # Four consecutive free ports: three servers and one where nothing
      # listens (a referral there cannot be followed).
      port=$((20000 + RANDOM % 40000))
      busy=0
      for i in 0 1 2 3; do
        if (exec 3<>"/dev/tcp/127.0.0.1/$((port + i))") 2>/dev/null; then busy=1; fi
      done
      [ "$busy" = 1 ] && continue
      if out="$(bash "$cluster" start --port "$port" --test-referrals)"; then
        printf '%s\n' "$out" >"$file.new"
        mv "$file.new" "$file"
        cat "$file"
        exit 0
      fi
      echo "attempt $attempt on port $port failed" >&2
      dir="$(printf '%s\n' "$out" | sed -n 's/^dir=//p')"
      [ -n "$dir" ] && [ -d "$dir" ] && bash "$cluster" stop "$dir"
    done
    exit 1
    ;;
  stop) stop ;;
  *) echo "usage: $0 start|stop FILE" >&2; exit 2 ;;
esac

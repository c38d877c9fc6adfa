#!/usr/bin/env bash
# The one 389 Directory Server of a test run: ctest's fixture starts it with
# scripts/389ds-demo.sh on free loopback ports before the tests that need it
# and stops it afterwards. The tests find it through FILE (dir=, uri=, ldaps=,
# ca=, pid= lines); without 389-ds-base installed FILE says so and they skip.
#
#   ds389_fixture.sh start FILE [demo options]
#   ds389_fixture.sh stop FILE
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
demo="$root/scripts/389ds-demo.sh"
action="${1:-}"
file="${2:-}"
[ -n "$file" ] || { echo "usage: $0 start|stop FILE [options]" >&2; exit 2; }
shift 2

# Stops the instance FILE names (also one a killed run left behind).
stop() {
  [ -f "$file" ] || return 0
  local dir
  dir="$(sed -n 's/^dir=//p' "$file")"
  [ -n "$dir" ] && [ -d "$dir" ] && bash "$demo" stop "$dir"
  rm -f "$file"
}

# scripts/389ds-demo.sh binds the server to the loopback address only
# (nsslapd-listenhost and nsslapd-securelistenhost 127.0.0.1); the start
# checks that no socket of it listens anywhere else.
#
# Whether every socket listening on the given ports is bound to 127.0.0.1
# (from /proc/net/tcp and tcp6, addresses and ports in hexadecimal).
loopback_only() {
  local ports="" p
  for p in "$@"; do ports="$ports $(printf '%04X' "$p")"; done
  awk -v ports="$ports" '
    BEGIN { n = split(ports, want, " "); for (i = 1; i <= n; i++) mine[want[i]] = 1 }
    FNR > 1 && $4 == "0A" {
      split($2, local, ":")
      if ((local[2] in mine) && local[1] != "0100007F") bad = 1
    }
    END { exit bad }' /proc/net/tcp /proc/net/tcp6
}

case "$action" in
  start)
    stop
    have() { command -v "$1" >/dev/null 2>&1 || [ -x "/usr/sbin/$1" ]; }
    if ! have dscreate || ! have ns-slapd; then
      echo "missing=389-ds-base is not installed" >"$file"
      echo "389 Directory Server is not installed (Debian package 389-ds-base): its tests skip"
      exit 0
    fi
    start="$EPOCHREALTIME"
    for attempt in 1 2 3 4 5; do
      # Two consecutive free ports, ldap:// and ldaps://.
      port=$((20000 + RANDOM % 40000))
      (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && continue
      (exec 3<>"/dev/tcp/127.0.0.1/$((port + 1))") 2>/dev/null && continue
      if out="$(bash "$demo" start --port "$port" --ldaps-port "$((port + 1))" "$@")"; then
        printf '%s\n' "$out" >"$file.new"
        if ! loopback_only "$port" "$((port + 1))"; then
          mv "$file.new" "$file"
          stop
          echo "389 Directory Server listened beyond 127.0.0.1 on port $port or $((port + 1)): stopped" >&2
          exit 1
        fi
        mv "$file.new" "$file"
        cat "$file"
        awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "started in %.1f s\n", b - a }'
        exit 0
      fi
      echo "attempt $attempt on port $port failed" >&2
    done
    exit 1
    ;;
  stop) stop ;;
  *) echo "usage: $0 start|stop FILE [options]" >&2; exit 2 ;;
esac

#!/usr/bin/env bash
# Starts a throw-away OpenLDAP server on a loopback port that serves the demo
# directory (client/ldap/demo.ldif) with the directory schema
# (client/ldap/nds.schema), for the tests and for trying the client against
# a live directory. Everything lives in one folder; nothing else is touched.
#
#   scripts/slapd-demo.sh start [options]    prints dir=, pid=, uri= (and ldaps=)
#   scripts/slapd-demo.sh stop DIR           stops the server and removes DIR
#   scripts/slapd-demo.sh restart DIR        starts the server of DIR again (after
#                                            it was killed), data as it was
#
# Options of start:
#   --dir DIR           folder for the configuration and the database
#                       (default: a new temporary folder)
#   --port N            port of ldap://127.0.0.1:N/ (default 3890)
#   --ldaps-port N      also serve ldaps://127.0.0.1:N/ (needs --tls-cert)
#   --tls-cert FILE     server certificate (PEM) for StartTLS and ldaps
#   --tls-key FILE      its private key (PEM)
#   --sizelimit N       entries a search returns without paging (default 500)
#   --ldif FILE         more entries to load after the demo (may repeat)
#   --no-demo           load only the --ldif files
#   --foreground        run in the foreground until interrupted
#
# The demo's users bind as cn=ADMIN,o=ACME (password NOVELL),
# cn=HELPDESK,ou=IS,o=ACME (HELPDESK1) and cn=JSMITH,ou=SALES,o=ACME (SALES1).
# ADMIN may set passwords below o=ACME, HELPDESK below ou=SALES,o=ACME; every
# user may change its own. Everyone may read everything else.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# The schema and the demo directory: beside the script where it is installed
# (share/dsviewer/ldap), else in the sources.
ldap="$here/ldap"
[ -f "$ldap/nds.schema" ] || ldap="$(cd "$here/.." && pwd)/client/ldap"

die() { echo "slapd-demo: $*" >&2; exit 1; }

find_tool() {
  local name="$1"
  local p
  for p in "$(command -v "$name" 2>/dev/null || true)" "/usr/sbin/$name" "/usr/bin/$name"; do
    [ -n "$p" ] && [ -x "$p" ] && { echo "$p"; return 0; }
  done
  return 1
}

cmd_stop() {
  local dir="${1:-}"
  [ -n "$dir" ] && [ -d "$dir" ] || die "stop: no such folder '${dir}'"
  [ -f "$dir/slapd.conf" ] || die "stop: $dir is not a slapd-demo folder"
  if [ -f "$dir/slapd.pid" ]; then
    local pid
    pid="$(cat "$dir/slapd.pid")"
    if kill "$pid" 2>/dev/null; then
      for _ in $(seq 1 100); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.05
      done
      kill -9 "$pid" 2>/dev/null || true
    fi
  fi
  rm -rf "$dir"
}

cmd_start() {
  local dir="" port=3890 ldaps_port="" cert="" key="" sizelimit=500 demo=1 foreground=0
  local extra=()
  while [ $# -gt 0 ]; do
    case "$1" in
      --dir) dir="$2"; shift 2 ;;
      --port) port="$2"; shift 2 ;;
      --ldaps-port) ldaps_port="$2"; shift 2 ;;
      --tls-cert) cert="$2"; shift 2 ;;
      --tls-key) key="$2"; shift 2 ;;
      --sizelimit) sizelimit="$2"; shift 2 ;;
      --ldif) extra+=("$2"); shift 2 ;;
      --no-demo) demo=0; shift ;;
      --foreground) foreground=1; shift ;;
      *) die "unknown option '$1'" ;;
    esac
  done
  [[ "$port" =~ ^[0-9]+$ ]] && [ "$port" -ge 1 ] && [ "$port" -le 65535 ] || die "bad port '$port'"
  [[ "$sizelimit" =~ ^[0-9]+$ ]] || die "bad size limit '$sizelimit'"
  if [ -n "$ldaps_port" ]; then
    [[ "$ldaps_port" =~ ^[0-9]+$ ]] || die "bad ldaps port '$ldaps_port'"
    [ -n "$cert" ] || die "--ldaps-port needs --tls-cert and --tls-key"
  fi
  if [ -n "$cert" ] || [ -n "$key" ]; then
    [ -r "$cert" ] && [ -r "$key" ] || die "cannot read the certificate or its key"
  fi

  local slapd slapadd
  slapd="$(find_tool slapd)" || die "slapd is not installed (Debian package slapd)"
  slapadd="$(find_tool slapadd)" || die "slapadd is not installed (Debian package slapd)"
  local schema=/etc/ldap/schema
  [ -f "$schema/inetorgperson.schema" ] || die "the OpenLDAP schemas are missing from $schema"
  local modules=/usr/lib/ldap
  [ -d "$modules" ] || modules="$(dirname "$(find /usr/lib -name 'back_mdb*.so*' -print -quit 2>/dev/null)")"

  if [ -z "$dir" ]; then
    dir="$(mktemp -d "${TMPDIR:-/tmp}/slapd-demo.XXXXXX")"
  else
    mkdir -p "$dir"
    dir="$(cd "$dir" && pwd)"
  fi
  mkdir -p "$dir/db/acme" "$dir/db/us"
  chmod 700 "$dir"

  local tls=""
  if [ -n "$cert" ]; then
    tls="TLSCertificateFile $(readlink -f "$cert")
TLSCertificateKeyFile $(readlink -f "$key")"
  fi

  cat >"$dir/slapd.conf" <<EOF
include $schema/core.schema
include $schema/cosine.schema
include $schema/inetorgperson.schema
include $ldap/nds.schema

pidfile $dir/slapd.pid
argsfile $dir/slapd.args
modulepath $modules
moduleload back_mdb
loglevel none
sizelimit size.soft=$sizelimit size.hard=$sizelimit size.prtotal=unlimited
password-hash {SSHA}
$tls

database mdb
suffix "o=ACME"
directory $dir/db/acme
maxsize 4294967296
index objectClass eq
index entryUUID eq

# Password rights of the demo: ADMIN below o=ACME, HELPDESK below SALES.
access to dn.subtree="ou=SALES,o=ACME" attrs=userPassword
  by self write
  by dn.exact="cn=ADMIN,o=ACME" write
  by dn.exact="cn=HELPDESK,ou=IS,o=ACME" write
  by anonymous auth
  by * none
access to dn.subtree="o=ACME" attrs=userPassword
  by self write
  by dn.exact="cn=ADMIN,o=ACME" write
  by anonymous auth
  by * none
access to attrs=userPassword
  by self write
  by anonymous auth
  by * none
access to * by * read

database mdb
suffix "c=US"
directory $dir/db/us
maxsize 1073741824
index objectClass eq
index entryUUID eq
access to attrs=userPassword
  by self write
  by anonymous auth
  by * none
access to * by * read
EOF

  local files=()
  [ "$demo" = 1 ] && files+=("$ldap/demo.ldif")
  files+=("${extra[@]}")
  # One database per naming context: each file's records go to the database
  # of their suffix (records are split at blank lines; the dn: line is plain).
  local f suffix part
  for f in "${files[@]}"; do
    [ -r "$f" ] || die "cannot read $f"
    for suffix in o=ACME c=US; do
      part="$dir/load.ldif"
      awk -v suffix="$suffix" '
        BEGIN { RS = ""; ORS = "\n\n"; s = tolower(suffix) }
        {
          dn = ""
          n = split($0, lines, "\n")
          for (i = 1; i <= n; i++) if (tolower(substr(lines[i], 1, 3)) == "dn:") { dn = tolower(lines[i]); break }
          sub(/^dn:[ ]*/, "", dn)
          gsub(/[ ]*,[ ]*/, ",", dn)
          if (dn == s || substr(dn, length(dn) - length(s)) == "," s) print
        }' "$f" >"$part"
      [ -s "$part" ] || continue
      "$slapadd" -q -f "$dir/slapd.conf" -b "$suffix" -l "$part" >"$dir/slapadd.log" 2>&1 ||
        { cat "$dir/slapadd.log" >&2; die "slapadd could not load $f"; }
    done
    rm -f "$dir/load.ldif"
  done

  local urls="ldap://127.0.0.1:$port/"
  [ -n "$ldaps_port" ] && urls="$urls ldaps://127.0.0.1:$ldaps_port/"
  echo "$urls" >"$dir/urls"

  echo "dir=$dir"
  echo "uri=ldap://127.0.0.1:$port/"
  [ -n "$ldaps_port" ] && echo "ldaps=ldaps://127.0.0.1:$ldaps_port/"
  if [ "$foreground" = 1 ]; then
    echo "pid=$$"
    exec "$slapd" -d 0 -f "$dir/slapd.conf" -h "$urls"
  fi

  launch "$slapd" "$dir" "$urls" "$port"
}

# Starts slapd in the background and waits until it answers.
launch() {
  local slapd="$1" dir="$2" urls="$3" port="$4"
  rm -f "$dir/slapd.pid"
  "$slapd" -f "$dir/slapd.conf" -h "$urls" >"$dir/slapd.log" 2>&1 || {
    cat "$dir/slapd.log" >&2
    die "slapd did not start (is port $port free?)"
  }
  local i
  for i in $(seq 1 200); do
    if [ -s "$dir/slapd.pid" ] && (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
      echo "pid=$(cat "$dir/slapd.pid")"
      return 0
    fi
    sleep 0.05
  done
  [ -s "$dir/slapd.pid" ] && kill "$(cat "$dir/slapd.pid")" 2>/dev/null || true
  die "slapd did not answer on port $port"
}

cmd_restart() {
  local dir="${1:-}"
  [ -n "$dir" ] && [ -f "$dir/slapd.conf" ] && [ -f "$dir/urls" ] || die "restart: $dir is not a slapd-demo folder"
  local slapd urls port
  slapd="$(find_tool slapd)" || die "slapd is not installed (Debian package slapd)"
  urls="$(cat "$dir/urls")"
  port="${urls#ldap://127.0.0.1:}"
  port="${port%%/*}"
  if [ -f "$dir/slapd.pid" ] && kill -0 "$(cat "$dir/slapd.pid")" 2>/dev/null; then
    die "restart: the server of $dir is running"
  fi
  launch "$slapd" "$dir" "$urls" "$port"
}

case "${1:-}" in
  start) shift; cmd_start "$@" ;;
  stop) shift; cmd_stop "$@" ;;
  restart) shift; cmd_restart "$@" ;;
  *) die "usage: $0 start [options] | stop DIR | restart DIR" ;;
esac

#!/usr/bin/env bash
# Starts a small replicated, partitioned OpenLDAP directory on loopback ports,
# for the tests and for trying the client against a directory spread over
# servers. The demo directory (client/ldap/demo.ldif, o=ACME only) is cut in
# two partitions:
#
#   master     port N     o=ACME, takes every write; syncprov hands its changes
#                         to the replica. ou=ENGINEERING is a referral entry
#                         (objectClass referral) naming the partition server.
#   replica    port N+1   a read-only copy of the master (syncrepl consumer);
#                         writes are referred to the master (updateref).
#   partition  port N+2   ou=ENGINEERING,o=ACME, and cn=ADMIN,o=ACME so that
#                         the client can bind there as on the master.
#
#   scripts/slapd-cluster.sh start [options]      prints dir=, master=, replica=,
#                                                 partition=, and *_pid=
#   scripts/slapd-cluster.sh stop DIR             stops the three and removes DIR
#   scripts/slapd-cluster.sh restart DIR NAME     starts server NAME (master,
#                                                 replica or partition) again
#                                                 after it was stopped or killed
#   scripts/slapd-cluster.sh halt DIR NAME        stops server NAME, data kept
#
# Options of start:
#   --dir DIR            folder for the three servers (default: a new temporary one)
#   --port N             first of the three ports (default 3900)
#   --test-referrals     also ou=REFERRALS,o=ACME on the master, holding
#                        ou=LOOP (a referral to itself) and ou=GONE (a
#                        referral to port N+3, where nothing listens)
#
# Users and passwords are those of scripts/slapd-demo.sh (cn=ADMIN,o=ACME
# binds with NOVELL).
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
ldap="$here/ldap"
[ -f "$ldap/nds.schema" ] || ldap="$(cd "$here/.." && pwd)/client/ldap"

die() { echo "slapd-cluster: $*" >&2; exit 1; }

find_tool() {
  local p
  for p in "$(command -v "$1" 2>/dev/null || true)" "/usr/sbin/$1" "/usr/bin/$1"; do
    [ -n "$p" ] && [ -x "$p" ] && { echo "$p"; return 0; }
  done
  return 1
}

names=(master replica partition)

# Stops server NAME of DIR by its PID; its data stays.
halt() {
  local dir="$1" name="$2" pid
  [ -f "$dir/$name/slapd.pid" ] || return 0
  pid="$(cat "$dir/$name/slapd.pid")"
  if kill "$pid" 2>/dev/null; then
    for _ in $(seq 1 100); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.05
    done
    kill -9 "$pid" 2>/dev/null || true
  fi
  rm -f "$dir/$name/slapd.pid"
}

check_dir() {
  [ -n "${1:-}" ] && [ -f "$1/ports" ] || die "${1:-}: not a slapd-cluster folder"
}

check_name() {
  case "${1:-}" in master|replica|partition) ;; *) die "no server '${1:-}' (master, replica or partition)" ;; esac
}

cmd_stop() {
  local dir="${1:-}" name
  check_dir "$dir"
  for name in "${names[@]}"; do halt "$dir" "$name"; done
  rm -rf "$dir"
}

# Starts server NAME of DIR in the background and waits until it answers.
launch() {
  local dir="$1" name="$2" slapd port
  slapd="$(find_tool slapd)" || die "slapd is not installed (Debian package slapd)"
  port="$(cat "$dir/$name/port")"
  if [ -f "$dir/$name/slapd.pid" ] && kill -0 "$(cat "$dir/$name/slapd.pid")" 2>/dev/null; then
    die "the $name of $dir is running"
  fi
  rm -f "$dir/$name/slapd.pid"
  "$slapd" -f "$dir/$name/slapd.conf" -h "ldap://127.0.0.1:$port/" >"$dir/$name/slapd.log" 2>&1 || {
    cat "$dir/$name/slapd.log" >&2
    die "the $name did not start (is port $port free?)"
  }
  for _ in $(seq 1 200); do
    if [ -s "$dir/$name/slapd.pid" ] && (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
      echo "${name}_pid=$(cat "$dir/$name/slapd.pid")"
      return 0
    fi
    sleep 0.05
  done
  die "the $name did not answer on port $port"
}

# The records of an LDIF file whose DN `keep` (an awk condition on the DN,
# lower case, without blanks around commas) accepts.
records() {
  awk -v want="$2" '
    BEGIN { RS = ""; ORS = "\n\n" }
    {
      dn = ""
      n = split($0, lines, "\n")
      for (i = 1; i <= n; i++) if (tolower(substr(lines[i], 1, 3)) == "dn:") { dn = tolower(lines[i]); break }
      sub(/^dn:[ ]*/, "", dn)
      gsub(/[ ]*,[ ]*/, ",", dn)
      eng = (dn == "ou=engineering,o=acme" || dn ~ /,ou=engineering,o=acme$/)
      acme = (dn == "o=acme" || dn ~ /,o=acme$/)
      if ((want == "master" && acme && !eng) || (want == "engineering" && eng) || (want == "admin" && dn == "cn=admin,o=acme")) print
    }' "$1"
}

# The head of every server's configuration.
conf_head() {
  local dir="$1" name="$2"
  cat <<EOF
include $schema/core.schema
include $schema/cosine.schema
include $schema/inetorgperson.schema
include $ldap/nds.schema

pidfile $dir/$name/slapd.pid
argsfile $dir/$name/slapd.args
modulepath $modules
moduleload back_mdb
moduleload syncprov
loglevel none
sizelimit size.soft=500 size.hard=500 size.prtotal=unlimited
password-hash {SSHA}
EOF
}

# The demo's password rights, as on scripts/slapd-demo.sh's server.
acl() {
  cat <<'EOF'
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
access to * by * read
EOF
}

database() {
  local suffix="$1" dbdir="$2"
  mkdir -p "$dbdir"
  cat <<EOF

database mdb
suffix "$suffix"
directory $dbdir
maxsize 1073741824
index objectClass eq
index entryUUID eq
index entryCSN eq
EOF
}

cmd_start() {
  local dir="" port=3900 test_refs=0
  while [ $# -gt 0 ]; do
    case "$1" in
      --dir) dir="$2"; shift 2 ;;
      --port) port="$2"; shift 2 ;;
      --test-referrals) test_refs=1; shift ;;
      *) die "unknown option '$1'" ;;
    esac
  done
  [[ "$port" =~ ^[0-9]+$ ]] && [ "$port" -ge 1 ] && [ "$port" -le 65532 ] || die "bad port '$port'"
  local slapadd
  find_tool slapd >/dev/null || die "slapd is not installed (Debian package slapd)"
  slapadd="$(find_tool slapadd)" || die "slapadd is not installed (Debian package slapd)"
  schema=/etc/ldap/schema
  [ -f "$schema/inetorgperson.schema" ] || die "the OpenLDAP schemas are missing from $schema"
  modules=/usr/lib/ldap
  [ -d "$modules" ] || modules="$(dirname "$(find /usr/lib -name 'back_mdb*.so*' -print -quit 2>/dev/null)")"

  if [ -z "$dir" ]; then
    dir="$(mktemp -d "${TMPDIR:-/tmp}/slapd-cluster.XXXXXX")"
  else
    mkdir -p "$dir"
    dir="$(cd "$dir" && pwd)"
  fi
  chmod 700 "$dir"
  local master="ldap://127.0.0.1:$port/" replica="ldap://127.0.0.1:$((port + 1))/"
  local partition="ldap://127.0.0.1:$((port + 2))/"
  echo "$port" >"$dir/ports"
  local i=0 name
  for name in "${names[@]}"; do
    mkdir -p "$dir/$name"
    echo "$((port + i))" >"$dir/$name/port"
    i=$((i + 1))
  done

  # The replica reads the master as the master's root, whose password is
  # made up here, for this cluster only, and kept in files only slapd and
  # this user can read (never on a command line).
  local slappasswd secret
  slappasswd="$(find_tool slappasswd)" || die "slappasswd is not installed (Debian package slapd)"
  (umask 077 && head -c 24 /dev/urandom | base64 | tr -d '/+=\n' >"$dir/replicator.pw")
  secret="$(cat "$dir/replicator.pw")"

  # The master: o=ACME, ENGINEERING referred to the partition server.
  {
    conf_head "$dir" master
    database "o=ACME" "$dir/master/db"
    echo 'rootdn "cn=REPLICATOR,o=ACME"'
    echo "rootpw $("$slappasswd" -T "$dir/replicator.pw")"
    acl
    echo "overlay syncprov"
    echo "syncprov-checkpoint 10 1"
  } >"$dir/master/slapd.conf"
  records "$ldap/demo.ldif" master >"$dir/master/load.ldif"
  cat >>"$dir/master/load.ldif" <<EOF
dn: ou=ENGINEERING,o=ACME
objectClass: referral
objectClass: extensibleObject
ou: ENGINEERING
ref: ${partition}ou=ENGINEERING,o=ACME

EOF
  if [ "$test_refs" = 1 ]; then
    cat >>"$dir/master/load.ldif" <<EOF
dn: ou=REFERRALS,o=ACME
objectClass: organizationalUnit
ou: REFERRALS
description: Referrals that cannot be followed

dn: ou=LOOP,ou=REFERRALS,o=ACME
objectClass: referral
objectClass: extensibleObject
ou: LOOP
ref: ${master}ou=LOOP,ou=REFERRALS,o=ACME

dn: ou=GONE,ou=REFERRALS,o=ACME
objectClass: referral
objectClass: extensibleObject
ou: GONE
ref: ldap://127.0.0.1:$((port + 3))/ou=GONE,ou=REFERRALS,o=ACME

EOF
  fi
  "$slapadd" -q -f "$dir/master/slapd.conf" -b "o=ACME" -l "$dir/master/load.ldif" >"$dir/master/slapadd.log" 2>&1 ||
    { cat "$dir/master/slapadd.log" >&2; die "slapadd could not load the master"; }

  # The replica: a copy of the master kept by syncrepl; writes go to the
  # master.
  {
    conf_head "$dir" replica
    database "o=ACME" "$dir/replica/db"
    acl
    # syncrepl writes as the database's root, which has no password here.
    cat <<EOF
rootdn "cn=REPLICATOR,o=ACME"
syncrepl rid=001 provider=$master bindmethod=simple binddn="cn=REPLICATOR,o=ACME" credentials=$secret
  searchbase="o=ACME" type=refreshAndPersist retry="1 +" timeout=3 manageDSAit=1
updateref $master
EOF
  } >"$dir/replica/slapd.conf"
  chmod 600 "$dir/master/slapd.conf" "$dir/replica/slapd.conf"
  rm -f "$dir/replicator.pw"
  secret=""

  # The partition server: ENGINEERING, and ADMIN to bind as.
  {
    conf_head "$dir" partition
    database "ou=ENGINEERING,o=ACME" "$dir/partition/eng"
    acl
    database "cn=ADMIN,o=ACME" "$dir/partition/admin"
    acl
  } >"$dir/partition/slapd.conf"
  records "$ldap/demo.ldif" engineering >"$dir/partition/eng.ldif"
  records "$ldap/demo.ldif" admin >"$dir/partition/admin.ldif"
  "$slapadd" -q -f "$dir/partition/slapd.conf" -b "ou=ENGINEERING,o=ACME" -l "$dir/partition/eng.ldif" \
    >"$dir/partition/slapadd.log" 2>&1 &&
    "$slapadd" -q -f "$dir/partition/slapd.conf" -b "cn=ADMIN,o=ACME" -l "$dir/partition/admin.ldif" \
      >>"$dir/partition/slapadd.log" 2>&1 ||
    { cat "$dir/partition/slapadd.log" >&2; die "slapadd could not load the partition server"; }
  rm -f "$dir"/*/*.ldif

  echo "dir=$dir"
  echo "master=$master"
  echo "replica=$replica"
  echo "partition=$partition"
  for name in "${names[@]}"; do launch "$dir" "$name"; done
  wait_replicated "$dir" "$replica"
}

# Waits until the replica holds the master's entries (its first refresh).
wait_replicated() {
  local dir="$1" replica="$2" search
  search="$(find_tool ldapsearch)" || return 0
  for _ in $(seq 1 200); do
    if "$search" -x -LLL -H "$replica" -b "cn=ADMIN,o=ACME" -s base dn >/dev/null 2>&1; then return 0; fi
    sleep 0.05
  done
  die "the replica did not take the master's entries"
}

case "${1:-}" in
  start) shift; cmd_start "$@" ;;
  stop) shift; cmd_stop "$@" ;;
  restart) check_dir "${2:-}"; check_name "${3:-}"; launch "$2" "$3" ;;
  halt) check_dir "${2:-}"; check_name "${3:-}"; halt "$2" "$3" ;;
  *) die "usage: $0 start [options] | stop DIR | restart DIR NAME | halt DIR NAME" ;;
esac

#!/usr/bin/env bash
# Starts a throw-away 389 Directory Server on loopback ports that serves the
# demo organization as a 389 administrator keeps it (client/ldap/389-demo.ldif:
# standard schema, inetOrgPerson users, groupOfNames and groupOfUniqueNames
# groups, access rules as aci values, a user made with 389's own dsidm), for
# the tests and for trying the client against a directory it was not written
# for. The instance lives in one folder (a private prefix: its configuration,
# databases, logs, certificates and sockets); nothing under /etc, /var or /run
# is touched and systemd is not used.
#
#   scripts/389ds-demo.sh start [options]   prints dir=, uri=, ldaps=, ca=, pid=
#   scripts/389ds-demo.sh stop DIR          stops the server and removes DIR
#
# Options of start:
#   --dir DIR          folder for the instance (default: a new temporary folder;
#                      keep it short, the ldapi socket lives in it)
#   --port N           port of ldap://127.0.0.1:N/ (default 3891)
#   --ldaps-port N     port of ldaps://127.0.0.1:N/ (default: --port + 1)
#   --users N          also a container ou=BULK,o=ACME of N users (0: none)
#
# Both ports take StartTLS or TLS with a certificate of a throw-away authority
# made here (ca= names its PEM file). The demo's users bind as
# cn=ADMIN,o=ACME (password NOVELL), cn=HELPDESK,ou=IS,o=ACME (HELPDESK1) and
# cn=JSMITH,ou=SALES,o=ACME (SALES1). ADMIN may set passwords below o=ACME,
# HELPDESK below ou=SALES,o=ACME; every user may change its own; anyone may
# read everything else. The server's own administrator (cn=Directory Manager)
# has a random password kept in DIR/dm.pw (mode 600) for the script's use.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
ldap="$here/ldap"
[ -f "$ldap/389-demo.ldif" ] || ldap="$(cd "$here/.." && pwd)/client/ldap"

instance=dsviewer

die() { echo "389ds-demo: $*" >&2; exit 1; }

find_tool() {
  local name="$1"
  local p
  for p in "$(command -v "$name" 2>/dev/null || true)" "/usr/sbin/$name" "/usr/bin/$name"; do
    [ -n "$p" ] && [ -x "$p" ] && { echo "$p"; return 0; }
  done
  return 1
}

is_demo_dir() { [ -f "$1/share/dirsrv/inf/defaults.inf" ] && [ -d "$1/etc/dirsrv/slapd-$instance" ]; }

cmd_stop() {
  local dir="${1:-}"
  [ -n "$dir" ] && [ -d "$dir" ] || die "stop: no such folder '${dir}'"
  is_demo_dir "$dir" || die "stop: $dir is not a 389ds-demo folder"
  local pidfile="$dir/run/dirsrv/slapd-$instance.pid"
  if [ -s "$pidfile" ]; then
    local pid
    pid="$(cat "$pidfile")"
    if kill "$pid" 2>/dev/null; then
      for _ in $(seq 1 200); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.05
      done
      kill -9 "$pid" 2>/dev/null || true
    fi
  fi
  rm -rf "$dir"
}

# The users of ou=STAFF (as the built-in demo has them) and of ou=BULK.
generated_users() {
  local bulk="$1"
  awk -v bulk="$bulk" 'BEGIN {
    for (i = 1; i <= 120; i++) {
      printf "dn: cn=STAFF%03d,ou=STAFF,o=ACME\nobjectClass: inetOrgPerson\nobjectClass: organizationalPerson\n", i
      printf "objectClass: person\nobjectClass: top\ncn: STAFF%03d\nuid: staff%03d\nsn: Member %d\n", i, i, i
      printf "displayName: Staff Member %d\ntelephoneNumber: (312) 555-%04d\nmail: staff%03d@acme.com\n\n", i, i, i
    }
    if (bulk > 0) printf "dn: ou=BULK,o=ACME\nobjectClass: organizationalUnit\nobjectClass: top\nou: BULK\ndescription: %d users\n\n", bulk
    for (i = 1; i <= bulk; i++) {
      printf "dn: cn=USER%05d,ou=BULK,o=ACME\nobjectClass: inetOrgPerson\nobjectClass: organizationalPerson\n", i
      printf "objectClass: person\nobjectClass: top\ncn: USER%05d\nuid: user%05d\nsn: User %d\ndisplayName: Bulk User %d\n\n", i, i, i, i
    }
  }'
}

failed() {
  local dir="$1" made="$2" pidfile="$1/run/dirsrv/slapd-$instance.pid"
  if [ -s "$pidfile" ]; then
    kill "$(cat "$pidfile")" 2>/dev/null || true
    for _ in $(seq 1 200); do
      kill -0 "$(cat "$pidfile")" 2>/dev/null || break
      sleep 0.05
    done
  fi
  [ "$made" = 1 ] && rm -rf "$dir"
}

cmd_start() {
  local dir="" port=3891 ldaps_port="" users=0
  while [ $# -gt 0 ]; do
    case "$1" in
      --dir) dir="$2"; shift 2 ;;
      --port) port="$2"; shift 2 ;;
      --ldaps-port) ldaps_port="$2"; shift 2 ;;
      --users) users="$2"; shift 2 ;;
      *) die "unknown option '$1'" ;;
    esac
  done
  [[ "$port" =~ ^[0-9]+$ ]] && [ "$port" -ge 1 ] && [ "$port" -le 65535 ] || die "bad port '$port'"
  [ -n "$ldaps_port" ] || ldaps_port=$((port + 1))
  [[ "$ldaps_port" =~ ^[0-9]+$ ]] && [ "$ldaps_port" -ge 1 ] && [ "$ldaps_port" -le 65535 ] || die "bad ldaps port '$ldaps_port'"
  [[ "$users" =~ ^[0-9]+$ ]] && [ "$users" -le 1000000 ] || die "bad user count '$users'"

  local dscreate nsslapd dsidm certutil pk12util openssl
  dscreate="$(find_tool dscreate)" || die "dscreate is not installed (Debian package 389-ds-base)"
  nsslapd="$(find_tool ns-slapd)" || die "ns-slapd is not installed (Debian package 389-ds-base)"
  dsidm="$(find_tool dsidm)" || die "dsidm is not installed (Debian package 389-ds-base)"
  certutil="$(find_tool certutil)" || die "certutil is not installed (Debian package libnss3-tools)"
  pk12util="$(find_tool pk12util)" || die "pk12util is not installed (Debian package libnss3-tools)"
  openssl="$(find_tool openssl)" || die "openssl is not installed"
  local defaults=/usr/share/dirsrv/inf/defaults.inf
  [ -f "$defaults" ] || die "389 Directory Server's defaults are missing ($defaults)"

  local made=0
  if [ -z "$dir" ]; then
    dir="$(mktemp -d "${TMPDIR:-/tmp}/389ds.XXXXXX")"
    made=1
  else
    mkdir -p "$dir"
    dir="$(cd "$dir" && pwd)"
  fi
  # On any failure: the server stopped, and a folder made here removed.
  trap 'failed "$dir" "$made"' EXIT
  chmod 700 "$dir"
  umask 077

  # A private prefix: lib389 reads its paths from PREFIX/share/dirsrv/inf,
  # so every configured folder is moved below DIR; programs, plugins and
  # the system schema stay where the package put them.
  mkdir -p "$dir/share/dirsrv/inf" "$dir/etc/dirsrv"
  # dscreate copies the package's templates from /etc/dirsrv, which only its
  # own user and root may read; other users get minimal ones.
  if [ -r /etc/dirsrv/schema/99user.ldif ] && [ -r /etc/dirsrv/config/certmap.conf ]; then
    cp -r /etc/dirsrv/schema /etc/dirsrv/config "$dir/etc/dirsrv/"
  else
    mkdir -p "$dir/etc/dirsrv/schema" "$dir/etc/dirsrv/config"
    printf 'dn: cn=schema\nobjectclass: top\nobjectclass: ldapSubentry\nobjectclass: subschema\ncn: schema\n' \
      >"$dir/etc/dirsrv/schema/99user.ldif"
    echo "certmap default default" >"$dir/etc/dirsrv/config/certmap.conf"
    : >"$dir/etc/dirsrv/config/slapd-collations.conf"
  fi
  sed -e "s#= /etc#= $dir/etc#; s#= /var#= $dir/var#; s#= /run#= $dir/run#; s#^with_systemd = .*#with_systemd = 0#" \
    "$defaults" >"$dir/share/dirsrv/inf/defaults.inf"
  export PREFIX="$dir"

  # The server's own administrator password: random, in a file only.
  head -c 24 /dev/urandom | base64 | tr -d '/+=\n' >"$dir/dm.pw"
  chmod 600 "$dir/dm.pw"

  # dscreate runs the new server once to set it up: without a port (ldapi
  # only) so that nothing listens beyond loopback, even for that moment.
  local inf="$dir/instance.inf"
  {
    echo "[general]"
    echo "config_version = 2"
    echo "full_machine_name = localhost"
    echo "strict_host_checking = False"
    echo "selinux = False"
    echo "systemd = False"
    echo "start = False"
    echo "[slapd]"
    echo "instance_name = $instance"
    echo "user = $(id -un)"
    echo "group = $(id -gn)"
    echo "port = 0"
    echo "self_sign_cert = False"
    echo "root_password = $(cat "$dir/dm.pw")"
    echo "[backend-acme]"
    echo "suffix = o=ACME"
    echo "sample_entries = no"
    echo "[backend-us]"
    echo "suffix = c=US"
    echo "sample_entries = no"
  } >"$inf"
  "$dscreate" from-file "$inf" >"$dir/dscreate.log" 2>&1 || {
    rm -f "$inf"
    cat "$dir/dscreate.log" >&2
    die "dscreate could not make the instance"
  }
  rm -f "$inf"

  local conf="$dir/etc/dirsrv/slapd-$instance"
  [ -f "$conf/dse.ldif" ] || die "dscreate left no $conf/dse.ldif"

  # Loopback only, on the chosen ports, with TLS; small fixed caches instead
  # of shares of the machine's memory (the import would take gigabytes).
  local bdb="dn: cn=bdb,cn=config,cn=ldbm database,cn=plugins,cn=config"
  awk -v port="$port" -v sport="$ldaps_port" -v bdb="$bdb" '
    function set(name, value) { values[entry, tolower(name)] = value; names[entry] = names[entry] " " name }
    BEGIN {
      entry = "dn: cn=config"
      set("nsslapd-port", port)
      set("nsslapd-listenhost", "127.0.0.1")
      set("nsslapd-securelistenhost", "127.0.0.1")
      set("nsslapd-security", "on")
      set("nsslapd-secureport", sport)
      entry = bdb
      set("nsslapd-import-cache-autosize", "0")
      set("nsslapd-import-cachesize", "67108864")
      set("nsslapd-cache-autosize", "0")
      set("nsslapd-dbcachesize", "67108864")
      set("nsslapd-db-durable-transaction", "off")
      entry = ""
    }
    /^dn: / { entry = $0 }
    {
      split($0, a, ":")
      if ((entry, tolower(a[1])) in values) next
      print
      if (/^dn: / && entry in names) {
        n = split(names[entry], list, " ")
        for (i = 1; i <= n; i++) print list[i] ": " values[entry, tolower(list[i])]
      }
    }' "$conf/dse.ldif" >"$conf/dse.ldif.new"
  mv "$conf/dse.ldif.new" "$conf/dse.ldif"

  # A throw-away authority and the server's certificate, into the server's
  # NSS database (its PIN file was made by dscreate).
  local tls="$dir/tls"
  mkdir -p "$tls"
  local ec=(-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes)
  "$openssl" req -x509 -days 7 -subj "/CN=389 demo CA" "${ec[@]}" -keyout "$tls/ca.key" -out "$tls/ca.pem" \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign >/dev/null 2>&1 ||
    die "openssl could not make the authority"
  # An RSA key: 389 also wraps its attribute encryption keys with it.
  "$openssl" req -subj "/CN=localhost" -newkey rsa:2048 -nodes -keyout "$tls/server.key" -out "$tls/server.csr" >/dev/null 2>&1 ||
    die "openssl could not make the server key"
  printf 'subjectAltName=IP:127.0.0.1,DNS:localhost\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' >"$tls/server.ext"
  "$openssl" x509 -req -days 7 -in "$tls/server.csr" -CA "$tls/ca.pem" -CAkey "$tls/ca.key" -CAcreateserial \
    -extfile "$tls/server.ext" -out "$tls/server.pem" >/dev/null 2>&1 || die "openssl could not sign the server certificate"
  head -c 18 /dev/urandom | base64 >"$tls/p12.pw"
  "$openssl" pkcs12 -export -name Server-Cert -in "$tls/server.pem" -inkey "$tls/server.key" \
    -passout "file:$tls/p12.pw" -out "$tls/server.p12" >/dev/null 2>&1 || die "openssl could not bundle the certificate"
  "$pk12util" -i "$tls/server.p12" -d "sql:$conf" -k "$conf/pwdfile.txt" -w "$tls/p12.pw" >"$tls/nss.log" 2>&1 ||
    { cat "$tls/nss.log" >&2; die "pk12util could not import the server certificate"; }
  "$certutil" -A -d "sql:$conf" -f "$conf/pwdfile.txt" -n "389 demo CA" -t "CT,," -i "$tls/ca.pem" >>"$tls/nss.log" 2>&1 ||
    { cat "$tls/nss.log" >&2; die "certutil could not add the authority"; }
  rm -f "$tls/ca.key" "$tls/server.key" "$tls/server.p12" "$tls/p12.pw" "$tls/server.csr"

  # The demo, imported offline into both databases (each keeps the
  # entries below its suffix).
  local load="$dir/load.ldif"
  { grep -v '^#' "$ldap/389-demo.ldif"; echo; generated_users "$users"; } >"$load"
  local backend
  for backend in acme us; do
    "$nsslapd" ldif2db -D "$conf" -n "$backend" -i "$load" >"$dir/import-$backend.log" 2>&1 ||
      { cat "$dir/import-$backend.log" >&2; die "ns-slapd could not import the demo into $backend"; }
  done
  rm -f "$load"

  launch "$nsslapd" "$dir" "$port"

  # A user made as a 389 administrator makes them: named uid=, below
  # ou=people, with 389's own posix user classes.
  "$dsidm" "ldap://127.0.0.1:$port" -D "cn=Directory Manager" -y "$dir/dm.pw" -b o=ACME user create \
    --uid jdoe --cn "Jane Doe" --displayName "Jane Doe" --uidNumber 1001 --gidNumber 1001 \
    --homeDirectory /home/jdoe >"$dir/dsidm.log" 2>&1 ||
    { cat "$dir/dsidm.log" >&2; die "dsidm could not create a user"; }
  trap - EXIT

  echo "dir=$dir"
  echo "uri=ldap://127.0.0.1:$port/"
  echo "ldaps=ldaps://127.0.0.1:$ldaps_port/"
  echo "ca=$tls/ca.pem"
  echo "pid=$(cat "$dir/run/dirsrv/slapd-$instance.pid")"
}

# Starts ns-slapd (it goes to the background itself) and waits until it
# answers on its port.
launch() {
  local nsslapd="$1" dir="$2" port="$3"
  local pidfile="$dir/run/dirsrv/slapd-$instance.pid"
  rm -f "$pidfile"
  "$nsslapd" -D "$dir/etc/dirsrv/slapd-$instance" -i "$pidfile" >"$dir/ns-slapd.log" 2>&1 || {
    cat "$dir/ns-slapd.log" "$dir/var/log/dirsrv/slapd-$instance/errors" >&2 2>/dev/null || true
    die "ns-slapd did not start (are ports $port and the ldaps port free?)"
  }
  local i
  for i in $(seq 1 400); do
    if [ -s "$pidfile" ] && (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
      return 0
    fi
    sleep 0.05
  done
  [ -s "$pidfile" ] && kill "$(cat "$pidfile")" 2>/dev/null || true
  tail -20 "$dir/var/log/dirsrv/slapd-$instance/errors" >&2 2>/dev/null || true
  die "ns-slapd did not answer on port $port"
}

case "${1:-}" in
  start) shift; cmd_start "$@" ;;
  stop) shift; cmd_stop "$@" ;;
  *) die "usage: $0 start [options] | stop DIR" ;;
esac

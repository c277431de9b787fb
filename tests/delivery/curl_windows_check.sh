#!/usr/bin/env bash
# Runs curl_windows_check.exe under Wine against TLS servers on this
# machine's loopback (tls_servers.py), with certificates made here: a test
# CA's for the name kelvoran-check.test and 127.0.0.1, and another CA's for
# the same names. Usage: curl_windows_check.sh PROGRAM.exe [gtest arguments]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
program=$1
shift
certs=$(mktemp -d)
trap 'rm -rf "$certs"' EXIT

# make_ca NAME: a self-signed CA; make_server CA NAME: its server certificate
# with the names above, for server authentication as Schannel requires.
make_ca() {
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Kelvoran $1 CA" \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign \
    -keyout "$certs/$1-ca.key" -out "$certs/$1-ca.pem" 2>/dev/null
}
make_server() {
  openssl req -new -newkey rsa:2048 -nodes -subj /CN=kelvoran-check.test \
    -keyout "$certs/$2.key" -out "$certs/$2.csr" 2>/dev/null
  openssl x509 -req -in "$certs/$2.csr" -CA "$certs/$1-ca.pem" -CAkey "$certs/$1-ca.key" \
    -CAcreateserial -days 2 -out "$certs/$2.pem" -extfile <(printf '%s\n' \
    'subjectAltName=DNS:kelvoran-check.test,IP:127.0.0.1' \
    'keyUsage=critical,digitalSignature,keyEncipherment' 'extendedKeyUsage=serverAuth') 2>/dev/null
}
make_ca test
make_ca other
make_server test trusted
make_server other stranger

# Debian's Python, where python3-aiosmtpd lives, whatever python3 is first
# on PATH. Its stdin stays open until this script ends, which ends it.
coproc servers { exec /usr/bin/python3 "$here/tls_servers.py" "$certs"; }
while read -r name port <&"${servers[0]}"; do
  [[ $name == ready ]] && break
  export "KELVORAN_PORT_${name^^}=$port"
done
[[ $name == ready ]] || { echo "the TLS servers did not start" >&2; exit 1; }

KELVORAN_CA_FILE=$(winepath -w "$certs/test-ca.pem") wine "$program" "$@"

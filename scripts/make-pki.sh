#!/usr/bin/env bash
# Makes the development PKI: a root CA and a server certificate for
# localhost / 127.0.0.1 signed by it. Idempotent: existing files are kept.
#   scripts/make-pki.sh OUTDIR
# writes OUTDIR/ca.pem, OUTDIR/ca.key, OUTDIR/server.pem (server cert + CA,
# the chain a server presents) and OUTDIR/server.key. Also makes a second,
# unrelated root ("other-ca.pem") and a server certificate signed by it
# ("other-server.pem", "other-server.key"), for tests that must refuse it.
set -euo pipefail
out=${1:?usage: make-pki.sh OUTDIR}
mkdir -p "$out"
cd "$out"

make_root() {  # name subject
  [ -f "$1.pem" ] && [ -f "$1.key" ] && return 0
  openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 3650 \
    -subj "$2" -keyout "$1.key" -out "$1.pem" \
    -addext "basicConstraints=critical,CA:TRUE" \
    -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
}

make_server() {  # name ca-name
  [ -f "$1.pem" ] && [ -f "$1.key" ] && return 0
  cat > "$1.ext" <<EXT
basicConstraints=CA:FALSE
keyUsage=critical,digitalSignature,keyEncipherment
extendedKeyUsage=serverAuth
subjectAltName=DNS:localhost,IP:127.0.0.1
EXT
  openssl req -newkey rsa:2048 -nodes -sha256 -subj "/CN=localhost" \
    -keyout "$1.key" -out "$1.csr" 2>/dev/null
  openssl x509 -req -in "$1.csr" -CA "$2.pem" -CAkey "$2.key" -CAcreateserial \
    -days 3650 -sha256 -extfile "$1.ext" -out "$1.crt" 2>/dev/null
  cat "$1.crt" "$2.pem" > "$1.pem"
  rm -f "$1.csr" "$1.ext" "$1.crt"
}

make_root ca "/CN=Corvala Development Root"
make_server server ca
make_root other-ca "/CN=Unrelated Root"
make_server other-server other-ca

# The development key that updates are signed with (Ed25519): the build signs
# its own `cr` with it, and the program trusts its public half unless built
# with a production key.
if [ ! -f update-signing.key ] || [ ! -f update-signing.pub.pem ]; then
  openssl genpkey -algorithm ed25519 -out update-signing.key 2>/dev/null
  openssl pkey -in update-signing.key -pubout -out update-signing.pub.pem
fi

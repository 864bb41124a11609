#!/usr/bin/env bash
# Makes certificate chains of one, two and three intermediate CAs under one
# root, for tests of how deep a chain the program's client accepts.
# Idempotent: existing files are kept.
#   scripts/make-chain-pki.sh OUTDIR
# writes OUTDIR/chain-root.pem and, for N = 1, 2, 3, OUTDIR/chainN.pem (the
# server certificate for localhost / 127.0.0.1, then its intermediates up to
# the root, without the root: the chain a server presents) and chainN.key.
set -euo pipefail
out=${1:?usage: make-chain-pki.sh OUTDIR}
mkdir -p "$out"
cd "$out"
[ -f chain3.pem ] && [ -f chain3.key ] && exit 0

key() { openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1.key" 2>/dev/null; }

cat > ca.ext <<EXT
basicConstraints=critical,CA:TRUE
keyUsage=critical,keyCertSign,cRLSign
EXT
cat > leaf.ext <<EXT
basicConstraints=CA:FALSE
keyUsage=critical,digitalSignature
extendedKeyUsage=serverAuth
subjectAltName=DNS:localhost,IP:127.0.0.1
EXT

key chain-root
openssl req -x509 -new -key chain-root.key -sha256 -days 3650 -subj "/CN=Chain Test Root" \
  -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
  -out chain-root.pem 2>/dev/null

# sign NAME SUBJECT ISSUER EXTFILE
sign() {
  key "$1"
  openssl req -new -key "$1.key" -subj "$2" -out "$1.csr" 2>/dev/null
  openssl x509 -req -in "$1.csr" -CA "$3.pem" -CAkey "$3.key" -set_serial "0x$(openssl rand -hex 8)" \
    -days 3650 -sha256 -extfile "$4" -out "$1.pem" 2>/dev/null
  rm -f "$1.csr"
}

issuer=chain-root
presented=""
for n in 1 2 3; do
  sign "intermediate$n" "/CN=Chain Test Intermediate $n" "$issuer" ca.ext
  presented="intermediate$n.pem $presented"
  sign "leaf$n" "/CN=localhost" "intermediate$n" leaf.ext
  # shellcheck disable=SC2086
  cat "leaf$n.pem" $presented > "chain$n.pem"
  mv "leaf$n.key" "chain$n.key"
  rm -f "leaf$n.pem"
  issuer="intermediate$n"
done
rm -f ca.ext leaf.ext intermediate*.key intermediate*.pem chain-root.key

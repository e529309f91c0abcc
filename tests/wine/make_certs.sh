#!/usr/bin/env bash
# make_certs.sh DIR HOST...: the certificates of the end-to-end tests' HTTPS server, made afresh in
# DIR with openssl (about a second):
#   ca.pem                            a test authority, trusted in the tests' Wine prefix only
#   server-chain.pem, server.key      the HOSTs' certificate from it (the first one its common
#                                     name), followed by the authority's
#   untrusted-chain.pem, untrusted.key  the same from an authority that nobody trusts
# RSA keys: Wine 8 refuses some valid ECDSA signatures (those whose r or s is short), at random.
set -euo pipefail
dir="$1" host="$2"
shift
names="$(printf 'DNS:%s,' "$@")"
names="${names%,}"
mkdir -p "$dir"
cd "$dir"
authority() {  # authority NAME COMMON-NAME
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.pem" -days 30 -sha256 -subj "/CN=$2" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
    -addext "subjectKeyIdentifier=hash" 2>/dev/null
}
leaf() {  # leaf NAME AUTHORITY: HOST's certificate, then the authority's, in NAME-chain.pem
  openssl req -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.csr" -subj "/CN=$host" 2>/dev/null
  printf '%s\n' "subjectAltName=$names" "basicConstraints=critical,CA:FALSE" \
    "keyUsage=critical,digitalSignature,keyEncipherment" "extendedKeyUsage=serverAuth" \
    "authorityKeyIdentifier=keyid" "subjectKeyIdentifier=hash" >"$1.ext"
  openssl x509 -req -in "$1.csr" -CA "$2.pem" -CAkey "$2.key" -CAcreateserial -out "$1.pem" -days 30 -sha256 \
    -extfile "$1.ext" 2>/dev/null
  cat "$1.pem" "$2.pem" >"$1-chain.pem"
  rm -f "$1.csr" "$1.ext" "$2.srl"
}
authority ca "Orvastell Test Root CA"
leaf server ca
authority untrusted-ca "Untrusted Test Root CA"
leaf untrusted untrusted-ca
openssl verify -CAfile ca.pem server.pem >/dev/null
if openssl verify -CAfile ca.pem untrusted.pem >/dev/null 2>&1; then
  echo "make_certs: the untrusted certificate verifies against the trusted authority" >&2
  exit 1
fi

#!/usr/bin/env bash
# Builds the release of travik.exe from a clean clone of this repository's current commit, so
# that anyone can build the same commit again and get the same bytes, and signs it when asked.
#
#   tools/release.sh [--sign CERT.pfx] [--timestamp URL] [--dist DIR]
#
#   --sign CERT.pfx   sign with this code-signing certificate and its key (PKCS#12), SHA-256,
#                     with the program's name as the description. The certificate's password is
#                     read from the environment variable TRAVIK_SIGN_PASSWORD, never from the
#                     command line.
#   --timestamp URL   with --sign: have an RFC 3161 time-stamp server counter-sign the signature
#                     (https://timestamp.digicert.com, say), so that it stays valid after the
#                     certificate has expired
#   --dist DIR        where the release goes (default: dist/ at the top of the repository)
#
# Writes DIR/travik.exe and DIR/SHA256SUMS (sha256sum's format). When signing, DIR/travik.exe is
# the signed file and DIR/unsigned/travik.exe the file the build made, which is the one that two
# builds of a commit reproduce byte for byte; SHA256SUMS lists both. Uncommitted changes are not
# in the release. Either everything is written or, on any error, nothing is left in DIR.
#
# Reproducible: the PE time stamp is the commit's time (SOURCE_DATE_EPOCH, which the linker
# takes), the build's paths are mapped away (-ffile-prefix-map in CMakeLists.txt), the sources
# use no __DATE__ or __TIME__, and the version carries the commit (cmake/version.cmake).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/.." && pwd)
fail() { echo "release.sh: $*" >&2; exit 1; }

cert='' timestamp='' dist="$repo/dist"
while [ $# -gt 0 ]; do
  case $1 in
    --sign) [ $# -ge 2 ] || fail "--sign needs the certificate's file"; cert=$2; shift 2 ;;
    --timestamp) [ $# -ge 2 ] || fail "--timestamp needs a URL"; timestamp=$2; shift 2 ;;
    --dist) [ $# -ge 2 ] || fail "--dist needs a folder"; dist=$2; shift 2 ;;
    -h | --help) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    *) fail "unknown argument '$1' (see --help)" ;;
  esac
done
[ -z "$timestamp" ] || [ -n "$cert" ] || fail "--timestamp goes with --sign"
# An earlier release in DIR goes first: after a failure there is no travik.exe to mistake for
# this commit's.
mkdir -p "$dist" || fail "cannot make the folder '$dist'"
dist=$(cd "$dist" && pwd)
rm -rf "$dist/travik.exe" "$dist/unsigned" "$dist/SHA256SUMS" "$dist/.release.tmp"

for tool in git cmake ninja x86_64-w64-mingw32-g++-posix sha256sum; do
  command -v "$tool" >/dev/null || fail "$tool is missing: run 'bash tools/install-deps.sh' as root"
done

work=$(mktemp -d "${TMPDIR:-/tmp}/travik-release.XXXXXX")
trap 'rm -rf "$work"' EXIT

# The certificate is checked before anything is built: a wrong password should not cost a build.
if [ -n "$cert" ]; then
  for tool in osslsigncode openssl; do
    command -v "$tool" >/dev/null || fail "$tool is missing: run 'bash tools/install-deps.sh' as root"
  done
  [ -f "$cert" ] && [ -r "$cert" ] || fail "cannot read the certificate '$cert'"
  [ -n "${TRAVIK_SIGN_PASSWORD+set}" ] ||
    fail "set TRAVIK_SIGN_PASSWORD to the password of '$cert' (it is never given as an argument)"
  printf '%s' "$TRAVIK_SIGN_PASSWORD" >"$work/password"
  chmod 600 "$work/password"
  pkcs12() {  # older certificates use algorithms that OpenSSL 3 keeps in its legacy provider
    openssl pkcs12 -in "$cert" -passin "file:$work/password" "$@" 2>"$work/openssl.err" ||
      openssl pkcs12 -legacy -in "$cert" -passin "file:$work/password" "$@" 2>>"$work/openssl.err"
  }
  if ! pkcs12 -nocerts -nodes -out "$work/key.pem"; then
    if grep -qi 'mac verify\|invalid password' "$work/openssl.err"; then
      fail "the certificate '$cert' does not open with the password in TRAVIK_SIGN_PASSWORD"
    fi
    fail "'$cert' is not a PKCS#12 (.pfx) certificate that can be read: $(head -1 "$work/openssl.err")"
  fi
  grep -q 'PRIVATE KEY' "$work/key.pem" || fail "'$cert' holds no private key to sign with"
  rm -f "$work/key.pem"
fi

commit=$(git -C "$repo" rev-parse --verify HEAD)
if [ -n "$(git -C "$repo" status --porcelain --untracked-files=no)" ]; then
  echo "release.sh: the work tree has uncommitted changes; the release is commit ${commit:0:7}" \
       "without them" >&2
fi
src="$work/travik"
git -c safe.directory='*' clone --quiet --no-hardlinks "$repo" "$src"
git -C "$src" -c advice.detachedHead=false checkout --quiet "$commit"
# The linker writes this into the PE header as the program's time stamp.
SOURCE_DATE_EPOCH=$(git -C "$src" log -1 --format=%ct "$commit")
export SOURCE_DATE_EPOCH

echo "release.sh: building commit $commit in $src"
(cd "$src" && cmake --preset release >"$work/configure.log" 2>&1) ||
  { cat "$work/configure.log" >&2; fail "configuring the build failed"; }
(cd "$src" && cmake --build --preset release --target travik >"$work/build.log" 2>&1) ||
  { tail -50 "$work/build.log" >&2; fail "the build failed"; }
built="$src/build/release/travik.exe"
[ -f "$built" ] || fail "the build made no travik.exe"
unsigned_hash=$(sha256sum "$built" | cut -d' ' -f1)
echo "release.sh: unsigned travik.exe  $unsigned_hash  (two builds of this commit give this)"

# Everything is made in a folder beside the release's first and renamed into place: the release
# folder gets it whole or not at all.
out="$dist/.release.tmp"
trap 'rm -rf "$work" "$out"' EXIT
mkdir -p "$out"
if [ -n "$cert" ]; then
  mkdir -p "$out/unsigned"
  cp "$built" "$out/unsigned/travik.exe"
  options=(-pkcs12 "$cert" -readpass "$work/password" -h sha256 -n TRAVIK)
  [ -z "$timestamp" ] || options+=(-ts "$timestamp")
  if ! osslsigncode sign "${options[@]}" -in "$built" -out "$out/travik.exe" \
       >"$work/sign.log" 2>&1; then
    cat "$work/sign.log" >&2
    fail "signing failed${timestamp:+ (is the time-stamp server $timestamp reachable?)}"
  fi
  rm -f "$work/password"
  (cd "$out" && sha256sum travik.exe unsigned/travik.exe >SHA256SUMS)
  echo "release.sh: signed travik.exe    $(cut -d' ' -f1 <"$out/SHA256SUMS" | head -1)"
else
  cp "$built" "$out/travik.exe"
  (cd "$out" && sha256sum travik.exe >SHA256SUMS)
fi

[ ! -d "$out/unsigned" ] || mv "$out/unsigned" "$dist/unsigned"
mv "$out/travik.exe" "$dist/travik.exe"
mv "$out/SHA256SUMS" "$dist/SHA256SUMS"
echo "release.sh: wrote $dist/travik.exe and $dist/SHA256SUMS"

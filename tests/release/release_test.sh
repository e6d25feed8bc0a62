#!/usr/bin/env bash
# The release as tools/release.sh makes it: two builds of this commit, in different folders, by
# different users, with a different umask and time zone, a minute or more apart, must give the
# same bytes; a release signed with a throwaway certificate must verify against it, and not once
# a byte is changed; the signed program must still run; a certificate that cannot be used must
# stop the release before anything is built, leaving no travik.exe.
#
#   release_test.sh WINE_EXEC
#
# WINE_EXEC runs a Windows program (tools/wine-exec.sh). Needs root (the second build runs as
# "nobody"). The certificate is made here and thrown away; nothing leaves the machine.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
wine_exec=$1
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
step() { echo "--- $*"; }

[ "$(id -u)" = 0 ] || { echo "release_test.sh: must run as root (a build runs as nobody)" >&2; exit 1; }

work=$(mktemp -d /tmp/travik-release-test.XXXXXX)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"

# A code-signing certificate valid for a day, with a password of its own.
password=$(head -c 18 /dev/urandom | base64)
openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=TRAVIK release test" \
  -addext "extendedKeyUsage=codeSigning" -addext "keyUsage=critical,digitalSignature" \
  -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/cert.pfx" \
  -passout "file:"<(printf '%s' "$password")
rm "$work/key.pem"

step "a certificate that cannot be used stops the release before the build"
echo "not a certificate" >"$work/garbage.pfx"
cases=(
  "wrong|$work/cert.pfx|does not open with the password in TRAVIK_SIGN_PASSWORD"
  "$password|$work/garbage.pfx|is not a PKCS#12"
  "$password|$work/missing.pfx|cannot read the certificate"
  "(unset)|$work/cert.pfx|set TRAVIK_SIGN_PASSWORD"
)
for entry in "${cases[@]}"; do
  IFS='|' read -r given cert expected <<<"$entry"
  mkdir -p "$work/refused" && echo "an earlier release" >"$work/refused/travik.exe"
  status=0
  if [ "$given" = "(unset)" ]; then
    env -u TRAVIK_SIGN_PASSWORD bash "$repo/tools/release.sh" --sign "$cert" \
      --dist "$work/refused" >"$work/refused.out" 2>&1 || status=$?
  else
    TRAVIK_SIGN_PASSWORD=$given bash "$repo/tools/release.sh" --sign "$cert" \
      --dist "$work/refused" >"$work/refused.out" 2>&1 || status=$?
  fi
  [ $status != 0 ] || fail "$cert with password '$given': the release went on"
  grep -qF -- "$expected" "$work/refused.out" ||
    fail "$cert with password '$given': no '$expected' in: $(cat "$work/refused.out")"
  ! grep -q "building commit" "$work/refused.out" || fail "$cert: it built before refusing"
  [ ! -e "$work/refused/travik.exe" ] || fail "$cert: a travik.exe was left in the release folder"
  ! grep -qF -- "$password" "$work/refused.out" || fail "the password was printed"
done

step "build 1: root, umask 022, TZ UTC, unsigned"
(umask 022 && TZ=UTC bash "$repo/tools/release.sh" --dist "$work/first") >"$work/first.out" 2>&1 ||
  { cat "$work/first.out" >&2; fail "the first build failed"; }

step "build 2: nobody, umask 077, TZ America/Sao_Paulo, another clone, signed"
# Another folder, another user: a clone that nobody can read, the certificate copied for it.
git -c safe.directory='*' clone --quiet --no-hardlinks "$repo" "$work/clone"
# The release tooling under test is this tree's, whatever is committed.
cp "$repo/tools/release.sh" "$work/clone/tools/release.sh"
mkdir -p "$work/second" "$work/home"
cp "$work/cert.pfx" "$work/second-cert.pfx"
chown -R nobody:nogroup "$work/clone" "$work/second" "$work/home" "$work/second-cert.pfx"
# The umask is set in the user's own shell: a login session may set one of its own.
TRAVIK_SIGN_PASSWORD=$password runuser -u nobody -- env HOME="$work/home" TMPDIR="$work/home" \
  TZ=America/Sao_Paulo bash -c 'umask 077 && exec bash "$0" "$@"' \
  "$work/clone/tools/release.sh" --sign "$work/second-cert.pfx" --dist "$work/second" \
  >"$work/second.out" 2>&1 || { cat "$work/second.out" >&2; fail "the second build failed"; }
! grep -qF -- "$password" "$work/second.out" || fail "the password was printed"

step "the two builds are byte for byte the same"
if [ -f "$work/first/travik.exe" ] && [ -f "$work/second/unsigned/travik.exe" ]; then
  python3 "$here/pe_diff.py" "$work/first/travik.exe" "$work/second/unsigned/travik.exe" ||
    fail "two builds of one commit differ"
  unsigned=$(sha256sum "$work/first/travik.exe" | cut -d' ' -f1)
  grep -q "unsigned travik.exe  $unsigned" "$work/second.out" ||
    fail "the signed release did not print the unsigned file's hash $unsigned"
  echo "sha256 of the unsigned release: $unsigned"
else
  fail "a build left no travik.exe"
fi

step "SHA256SUMS holds the files as written"
for release in first second; do
  (cd "$work/$release" && sha256sum --quiet -c SHA256SUMS) || fail "$release: SHA256SUMS does not match"
done
signed_line=$(head -1 "$work/second/SHA256SUMS")
[ "$signed_line" = "$(cd "$work/second" && sha256sum travik.exe)" ] ||
  fail "SHA256SUMS' first line is not the signed travik.exe: $signed_line"

step "the signature verifies against its certificate, and not once a byte is changed"
if osslsigncode verify -CAfile "$work/cert.pem" -in "$work/second/travik.exe" >"$work/verify.out" 2>&1; then
  grep -q "Text description: TRAVIK" "$work/verify.out" || fail "the signature does not name TRAVIK"
  grep -q "Message digest algorithm *: SHA256" "$work/verify.out" || fail "the digest is not SHA-256"
else
  cat "$work/verify.out" >&2
  fail "the signed release does not verify"
fi
cp "$work/second/travik.exe" "$work/changed.exe"
# One byte in the middle of the code.
size=$(stat -c %s "$work/changed.exe")
offset=$((size / 3))
byte=$(od -An -tu1 -j "$offset" -N1 "$work/changed.exe" | tr -d ' ')
printf "\\$(printf '%03o' $(((byte + 1) % 256)))" |
  dd of="$work/changed.exe" bs=1 seek="$offset" conv=notrunc status=none
! cmp -s "$work/changed.exe" "$work/second/travik.exe" || fail "the byte was not changed"
if osslsigncode verify -CAfile "$work/cert.pem" -in "$work/changed.exe" >/dev/null 2>&1; then
  fail "a release with a byte changed still verifies"
fi

step "the signed program runs"
commit=$(git -C "$repo" rev-parse --verify HEAD)
version=$(sed -n 's/^project(travik VERSION \([0-9.]*\) .*/\1/p' "$repo/CMakeLists.txt")+g${commit:0:7}
printed=$("$wine_exec" "$work/second/travik.exe" /version | tr -d '\r') || fail "travik.exe /version failed"
[ "$printed" = "TRAVIK $version" ] || fail "the signed travik.exe says '$printed', not 'TRAVIK $version'"

if [ $failures != 0 ]; then
  echo "release_test.sh: $failures failure(s)" >&2
  exit 1
fi
echo "release_test.sh: passed"

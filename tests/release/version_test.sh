#!/usr/bin/env bash
# cmake/version.cmake, the build's version step, on small git trees of its own: the commit is
# added as "+g" and seven hex digits, ".dirty" when a tracked file has changed (an untracked one
# does not count), the version alone without git; the manifest gets x.y.z.0; an unchanged version
# leaves both files untouched, so that nothing is rebuilt.
#
#   version_test.sh VERSION_CMAKE
set -euo pipefail
script=$1
work=$(mktemp -d /tmp/travik-version-test.XXXXXX)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

echo '<assembly version="@TRAVIK_VERSION_QUAD@"/>' >"$work/manifest.in"
run() {  # run TREE: the version the script writes for TREE
  cmake -DSOURCE_DIR="$1" -DVERSION=4.5.6 -DOUTPUT="$work/version.h" \
    -DMANIFEST_IN="$work/manifest.in" -DMANIFEST="$work/manifest" -P "$script"
  sed -n 's/^#define TRAVIK_VERSION "\(.*\)"$/\1/p' "$work/version.h"
}

mkdir "$work/plain"
[ "$(run "$work/plain")" = 4.5.6 ] || fail "a tree without git: $(run "$work/plain")"
grep -q '^#define TRAVIK_VERSION_NUMBERS 4,5,6,0$' "$work/version.h" || fail "numbers: $(cat "$work/version.h")"
[ "$(cat "$work/manifest")" = '<assembly version="4.5.6.0"/>' ] || fail "manifest: $(cat "$work/manifest")"

tree=$work/tree
git init -q "$tree"
echo one >"$tree/file"
git -C "$tree" add file
git -C "$tree" -c user.name=t -c user.email=t@t.invalid commit -qm one
commit=$(git -C "$tree" rev-parse HEAD)
[ "$(run "$tree")" = "4.5.6+g${commit:0:7}" ] || fail "a clean checkout: $(run "$tree")"

touch -d '2000-01-01' "$work/version.h" "$work/manifest"
run "$tree" >/dev/null
[ "$(stat -c %Y "$work/version.h")" = "$(date -d 2000-01-01 +%s)" ] || fail "an unchanged header was rewritten"
[ "$(stat -c %Y "$work/manifest")" = "$(date -d 2000-01-01 +%s)" ] || fail "an unchanged manifest was rewritten"

echo new >"$tree/untracked"
[ "$(run "$tree")" = "4.5.6+g${commit:0:7}" ] || fail "an untracked file: $(run "$tree")"
echo two >"$tree/file"
[ "$(run "$tree")" = "4.5.6+g${commit:0:7}.dirty" ] || fail "a changed tracked file: $(run "$tree")"

[ $failures = 0 ] || exit 1
echo "version_test.sh: passed"

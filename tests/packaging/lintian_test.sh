#!/bin/sh
# Builds the Debian package and has lintian check it as a distribution does: no
# error and no warning may remain. Notes at the info and pedantic levels are
# printed for the reader but do not fail the test.
# Usage: lintian_test.sh BUILD_DIR
set -eu
build=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

command -v lintian >/dev/null || fail "lintian is not installed (make test installs it)"
# Under the strictest umask: the modes in the package must not depend on the builder's.
(umask 077 && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/out") >"$tmp/cpack.log" 2>&1 ||
    { cat "$tmp/cpack.log"; fail "cpack"; }
deb=$(ls "$tmp"/out/*.deb)
echo "lintian $(basename "$deb"):"
# Exit status 1: a tag at a failing level; 2: lintian itself failed.
lintian --fail-on error,warning --display-level '>=pedantic' --tag-display-limit 0 "$deb" ||
    fail "lintian reports errors or warnings (above), or could not run"
echo "lintian clean"

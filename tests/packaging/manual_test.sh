#!/bin/sh
# The runner's manual page names every command and every option the runner's own
# help lists, so a new one cannot go undocumented.
# Usage: manual_test.sh BUILD_DIR
set -eu
build=$1
cli=$build/vela-cli
page=$build/packaging/vela-cli.1
fail() { echo "FAIL: $*" >&2; exit 1; }
[ -f "$page" ] || fail "no manual page at $page"

commands=$("$cli" --help | sed -n '/^Subcommands:/,$p' | awk 'NR > 1 && NF { print $1 }')
[ -n "$commands" ] || fail "vela-cli --help lists no command"
missing=
for command in $commands; do
    # A command is an entry of its own: ".B run" or ".BI test \" scheme-id\"".
    grep -Eq "^\.BI? $command( |\$)" "$page" || missing="$missing $command"
    # The options as the help's first column shows them ("-h,--help", "--db TEXT").
    options=$("$cli" "$command" --help | sed -n '/^Options:/,$p' |
              grep -Eo '^  [-,a-zA-Z]+' | grep -Eo -- '--[a-z][a-z-]*')
    for option in $options; do
        roff=$(printf '%s' "$option" | sed 's/-/\\\\-/g')
        grep -Eq "^\.B[IR]? $roff( |\$)" "$page" || missing="$missing $command:$option"
    done
done
[ -z "$missing" ] || fail "vela-cli.1 lacks an entry for:$missing"
echo "manual page lists: $(echo $commands)"

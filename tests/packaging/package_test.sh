#!/bin/sh
# Builds the Debian package, lists it, unpacks it into a temporary root, checks that
# it carries one version throughout, and starts the unpacked program there on the
# offscreen platform with its data, configuration and home folders in temporary
# places: the database must be created from the installed schema in XDG_DATA_HOME,
# the window must come up, and a second start must keep the data of the first.
# Usage: package_test.sh BUILD_DIR
set -eu
build=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/out" >"$tmp/cpack.log" 2>&1 ||
    { cat "$tmp/cpack.log"; fail "cpack"; }
deb=$(ls "$tmp"/out/*.deb)
echo "package: $(basename "$deb")"

dpkg-deb --info "$deb" >"$tmp/info"
cat "$tmp/info"
for field in 'Section: net' 'Maintainer: ' 'Description: ' 'Depends: .*libqt6widgets6' \
             'Depends: .*libsqlite3-0' 'Depends: .*libcurl4' 'Depends: .*libboost-regex' \
             'Depends: .*libtomlplusplus3'; do
    grep -q "^ *$field" "$tmp/info" || fail "control lacks '$field'"
done

dpkg-deb --contents "$deb" >"$tmp/contents"
id=example.lanqi.vela
for path in usr/bin/vela usr/bin/vela-cli usr/lib/systemd/user/vela-cli.service \
            usr/lib/systemd/user/vela-cli.timer usr/share/vela/schema.sql usr/share/applications/$id.desktop \
            usr/share/metainfo/$id.metainfo.xml usr/share/icons/hicolor/16x16/apps/$id.png \
            usr/share/icons/hicolor/128x128/apps/$id.png \
            usr/share/icons/hicolor/scalable/apps/$id.svg usr/share/man/man1/vela.1.gz \
            usr/share/man/man1/vela-cli.1.gz usr/share/doc/vela/copyright usr/share/doc/vela/changelog.gz \
            usr/share/doc/vela/examples/news-list.toml; do
    grep -q " \./$path\$" "$tmp/contents" || fail "package lacks $path"
done
! grep -q 'vela\.sdb' "$tmp/contents" || fail "package carries a database"

dpkg -x "$deb" "$tmp/root"
# One version throughout: the package's, the metainfo's release, the changelog's
# newest entry and the manual pages' footers.
version=$(dpkg-deb --field "$deb" Version)
metainfo=$tmp/root/usr/share/metainfo/$id.metainfo.xml
grep -q "<release version=\"$version\"" "$metainfo" || fail "metainfo release is not $version"
grep -q '<binary>vela-cli</binary>' "$metainfo" || fail "metainfo does not provide vela-cli"
zcat "$tmp/root/usr/share/doc/vela/changelog.gz" | head -n 1 | grep -q "^vela ($version) " ||
    fail "the changelog's newest entry is not $version"
for page in vela vela-cli; do
    zcat "$tmp/root/usr/share/man/man1/$page.1.gz" | grep -q "^\.TH .* \"vela $version\"" ||
        fail "$page.1 does not name version $version"
done
start() {
    env XDG_DATA_HOME="$tmp/data" XDG_CONFIG_HOME="$tmp/config" HOME="$tmp/home" \
        QT_QPA_PLATFORM=offscreen timeout 60 "$tmp/root/usr/bin/vela" --quit-after-start
}
start || fail "the installed program did not come up (exit $?)"
db=$tmp/data/vela/vela.sdb
[ -f "$db" ] || fail "no database in XDG_DATA_HOME"
# The delivered tables, and the table of the scheme fields with its triggers,
# which the program adds when it opens the file.
tables=$(sqlite3 "$db" 'select name from sqlite_master order by name' | tr '\n' ' ')
[ "$tables" = "info rule rule_field rule_field_fresh rule_field_removed " ] ||
    fail "database lacks its tables"
[ -f "$tmp/config/vela/vela.conf" ] || fail "settings not kept in XDG_CONFIG_HOME"
[ ! -e "$tmp/home/.local" ] || fail "wrote into HOME despite XDG_DATA_HOME"

sqlite3 "$db" "insert into info(title) values('kept')"
start || fail "second start (exit $?)"
[ "$(sqlite3 "$db" 'select title from info')" = kept ] || fail "second start lost the data"

# The installed runner finds the same database by the same decision.
articles=$(env XDG_DATA_HOME="$tmp/data" HOME="$tmp/home" "$tmp/root/usr/bin/vela-cli" articles) ||
    fail "the installed vela-cli did not read the window's database"
echo "$articles" | grep -q "	kept	" || fail "vela-cli articles lacks the stored row: $articles"
echo "package ok"

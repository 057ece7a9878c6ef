#!/usr/bin/env bash
# Installs the build into a staging folder and checks what a desktop and a
# package manager get from it: exactly the expected files, the help pages
# where the installed program looks, a desktop entry and metainfo their
# validators accept, and a Debian package of the same files with its
# dependencies. Arguments and layout come from CMake (tests/install/CMakeLists.txt).
set -euo pipefail
: "${BUILD:?}" "${SOURCE:?}" "${HELP_LOOKUP:?}" "${APP_ID:?}" "${PACKAGE:?}" "${VERSION:?}" "${BINDIR:?}" "${DATADIR:?}"

stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
prefix="$stage/prefix"
fail() { echo "FAILED: $*" >&2; exit 1; }

cmake --install "$BUILD" --prefix "$prefix" >/dev/null

expected="$(printf '%s\n' \
  "$BINDIR/korivan-dsk" \
  "$BINDIR/korivan-imgtool" \
  "$DATADIR/applications/$APP_ID.desktop" \
  "$DATADIR/icons/hicolor/scalable/apps/$APP_ID.svg" \
  "$DATADIR/metainfo/$APP_ID.metainfo.xml" \
  "$DATADIR/$PACKAGE/help/en/index.html" \
  "$DATADIR/$PACKAGE/help/ja/index.html" | sort)"
installed="$(cd "$prefix" && find . ! -type d | sed 's|^\./||' | sort)"
[ "$installed" = "$expected" ] || fail "installed tree differs from the expected one:
$(diff <(echo "$expected") <(echo "$installed") || true)"
for program in korivan-dsk korivan-imgtool; do
  [ -x "$prefix/$BINDIR/$program" ] || fail "$program is not executable"
done
cmp -s "$prefix/$DATADIR/icons/hicolor/scalable/apps/$APP_ID.svg" "$SOURCE/resources/art/EMBLEM.svg" ||
  fail "the icon is not the emblem"

# The help pages as the installed program finds them from its own folder.
mapfile -t pages < <("$HELP_LOOKUP" "$prefix/$BINDIR")
[ "${#pages[@]}" -eq 2 ] || fail "no help pages from the lookup"
for i in 0 1; do
  lang=$([ "$i" -eq 0 ] && echo en || echo ja)
  [ "${pages[$i]}" = "$prefix/$DATADIR/$PACKAGE/help/$lang/index.html" ] ||
    fail "the $lang help page is looked for at ${pages[$i]}"
  cmp -s "${pages[$i]}" "$SOURCE/help/$lang/index.html" || fail "the $lang help page is not the source's"
done

# Hints count as failures too: the validators print nothing for a clean file.
out="$(desktop-file-validate "$prefix/$DATADIR/applications/$APP_ID.desktop" 2>&1)" ||
  fail "desktop-file-validate: $out"
[ -z "$out" ] || fail "desktop-file-validate: $out"
# Its actions hand their command to the running overlay.
entry="$prefix/$DATADIR/applications/$APP_ID.desktop"
for action in "toggle|Toggle drawing|--toggle" "save|Save the screen|--save"; do
  IFS='|' read -r id name option <<<"$action"
  sed -n "/^\[Desktop Action $id\]/,/^\[/p" "$entry" | grep -qx "Name=$name" &&
    sed -n "/^\[Desktop Action $id\]/,/^\[/p" "$entry" | grep -qx "Exec=korivan-dsk $option" ||
    fail "the desktop entry lacks the action $id ($name, $option)"
done
appstreamcli validate --no-net --pedantic "$prefix/$DATADIR/metainfo/$APP_ID.metainfo.xml" ||
  fail "appstreamcli validate"
appstreamcli validate-tree --no-net "$prefix" || fail "appstreamcli validate-tree"

# The package holds the same files under /usr.
cpack -G DEB --config "$BUILD/CPackConfig.cmake" -B "$stage/deb" >"$stage/cpack.log" 2>&1 ||
  fail "cpack: $(cat "$stage/cpack.log")"
debs=("$stage"/deb/*.deb)
[ "${#debs[@]}" -eq 1 ] && [ -f "${debs[0]}" ] || fail "cpack made no single .deb: ${debs[*]}"
info="$(dpkg-deb --info "${debs[0]}")"
echo "$(basename "${debs[0]}"):"
echo "$info"
control() { dpkg-deb --field "${debs[0]}" "$1"; }
[ "$(control Package)" = "$PACKAGE" ] || fail "package name $(control Package)"
[ "$(control Version)" = "$VERSION" ] || fail "package version $(control Version), not $VERSION"
for dep in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6svg6 libqt6network6 libxcb1; do
  control Depends | tr ',' '\n' | grep -q "^ *$dep\( \|$\)" || fail "Depends lacks $dep: $(control Depends)"
done
packaged="$(dpkg-deb --fsys-tarfile "${debs[0]}" | tar -t | grep -v '/$' | sed 's|^\./usr/||' | sort)"
[ "$packaged" = "$expected" ] || fail "the package's files differ from the installed tree:
$(diff <(echo "$expected") <(echo "$packaged") || true)"
# Stripped for the package, the program still carries the version its about box shows.
dpkg-deb --extract "${debs[0]}" "$stage/unpacked"
grep -a -q "KORIVAN-FILEVERSION=$VERSION\." "$stage/unpacked/usr/$BINDIR/korivan-dsk" ||
  fail "the packaged program lost its version record"
echo "installed tree, desktop entry, metainfo and package: all as expected"

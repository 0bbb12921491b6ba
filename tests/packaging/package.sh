#!/usr/bin/env bash
# The Debian package of a build: made with CPack, unpacked into a scratch root,
# and the programs and files it installs:
#   package.sh CPACK BUILD_DIR WITH_WINDOW(ON|OFF)
source "$(dirname "$0")/lib.sh"
cpack=$1 build=$2 window=$3
command -v dpkg-deb >/dev/null || skip "dpkg-deb is not installed"
command -v dpkg-shlibdeps >/dev/null || skip "dpkg-shlibdeps is not installed (apt-get install dpkg-dev)"

"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 \
    || { cat "$scratch/cpack.log"; fail "cpack failed"; finish; }
deb=$(ls "$scratch"/out/*.deb 2>/dev/null)
expect_eq "trackfold_1.00_$(dpkg --print-architecture).deb" "$(basename "$deb")" "package file"
[ -f "$deb" ] || finish

field() { dpkg-deb -f "$deb" "$1"; }
expect_eq trackfold "$(field Package)" "Package"
expect_eq 1.00 "$(field Version)" "Version"
expect_eq sound "$(field Section)" "Section"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
expect_contains "$(field Description)" "format 0" "Description"
depends=$(field Depends)
expect_contains "$depends" "libc6" "Depends"
if [ "$window" = ON ]; then
    for library in libqt6core6 libqt6gui6 libqt6widgets6 libqt6svg6; do
        expect_contains "$depends" "$library" "Depends"
    done
fi

root=$scratch/root
dpkg -x "$deb" "$root" || fail "dpkg -x"
expect_eq "trackfold-cli 1.00" "$("$root/usr/bin/trackfold-cli" --version 2>&1)" \
    "installed trackfold-cli --version"
files=(
    usr/bin/trackfold-cli
    usr/share/man/man1/trackfold-cli.1
    usr/share/bash-completion/completions/trackfold-cli
    usr/share/doc/trackfold/LICENSE
)
if [ "$window" = ON ]; then
    files+=(
        usr/bin/trackfold
        usr/share/man/man1/trackfold.1
        usr/share/applications/io.github.trackfold.Trackfold.desktop
        usr/share/metainfo/io.github.trackfold.Trackfold.metainfo.xml
        usr/share/icons/hicolor/scalable/apps/trackfold.svg
    )
    expect_eq "Trackfold 1.00" \
        "$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/trackfold" --version 2>&1)" \
        "installed trackfold --version"
fi
for file in "${files[@]}"; do
    [ -f "$root/$file" ] || fail "the package does not install /$file"
done
# man finds the installed page by name under the scratch root.
if command -v man >/dev/null; then
    MANPATH="$root/usr/share/man" man -w trackfold-cli >/dev/null 2>&1 \
        || fail "man -w trackfold-cli finds no page in the package"
fi
finish

#!/usr/bin/env bash
# What a build installs: with cmake --install under a prefix, and as the Debian
# package made with CPack, unpacked into a scratch root:
#   package.sh CMAKE CPACK BUILD_DIR WITH_WINDOW(ON|OFF)
source "$(dirname "$0")/lib.sh"
cmake=$1 cpack=$2 build=$3 window=$4
# cmake --install and CPack both write build/install_manifest.txt, which may
# list a real install that its user removes with it: it is put back after each.
manifest=$build/install_manifest.txt
[ ! -f "$manifest" ] || cp -p "$manifest" "$scratch/manifest"
restore_manifest() {
    if [ -f "$scratch/manifest" ]; then cp -p "$scratch/manifest" "$manifest"; else rm -f "$manifest"; fi
}

# cmake --install: every file under the prefix, the completion included.
"$cmake" --install "$build" --prefix "$scratch/prefix" >"$scratch/install.log" 2>&1 \
    || fail "cmake --install: $(cat "$scratch/install.log")"
restore_manifest
for file in bin/trackfold-cli share/man/man1/trackfold-cli.1 share/man/it/man1/trackfold-cli.1 \
    share/locale/en/LC_MESSAGES/trackfold.mo \
    share/bash-completion/completions/trackfold-cli share/doc/trackfold/LICENSE; do
    [ -f "$scratch/prefix/$file" ] || fail "cmake --install does not install $file"
done
# The installed program finds the installed catalogue (LOCPATH: the tests' locales).
expect_eq "Usage: trackfold-cli [options] INPUT..." \
    "$(LC_ALL=en_US.UTF-8 "$scratch/prefix/bin/trackfold-cli" --help | head -n 1)" \
    "installed trackfold-cli --help in English"
if [ "$window" = ON ]; then
    for file in bin/trackfold share/man/man1/trackfold.1 share/man/it/man1/trackfold.1 \
        share/applications/io.github.trackfold.Trackfold.desktop \
        share/metainfo/io.github.trackfold.Trackfold.metainfo.xml \
        share/icons/hicolor/scalable/apps/trackfold.svg; do
        [ -f "$scratch/prefix/$file" ] || fail "cmake --install does not install $file"
    done
fi

command -v dpkg-deb >/dev/null || skip "dpkg-deb is not installed"
command -v dpkg-shlibdeps >/dev/null || skip "dpkg-shlibdeps is not installed (apt-get install dpkg-dev)"

"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 \
    || { cat "$scratch/cpack.log"; fail "cpack failed"; }
restore_manifest
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
    usr/share/man/it/man1/trackfold-cli.1
    usr/share/locale/en/LC_MESSAGES/trackfold.mo
    usr/share/bash-completion/completions/trackfold-cli
    usr/share/doc/trackfold/LICENSE
)
if [ "$window" = ON ]; then
    files+=(
        usr/bin/trackfold
        usr/share/man/man1/trackfold.1
        usr/share/man/it/man1/trackfold.1
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
# bash-completion finds the completion by the command's name, as it would in /usr/share.
if [ -r /usr/share/bash-completion/bash_completion ]; then
    loaded=$(XDG_DATA_DIRS="$root/usr/share" bash -c 'source /usr/share/bash-completion/bash_completion
        _completion_loader trackfold-cli; complete -p trackfold-cli' 2>&1)
    expect_contains "$loaded" "-F _trackfold_cli trackfold-cli" "bash-completion loads the completion"
fi
# man finds the installed page by name under the scratch root.
if command -v man >/dev/null; then
    MANPATH="$root/usr/share/man" man -w trackfold-cli >/dev/null 2>&1 \
        || fail "man -w trackfold-cli finds no page in the package"
fi
finish

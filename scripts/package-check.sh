#!/usr/bin/env bash
# Builds the Debian package, checks it with Debian's checker (lintian) and its
# AppStream description with appstreamcli, installs it with dpkg, starts the
# installed program on a virtual display and checks that its main window shows
# and that it keeps its data in the per-user data folder. Needs root (it
# installs the package) and a few minutes; not part of ./test.sh.
#     scripts/package-check.sh     the package lands in build/package/ (VELORIX_BUILD: another build folder)
set -euo pipefail
cd "$(dirname "$0")/.."
[[ $(id -u) -eq 0 ]] || { echo "Run as root: the check installs the package with dpkg." >&2; exit 2; }

echo "== Checking the tools: dpkg-shlibdeps, help2man, lintian, appstreamcli, a virtual display, xdotool, xprop"
scripts/ensure-deps.sh dpkg-dev help2man lintian appstream xvfb xdotool x11-utils
build=${VELORIX_BUILD:-build}
scripts/build.sh velorix velorix-sim velorix-cli
echo "== Packaging"
rm -f "$build"/package/velorix_*.deb
(cd "$build" && cpack --config CPackConfig.cmake)
deb=$(ls "$build"/package/velorix_*.deb)
dpkg-deb --field "$deb" Package Version Depends

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

echo "== Checking the package with lintian and appstreamcli"
version=$(dpkg-deb --field "$deb" Version)
changelog_version=$(dpkg-parsechangelog -l packaging/changelog -S Version)
[[ $changelog_version == "$version" ]] ||
    { echo "FAIL: packaging/changelog's newest entry is $changelog_version, the package $version" >&2; exit 1; }
release_version=$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' packaging/org.velorix.velorix.metainfo.xml | head -n 1)
[[ $release_version == "$version" ]] ||
    { echo "FAIL: the newest release in packaging/org.velorix.velorix.metainfo.xml is $release_version, the package $version" >&2; exit 1; }
# Errors and warnings fail; info and pedantic tags are shown.
lintian --fail-on error,warning --display-info --pedantic "$deb" ||
    { echo "FAIL: lintian found errors or warnings in $deb (above)" >&2; exit 1; }
# The tree as installed, so that the desktop entry is checked against its
# description too; no network, so no links are followed.
dpkg-deb -x "$deb" "$work/root"
appstreamcli validate-tree --pedantic --no-net "$work/root" ||
    { echo "FAIL: appstreamcli found errors or warnings in the package's AppStream description (above)" >&2; exit 1; }

echo "== Installing $deb"
if ! dpkg -i "$deb"; then
    echo "== Installing the dependencies dpkg asked for"
    DEBIAN_FRONTEND=noninteractive apt-get install -f -y -qq
fi
for file in /usr/bin/velorix /usr/bin/velorix-sim /usr/bin/velorix-cli \
            /usr/lib/velorix/device.ini /usr/lib/velorix/hardware.ini /usr/lib/velorix/help/index.html \
            /usr/lib/velorix/per-user-data /usr/share/applications/org.velorix.velorix.desktop \
            /usr/share/metainfo/org.velorix.velorix.metainfo.xml /usr/share/icons/hicolor/scalable/apps/velorix.svg \
            /usr/share/doc/velorix/copyright /usr/share/doc/velorix/changelog.gz \
            /usr/share/man/man1/velorix.1.gz /usr/share/man/man1/velorix-sim.1.gz /usr/share/man/man1/velorix-cli.1.gz; do
    [[ -e $file ]] || { echo "FAIL: the package did not install $file" >&2; exit 1; }
done

echo "== Starting the installed program on a virtual display"
# Xvfb picks a free display and writes its number to fd 3.
Xvfb -displayfd 3 -screen 0 1280x900x24 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
for _ in $(seq 50); do [[ -s $work/display ]] && break; sleep 0.1; done
[[ -s $work/display ]] || { cat "$work/xvfb.log"; echo "FAIL: no virtual display" >&2; exit 1; }
DISPLAY=:$(cat "$work/display")
export DISPLAY
# A home of its own, so the check sees where the program puts its data.
mkdir -p "$work/home"
HOME=$work/home XDG_DATA_HOME='' XDG_CONFIG_HOME='' velorix --simulate >"$work/velorix.log" 2>&1 &
pids+=($!)
start=$SECONDS
# The splash has the program's name too; the main window is a normal one.
main_window() {
    local id
    for id in $(xdotool search --onlyvisible --name '^Velorix$' 2>/dev/null); do
        xprop -id "$id" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q _NET_WM_WINDOW_TYPE_NORMAL && { echo "$id"; return 0; }
    done
    return 1
}
window=
while (( SECONDS - start < 60 )); do
    window=$(main_window) && break
    sleep 0.5
done
if [[ -z $window ]]; then
    cat "$work/velorix.log"
    echo "FAIL: the installed program showed no main window within 60 s" >&2
    exit 1
fi
echo "Main window \"$(xdotool getwindowname "$window")\" after $((SECONDS - start)) s"
# Docks and task bars match the window to the desktop entry by this name.
wm_class=$(sed -n 's/^StartupWMClass=//p' packaging/org.velorix.velorix.desktop)
xprop -id "$window" WM_CLASS | grep -q "\"$wm_class\"" ||
    { xprop -id "$window" WM_CLASS; echo "FAIL: the main window's WM_CLASS lacks the desktop entry's StartupWMClass=$wm_class" >&2; exit 1; }

data=$work/home/.local/share/Velorix/Velorix
# The first start makes config/ and Data/, then announces the copy of the
# factory configuration; OK lets it go on.
for _ in $(seq 40); do
    [[ -f $data/config/device.ini ]] && break
    for notice in $(xdotool search --onlyvisible --name 'System Setup' 2>/dev/null); do
        xdotool windowfocus --sync "$notice" key Return 2>/dev/null || true
    done
    sleep 0.5
done
[[ -d $data/Data && -f $data/config/device.ini ]] ||
    { echo "FAIL: no Data/ and config/device.ini in the per-user data folder $data" >&2; exit 1; }
sleep 4 # the port set-up and the start-up scan
command -v import >/dev/null && import -window root "$build/package/package-check.png" && echo "Screenshot: $build/package/package-check.png"
[[ ! -e /usr/lib/velorix/config ]] || { echo "FAIL: the program wrote config/ into /usr/lib/velorix" >&2; exit 1; }
echo "PASS: $deb installs, starts, shows its main window and keeps its data in the per-user data folder"

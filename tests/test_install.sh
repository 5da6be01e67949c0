#!/bin/sh
# The installed program. `cmake --install` into a scratch DESTDIR lays out the program with its
# private files and the desktop files; those pass their validators; and the program, started
# through bin/norvane, answers its command line, opens its window with the mascot, and without
# its sprite ends with a non-zero status and one line that names the file it tried. Run as root,
# it also gives the echo helper cap_net_raw, as the package does, and checks that Ping works
# for a user that may open no ICMP socket, while the window's process, with a plugin of the
# user's loaded, holds neither a capability nor a raw socket.
#
#   test_install.sh BUILD_FOLDER VERSION START_UP_PLAYER_PLUGIN
set -u
build=$1
version=$2
player=$3
id=example.byrelane.Norvane

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# The start-up player is a Qt generic plugin; Qt loads it even into a program with file
# capabilities, for which the C library ignores LD_PRELOAD.
mkdir -p "$scratch/plugins/generic"
cp "$player" "$scratch/plugins/generic/"
export QT_PLUGIN_PATH="$scratch/plugins"
root=$(realpath "$scratch")/root
usr=$root/usr
program=$usr/bin/norvane
# Without a runtime folder Qt warns on standard error, which the checks below read.
export XDG_RUNTIME_DIR="$scratch/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

if ! DESTDIR=$root cmake --install "$build" --prefix /usr >"$scratch/install.log" 2>&1; then
    cat "$scratch/install.log"
    exit 1
fi

# The layout.
for file in lib/norvane/norvane lib/norvane/norvane-echo lib/norvane/cbm.dll lib/norvane/mw.dll \
    lib/norvane/libnorvane_sound.so share/applications/$id.desktop \
    share/metainfo/$id.metainfo.xml share/man/man1/norvane.1.gz \
    share/icons/hicolor/scalable/apps/$id.svg; do
    [ -f "$usr/$file" ] || fail "$file is not installed"
done
[ "$(readlink "$program")" = ../lib/norvane/norvane ] ||
    fail "bin/norvane is not a relative link to ../lib/norvane/norvane"
for size in 16 22 24 32 48 64 128 256; do
    file -b "$usr/share/icons/hicolor/${size}x$size/apps/$id.png" |
        grep -q "^PNG image data, $size x $size," || fail "no $size px icon"
done

# The desktop files, as desktops and software centres read them.
desktop-file-validate "$usr/share/applications/$id.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$usr/share/metainfo/$id.metainfo.xml" || fail "appstreamcli"
LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$usr/share/man/man1/norvane.1.gz" \
    >"$scratch/man" 2>"$scratch/man.err"
grep -q "norvane - look up, ping and whois hosts" "$scratch/man" || fail "man -l renders no page"
[ ! -s "$scratch/man.err" ] || fail "man warns: $(cat "$scratch/man.err")"

# run NAME COMMAND...: runs the program, keeping its status, standard output and error.
run() {
    name=$1
    shift
    timeout 60 "$@" >"$scratch/$name.out" 2>"$scratch/$name.err"
    status=$?
}

# The command line needs no display at all; Qt's own options pass.
nodisplay="env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM"
run version $nodisplay "$program" --version
[ $status -eq 0 ] && [ "$(cat "$scratch/version.out")" = "Norvane $version" ] &&
    [ ! -s "$scratch/version.err" ] || fail "--version: status $status, $(cat "$scratch/version.out")"
run help $nodisplay "$program" --help
[ $status -eq 0 ] && grep -q "^Usage: norvane " "$scratch/help.out" && [ ! -s "$scratch/help.err" ] ||
    fail "--help: status $status"

run unknown $nodisplay "$program" -style fusion --no-such-option
[ $status -eq 2 ] && [ ! -s "$scratch/unknown.out" ] && [ "$(wc -l <"$scratch/unknown.err")" -eq 1 ] &&
    grep -q "^norvane: .*'no-such-option'" "$scratch/unknown.err" ||
    fail "unknown option: status $status, $(cat "$scratch/unknown.err")"
run argument "$program" example.test
[ $status -eq 2 ] && grep -q "^norvane: Unexpected argument 'example.test'" "$scratch/argument.err" ||
    fail "an argument: status $status, $(cat "$scratch/argument.err")"

# The player presses OK on message boxes and closes the window after its first frame.
run window $nodisplay QT_QPA_GENERIC_PLUGINS=norvaneplayer "$program" -platform offscreen \
    -style=fusion
export QT_QPA_PLATFORM=offscreen
[ $status -eq 0 ] && [ "$(cat "$scratch/window.out")" = "first frame" ] &&
    ! grep -q "^norvane:" "$scratch/window.err" ||
    fail "the window did not open: status $status, $(cat "$scratch/window.out" "$scratch/window.err")"

# nobody NAME PROGRAM: runs PROGRAM as nobody, whose group may open no datagram ICMP socket,
# in a network namespace of its own; the player prints CapEff, CapPrm and any raw socket, then
# pings 127.0.0.1 and prints them again.
nobody() {
    run "$1" unshare -n sh -c 'ip link set lo up && sysctl -q -w net.ipv4.ping_group_range="0 1" &&
        cd / && exec runuser -u nobody -- env XDG_RUNTIME_DIR="$1" QT_PLUGIN_PATH="$2" \
            QT_QPA_GENERIC_PLUGINS=norvaneplayer:ping "$3"' sh "$scratch/nobody" \
        "$scratch/plugins" "$2"
}
helper=$usr/lib/norvane/norvane-echo
if [ "$(id -u)" -ne 0 ]; then
    echo "SKIP: the capability check needs root"
elif ! setcap cap_net_raw+ep "$helper" 2>/dev/null || ! getcap "$helper" | grep -q cap_net_raw; then
    echo "SKIP: the capability check needs setcap and getcap to work in $scratch"
elif ! unshare -n true 2>/dev/null; then
    echo "SKIP: the capability check needs network namespaces"
elif [ -n "${NORVANE_TSAN:-}" ]; then
    # Started with a capability, the program may not read its own /proc/self/environ and maps
    # once it runs as nobody, so ThreadSanitizer gets neither its options nor tests/tsan.supp
    # and reports the races it sees inside Qt's own thread pool.
    echo "SKIP: the capability check cannot run under ThreadSanitizer"
else
    chmod 755 "$scratch"
    chmod -R a+rX "$root" "$scratch/plugins"
    mkdir -m 700 "$scratch/nobody"
    chown nobody "$scratch/nobody"
    [ -z "$(getcap "$usr/lib/norvane/norvane")" ] || fail "the window program has a capability"
    nobody capability "$program"
    [ $status -eq 0 ] && [ "$(grep -c "^Cap...:[[:space:]]*0*$" "$scratch/capability.out")" -eq 4 ] &&
        ! grep -q "^raw socket" "$scratch/capability.out" &&
        grep -q "ip success" "$scratch/capability.out" ||
        fail "with cap_net_raw: status $status, $(cat "$scratch/capability.out" "$scratch/capability.err")"
    setcap -r "$helper"
    nobody nocapability "$program"
    [ $status -eq 0 ] && grep -q "ip general failure" "$scratch/nocapability.out" ||
        fail "without cap_net_raw: status $status, $(cat "$scratch/nocapability.out" "$scratch/nocapability.err")"
fi

rm "$usr/lib/norvane/cbm.dll"
run nosprite env QT_QPA_GENERIC_PLUGINS=norvaneplayer "$program"
[ $status -eq 1 ] && [ ! -s "$scratch/nosprite.out" ] &&
    [ "$(head -n 1 "$scratch/nosprite.err")" = \
        "norvane: cannot load the mascot's sprite from $usr/lib/norvane/cbm.dll" ] &&
    [ "$(grep -c "^norvane:" "$scratch/nosprite.err")" -eq 1 ] ||
    fail "without the sprite: status $status, $(cat "$scratch/nosprite.err")"

[ $failures -eq 0 ] || exit 1
echo "the installed program passed every check"

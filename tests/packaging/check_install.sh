#!/usr/bin/env bash
# check_install.sh install|package BUILD_DIR BINDIR PRIVATE_LIBDIR FILE...
#   install: `cmake --install` into a temporary DESTDIR under a prefix other than the
#            configured one; the files are there and valid, and the installed programs run
#            from another working directory on their own libraries and firmware search path.
#   package: `cpack -G DEB` into a temporary folder; the package holds every file, its
#            dependencies were computed and its postinst reloads udev's rules.
# FILE... are the installed files relative to the prefix.
set -euo pipefail
mode=$1 build=$2 bindir=$3 libdir=$4
shift 4
files=("$@")
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# Runs a program in the background until its log shows every pattern (60 s at most).
run_until() {
    local log=$1 n=$2
    shift 2
    local patterns=("${@:1:$n}")
    shift "$n"
    "$@" >"$log" 2>&1 &
    local pid=$!
    pids+=("$pid")
    for _ in $(seq 600); do
        local all=1
        for p in "${patterns[@]}"; do grep -qF -- "$p" "$log" || all=0; done
        if [ "$all" = 1 ]; then
            kill "$pid" 2>/dev/null || true
            wait "$pid" 2>/dev/null || true
            return 0
        fi
        kill -0 "$pid" 2>/dev/null || { cat "$log" >&2; fail "$* ended early"; }
        sleep 0.1
    done
    cat "$log" >&2
    fail "$*: no ${patterns[*]} within 60 s"
}

if [ "$mode" = install ]; then
    prefix=/opt/tq5802-relocated
    DESTDIR="$work/root" "$CMAKE" --install "$build" --prefix "$prefix" >/dev/null
    root="$work/root$prefix"
    for f in "${files[@]}"; do [ -f "$root/$f" ] || fail "not installed: $f"; done

    desktop-file-validate "$root"/share/applications/*.desktop
    appstreamcli validate --no-net "$root"/share/metainfo/*.metainfo.xml >/dev/null ||
        appstreamcli validate --no-net "$root"/share/metainfo/*.metainfo.xml

    unset LD_LIBRARY_PATH
    cd "$work" # neither the build tree nor the program's folder
    for prog in tq5802r tq5802; do
        "$root/$bindir/$prog" --version | grep -q "^$prog " || fail "$prog --version"
    done

    export QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES="tq5802.usb.debug=true"
    export XDG_DATA_HOME="$work/home" XDG_DATA_DIRS="$work/system"
    export XDG_RUNTIME_DIR="$work/runtime"
    mkdir -p -m 700 "$XDG_RUNTIME_DIR"
    started="value 0x81" # the start-up's read of the function register
    sim="$root/$libdir/libTQ5802Sim.so"
    image="$root/$libdir/TQ5802.hex"

    # The simulator runs on its own library and image from the private folder.
    run_until "$work/sim.log" 2 "download $image: 0" "$started" "$root/$bindir/tq5802r" --simulate
    if [ -x "$root/$bindir/tq5802ctl" ]; then
        "$root/$bindir/tq5802ctl" --simulate read data A | grep -qF "A data 32768" ||
            fail "tq5802ctl --simulate"
    fi

    # A real board's image: the user's folder before the system's, an explicit path first.
    mkdir -p "$XDG_DATA_HOME/tq5802" "$work/system/tq5802"
    cp "$image" "$XDG_DATA_HOME/tq5802/TQ5802.hex"
    cp "$image" "$work/system/tq5802/TQ5802.hex"
    cp "$image" "$work/explicit.hex"
    run_until "$work/user.log" 2 "download $XDG_DATA_HOME/tq5802/TQ5802.hex: 0" "$started" \
        "$root/$bindir/tq5802r" --driver "$sim"
    run_until "$work/explicit.log" 2 "load firmware $work/explicit.hex: 1" "$started" \
        "$root/$bindir/tq5802" --driver "$sim" --firmware explicit.hex
    # The manuals render, and the completion offers what the program's --help lists.
    for page in "$root"/share/man/man1/*.1.gz; do
        MANWIDTH=80 man -l "$page" 2>&1 | grep -q "^SYNOPSIS" || fail "manual $page"
    done
    if [ -x "$root/$bindir/tq5802ctl" ]; then
        offered() { # offered WORD...: what TAB offers for the last word
            bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
                     _tq5802ctl; echo "${COMPREPLY[*]}"' _ \
                "$root/share/bash-completion/completions/tq5802ctl" "$root/$bindir/tq5802ctl" "$@"
        }
        [ "$(offered re)" = read ] || fail "completion of a command: $(offered re)"
        [ "$(offered code '')" = "A B C D ALL" ] || fail "completion of a channel"
        [ "$(offered read d)" = data ] || fail "completion of a register: $(offered read d)"
        [ "$(offered --sim)" = --simulate ] || fail "completion of an option"
    fi
    echo "installed under $prefix: files, validation, manuals, completion and start-up pass"
elif [ "$mode" = package ]; then
    (cd "$build" && "$CPACK" -G DEB -B "$work" >"$work/cpack.log") || {
        cat "$work/cpack.log" >&2
        fail "cpack"
    }
    deb=$(ls "$work"/*.deb)
    listing=$(dpkg-deb -c "$deb" | awk '{print $6}')
    for f in "${files[@]}"; do
        grep -qx "\./usr/$f" <<<"$listing" || fail "not in the package: /usr/$f"
    done
    depends=$(dpkg-deb -f "$deb" Depends)
    for lib in libc6 libqt6core6 libusb-1.0-0; do
        grep -q "$lib" <<<"$depends" || fail "no $lib in Depends: $depends"
    done
    dpkg-deb -e "$deb" "$work/control"
    [ -x "$work/control/postinst" ] || fail "no postinst"
    grep -q "udevadm control --reload-rules" "$work/control/postinst" ||
        fail "postinst does not reload udev rules"
    # Debian's own checker, with no errors and no warnings.
    lintian --fail-on error,warning "$deb" || fail "lintian"
    echo "$(basename "$deb"): files, dependencies, postinst and lintian pass"
else
    fail "unknown mode $mode"
fi

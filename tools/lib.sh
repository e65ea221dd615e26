# shellcheck shell=bash
# The steps the project's scripts share, each written once. Sourced:
#   source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
#
# Which script runs which:
#   make test       run-tests: bootstrap, the three builds, then ctest, whose
#                   Windows tests run through wine-run (CMake's emulator),
#                   inside with-vctl, with-pulse or with-x11 where they need
#                   the controller, audio or a display (each test's entry is
#                   in tests/windows/*/CMakeLists.txt); with-netns holds the
#                   native multicast test
#   make demo       demo: bootstrap, then the controller and the stand-in
#   make bench      bench-render (wine-run, alone and inside with-vctl) and
#                   bench-live (wine-run with its own controller and audio)
#   make installer  build-installer;  make fuzz  fuzz
#   by hand         screenshot-dialogs
# Besides bootstrap (the package list, which the make commands run first), no
# script runs another for a step of its setup: the prefix, the controller,
# the audio server and the builds come from the functions below.
#
#   need_packages PKG...          installs the Debian packages that are missing
#   cmake_configure DIR ARCH [ARG...]
#                                 configures the build DIR for ARCH (native, i686
#                                 or x86_64); on failure prints the log
#   cmake_build_quietly DIR TARGET...
#                                 builds with the output in DIR.build.log, printed
#                                 on failure
#   wine_env [PREFIX]             this project's Wine in the environment
#   prefix_init [headless|x11|dialogs]   makes the prefix once (see below)
#   prefix_stop, map_port COMn DEVICE, unmap_port COMn
#   vctl_session COMn...          the virtual controller on those ports
#   pulse_session DIR             a private PulseAudio server
#   at_exit COMMAND               runs COMMAND when the script ends, latest first
TWINKLA_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
TWINKLA_SCRIPT="$(basename "$0")"

# --- Cleanup ----------------------------------------------------------------

_exit_commands=()
_exit_owner=""
# In the commands, $EXIT_STATUS is the script's exit status. A subshell that
# calls at_exit runs its own commands when it ends, not its parent's.
at_exit() {
    if [ "$_exit_owner" != "$BASHPID" ]; then
        _exit_commands=()
        _exit_owner="$BASHPID"
    fi
    _exit_commands=("$1" "${_exit_commands[@]}")
    trap _run_exit_commands EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
}
_run_exit_commands() {
    EXIT_STATUS=$?
    set +e # every command runs, whatever the one before did
    local command
    for command in "${_exit_commands[@]}"; do
        eval "$command"
    done
    _exit_commands=()
}

# --- Packages and builds ----------------------------------------------------

have_package() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

# Unattended: CI has no terminal. An i386 package needs that architecture
# added before the package lists are read.
need_packages() {
    local missing=() package sudo=""
    for package in "$@"; do
        have_package "$package" || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    echo "$TWINKLA_SCRIPT: installing ${missing[*]}"
    if [[ " ${missing[*]}" == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
        $sudo dpkg --add-architecture i386 || return 1
    fi
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq &&
        $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
            "${missing[@]}" >/dev/null
}

cmake_configure() {
    local dir="$1" arch="$2" toolchain="" system made_with fresh=()
    shift 2
    [ "$arch" = native ] || toolchain="$TWINKLA_ROOT/cmake/mingw-w64.cmake"
    # A tree made with another toolchain file starts afresh: CMake would keep
    # reading the one it was made with.
    for system in "$dir"/CMakeFiles/*/CMakeSystem.cmake; do
        [ -f "$system" ] || continue
        made_with="$(sed -n 's/^include("\(.*\)")$/\1/p' "$system")"
        [ "$made_with" = "$toolchain" ] || fresh=(--fresh)
    done
    if [ -n "$toolchain" ]; then
        set -- -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DTWINKLA_TRIPLE="$arch-w64-mingw32" "$@"
    fi
    mkdir -p "$(dirname "$dir")"
    cmake "${fresh[@]}" -S "$TWINKLA_ROOT" -B "$dir" "$@" >"$dir.configure.log" 2>&1 && return 0
    echo "$TWINKLA_SCRIPT: configuring $dir failed:" >&2
    cat "$dir.configure.log" >&2
    return 1
}

cmake_build_quietly() {
    local dir="$1"
    shift
    cmake --build "$dir" -j "$(nproc)" --target "$@" >"$dir.build.log" 2>&1 && return 0
    echo "$TWINKLA_SCRIPT: building $* in $dir failed:" >&2
    cat "$dir.build.log" >&2
    return 1
}

# --- Wine -------------------------------------------------------------------

# The prefix is PREFIX, else $TWINKLA_WINEPREFIX, else build/wineprefix; the
# choice is exported, so the scripts this one starts use the same prefix.
wine_env() {
    export TWINKLA_WINEPREFIX="${1:-${TWINKLA_WINEPREFIX:-$TWINKLA_ROOT/build/wineprefix}}"
    export WINEPREFIX="$TWINKLA_WINEPREFIX"
    export WINEARCH=win64
    export WINEDEBUG=-all
    # No Mono or Gecko prompts, and no menu entries on the Linux desktop for
    # the shortcuts an installer makes.
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    unset DISPLAY WAYLAND_DISPLAY

    # Whether 32-bit programs run here, decided once per run (the answer is
    # exported, so everything the run starts inherits it). TWINKLA_64BIT_ONLY=1
    # takes the 64-bit-only path on any machine, so that path is exercised too.
    if [ "${TWINKLA_64BIT_ONLY:-0}" = 1 ]; then
        export TWINKLA_RUNS_32BIT=no
        export TWINKLA_NO_32BIT_REASON="forced by TWINKLA_64BIT_ONLY=1"
    elif [ -z "${TWINKLA_RUNS_32BIT:-}" ]; then
        if TWINKLA_NO_32BIT_REASON="$("$TWINKLA_ROOT/tools/runs-32bit")"; then
            export TWINKLA_RUNS_32BIT=yes
        else
            export TWINKLA_RUNS_32BIT=no TWINKLA_NO_32BIT_REASON
        fi
    fi
    if [ "$TWINKLA_RUNS_32BIT" = no ]; then
        case ":$PATH:" in
        *":$TWINKLA_ROOT/tools/wine64-only:"*) ;;
        *) export PATH="$TWINKLA_ROOT/tools/wine64-only:$PATH" ;;
        esac
        export WINELOADER=/usr/lib/wine/wine64
    fi
}

# `wine reg` may start the 32-bit reg.exe, so every call names its view.
wine_reg() { # 64|32 reg arguments...
    local view="$1"
    shift
    wine reg "$@" /reg:"$view" >/dev/null 2>&1
}

_prefix_log() { echo "$(dirname "$WINEPREFIX")/wineserver.log"; }

_prefix_restart() {
    wineserver -k >>"$(_prefix_log)" 2>&1
    wineserver -w
}

# What a prefix holds, all of it here. Every prefix: made by wineboot (win64,
# runs 32- and 64-bit programs where the machine can), and an unhandled
# exception ends the program instead of starting winedbg, which would hang
# the run (AeDebug's Debugger removed in both registry views). The kinds:
#   headless  Graphics=null: windows, dialogs and GDI work without an X server
#   x11       Wine's X11 driver, for a private Xvfb display: windows neither
#             decorated nor managed (there is no window manager), Marlett in
#             the prefix's font folder for the frame buttons
#   dialogs   x11, and "MS Shell Dlg" drawn in DejaVu Sans, for the pictures
# A headless prefix then keeps one persistent wineserver for the run: each
# Wine start costs little, and the device manager doesn't rewrite the port
# links mid-run. The others start theirs on the display.
prefix_init() {
    local kind="${1:-headless}"
    mkdir -p "$(dirname "$WINEPREFIX")"
    # Under a lock (parallel test runs share a prefix). The lock's descriptor
    # is closed for the command, so no wineserver started inside inherits it
    # and holds the lock for ever.
    flock -o "$WINEPREFIX.lock" bash -c 'source "$1" && _prefix_make "$2"' prefix-init \
        "$TWINKLA_ROOT/tools/lib.sh" "$kind" || return 1
    if [ "$kind" = headless ]; then
        wineserver -p >>"$(_prefix_log)" 2>&1 || true
        wine cmd /c exit >/dev/null 2>&1 || true
    fi
}

_prefix_make() {
    local kind="$1" marlett=/usr/share/wine/fonts/marlett.ttf
    if [ ! -f "$WINEPREFIX/.twinkla-ready" ]; then
        echo "wine-prefix: creating $WINEPREFIX"
        rm -rf "$WINEPREFIX"
        wineboot -i >>"$(_prefix_log)" 2>&1 || return 1
        wineserver -w
        # Set before anything starts the prefix's desktop, which keeps the
        # driver it started with.
        wine_reg 64 add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f || return 1
        wine_reg 64 delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f
        wine_reg 32 delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f
        _prefix_restart
        touch "$WINEPREFIX/.twinkla-ready"
    fi
    if [ "$kind" != headless ] && [ ! -f "$WINEPREFIX/.twinkla-x11-ready" ]; then
        echo "wine-prefix: drawing through X11 in $WINEPREFIX"
        wine_reg 64 add 'HKCU\Software\Wine\Drivers' /v Graphics /d x11 /f &&
            wine_reg 64 add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f &&
            wine_reg 64 add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f || return 1
        # This Wine finds Marlett only in the prefix's font folder (Debian's
        # fonts-wine has it; without it the buttons show letters, which only
        # pictures mind).
        if [ -f "$marlett" ]; then
            cp "$marlett" "$WINEPREFIX/drive_c/windows/Fonts/"
        fi
        _prefix_restart
        touch "$WINEPREFIX/.twinkla-x11-ready"
    fi
    if [ "$kind" = dialogs ] && [ ! -f "$WINEPREFIX/.twinkla-dialogs-ready" ]; then
        # Windows shows "MS Shell Dlg" as Microsoft Sans Serif, which Wine
        # lacks. Its stand-in, Tahoma, is narrow where the dialog units make
        # room for wide letters and cuts three labels short; DejaVu Sans cuts one.
        wine_reg 64 add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
            /v 'MS Shell Dlg' /d 'DejaVu Sans' /f || return 1
        _prefix_restart
        touch "$WINEPREFIX/.twinkla-dialogs-ready"
    fi
}

prefix_ready() { [ -f "$WINEPREFIX/.twinkla-ready" ]; }

prefix_stop() { wineserver -k >>"$(_prefix_log)" 2>&1 || true; }

# The mapping goes into HKLM\Software\Wine\Ports too, or the device manager
# rewrites the link from /dev/ttyS* when the prefix's session starts.
map_port() { # COMn DEVICE
    local lower
    lower="$(tr 'A-Z' 'a-z' <<<"$1")"
    wine_reg 64 add 'HKLM\Software\Wine\Ports' /v "$1" /d "$2" /f &&
        ln -sfn "$2" "$WINEPREFIX/dosdevices/$lower"
}

unmap_port() { # COMn
    local lower
    lower="$(tr 'A-Z' 'a-z' <<<"$1")"
    wine_reg 64 delete 'HKLM\Software\Wine\Ports' /v "$1" /f
    rm -f "$WINEPREFIX/dosdevices/$lower"
}

# Where the prefix's drive Z: shows a Unix path.
windows_path() { echo "Z:${1//\//\\}"; }

# --- The virtual controller -------------------------------------------------

# Starts vctl (the program VCTL) on a pseudo-terminal that DIR/pty leads to,
# logging to DIR/vctl.log and its errors to DIR/vctl.err; more arguments go to
# vctl. Sets VCTL_PID.
vctl_start() { # VCTL DIR [vctl arguments...]
    local bin="$1" dir="$2"
    shift 2
    "$bin" --link "$dir/pty" --log "$dir/vctl.log" "$@" 2>"$dir/vctl.err" &
    VCTL_PID=$!
    for _ in $(seq 100); do
        [ -L "$dir/pty" ] && return 0
        kill -0 "$VCTL_PID" 2>/dev/null || break
        sleep 0.05
    done
    [ -L "$dir/pty" ] && return 0
    echo "$TWINKLA_SCRIPT: the virtual controller did not start" >&2
    cat "$dir/vctl.err" >&2
    return 1
}

# A test may have left it stopped; a stopped process doesn't end.
vctl_stop() { # PID
    kill -CONT "$1" 2>/dev/null
    kill -TERM "$1" 2>/dev/null
    wait "$1" 2>/dev/null
}

# The virtual controller, listening on the named COM ports of the prefix, for
# as long as the script runs. The binary is $TWINKLA_VCTL, by default the
# native build's. Exports
#   TWINKLA_TEST_PORT       the first port name (e.g. COM5)
#   TWINKLA_TEST_PORTS      all of them, space-separated
#   TWINKLA_VCTL_LOG        the Windows path (Z:\...) of vctl's message log
#   TWINKLA_VCTL_LOG_UNIX   the same log as a Unix path
#   TWINKLA_VCTL_PID        vctl's process id (tests stop and resume it)
#   TWINKLA_VCTL_BIN        the vctl program, and
#   TWINKLA_VCTL_LINK       the path the ports lead to, for tests that end vctl
#                           and start another on the same path (an adapter
#                           unplugged and plugged back in)
# At the end it stops every vctl on that path and removes the mappings; the
# log stays when the script fails. Returns 2 for a bad port name or no vctl.
vctl_session() { # COMn...
    local vctl="${TWINKLA_VCTL:-$TWINKLA_ROOT/build/native/tools/vctl/vctl}" port work
    for port in "$@"; do
        if ! [[ "$port" =~ ^[Cc][Oo][Mm][0-9]+$ ]]; then
            echo "$TWINKLA_SCRIPT: '$port' is not a COM port name" >&2
            return 2
        fi
    done
    if [ ! -x "$vctl" ]; then
        echo "$TWINKLA_SCRIPT: no virtual controller at $vctl" >&2
        echo "$TWINKLA_SCRIPT: build the native tree first (cmake --build build/native --target vctl)," >&2
        echo "$TWINKLA_SCRIPT: or point TWINKLA_VCTL at a vctl binary" >&2
        return 2
    fi
    prefix_ready || prefix_init headless || return 1

    work="$(mktemp -d "${TMPDIR:-/tmp}/twinkla-vctl.XXXXXX")"
    _vctl_work="$work"
    _vctl_ports=("$@")
    _vctl_pid=""
    at_exit _vctl_session_end
    vctl_start "$vctl" "$work" || return 1
    _vctl_pid="$VCTL_PID"
    # The ports lead to vctl's link rather than to the terminal it names, so a
    # controller started again on the same link takes the ports over.
    for port in "$@"; do
        if ! map_port "$port" "$work/pty"; then
            echo "$TWINKLA_SCRIPT: could not map $port to $work/pty" >&2
            return 1
        fi
        # A device manager that rewrote the link would send the port to a
        # real serial device instead of the controller.
        if [ "$(readlink "$WINEPREFIX/dosdevices/$(tr 'A-Z' 'a-z' <<<"$port")")" != "$work/pty" ]; then
            echo "$TWINKLA_SCRIPT: $port does not lead to $work/pty" >&2
            return 1
        fi
    done
    export TWINKLA_TEST_PORT="$1"
    export TWINKLA_TEST_PORTS="$*"
    export TWINKLA_VCTL_LOG_UNIX="$work/vctl.log"
    TWINKLA_VCTL_LOG="$(windows_path "$work/vctl.log")"
    export TWINKLA_VCTL_LOG
    export TWINKLA_VCTL_PID="$VCTL_PID"
    export TWINKLA_VCTL_BIN="$vctl"
    export TWINKLA_VCTL_LINK="$work/pty"
}

_vctl_session_end() {
    local port
    if [ -n "$_vctl_pid" ]; then
        vctl_stop "$_vctl_pid"
        sed -n "s/^/$TWINKLA_SCRIPT: /p" "$_vctl_work/vctl.err" >&2
    fi
    # Controllers a test started on the same path in place of the first.
    pkill -CONT -f -- "--link $_vctl_work/pty" 2>/dev/null
    pkill -TERM -f -- "--link $_vctl_work/pty" 2>/dev/null
    for port in "${_vctl_ports[@]}"; do
        unmap_port "$port" >/dev/null 2>&1
    done
    if [ "$EXIT_STATUS" -ne 0 ]; then
        echo "$TWINKLA_SCRIPT: log kept in $_vctl_work/vctl.log" >&2
    else
        rm -rf "$_vctl_work"
    fi
}

# --- Audio ------------------------------------------------------------------

# A private PulseAudio server for as long as the script runs, so that Wine's
# audio driver has a recording device to capture from. DIR (emptied first)
# holds its socket, state and logs. It has one null sink, "twinkla"
# (described as "TwinklaTest"); its monitor is the default source. A reader
# with a 10 ms latency stays on the monitor: without one the null sink
# delivers its first packet 0.1 to 1.9 s late. Exports
#   PULSE_SERVER, PULSE_CLIENTCONFIG, PULSE_COOKIE, PULSE_RUNTIME_PATH
#                       this server for every client (Wine's winepulse too),
#                       no autospawning, and client files kept in DIR
#   ALSA_CONFIG_PATH    an empty configuration, so Wine finds no other audio
#   TWINKLA_PULSE_SINK  the sink's name (paplay -d "$TWINKLA_PULSE_SINK" ...)
#   TWINKLA_PULSE_DIR   DIR
# The reader and the server are stopped by their process ids at the end.
# Returns 2 when a tool is missing or DIR is unusable.
pulse_session() { # DIR
    local dir socket tool
    dir="$(mkdir -p "$1" && cd "$1" && pwd)" || return 2
    for tool in pulseaudio pactl parec; do
        if ! command -v "$tool" >/dev/null; then
            echo "$TWINKLA_SCRIPT: $tool is missing (tools/bootstrap installs pulseaudio and pulseaudio-utils)" >&2
            return 2
        fi
    done
    socket="$dir/run/native"
    if [ ${#socket} -gt 100 ]; then
        echo "$TWINKLA_SCRIPT: $socket is too long for a socket path; use a shorter DIR" >&2
        return 2
    fi

    rm -rf "${dir:?}"/*
    mkdir -p "$dir/run" "$dir/state"
    cat >"$dir/server.pa" <<EOF
load-module module-native-protocol-unix socket=$socket auth-anonymous=1
load-module module-null-sink sink_name=twinkla sink_properties=device.description=TwinklaTest
set-default-sink twinkla
set-default-source twinkla.monitor
EOF
    printf 'autospawn = no\n' >"$dir/client.conf"
    : >"$dir/alsa.conf"
    export PULSE_SERVER="unix:$socket"
    export PULSE_CLIENTCONFIG="$dir/client.conf"
    export PULSE_COOKIE="$dir/cookie"
    export PULSE_RUNTIME_PATH="$dir/run"
    export ALSA_CONFIG_PATH="$dir/alsa.conf"
    export TWINKLA_PULSE_SINK=twinkla
    export TWINKLA_PULSE_DIR="$dir"

    _pulse_pids=""
    at_exit _pulse_session_end
    # Its home, configuration and runtime files stay in DIR too.
    HOME="$dir" XDG_CONFIG_HOME="$dir/state" XDG_RUNTIME_DIR="$dir/run" PULSE_STATE_PATH="$dir/state" \
        pulseaudio -n -F "$dir/server.pa" --daemonize=no \
        --exit-idle-time=-1 --use-pid-file=no --log-target=stderr 2>"$dir/pulseaudio.log" &
    _pulse_pids="$!"
    for _ in $(seq 100); do
        kill -0 "$_pulse_pids" 2>/dev/null || break
        if pactl info >/dev/null 2>&1; then
            parec --latency-msec=10 -d twinkla.monitor >/dev/null 2>"$dir/parec.log" &
            _pulse_pids="$! $_pulse_pids"
            # A new server takes up to 2 s before its monitor delivers audio
            # promptly; the caller goes on once a first 50 ms have come through.
            timeout 10 parec --latency-msec=10 -d twinkla.monitor 2>/dev/null |
                head -c 8820 >/dev/null || true
            return 0
        fi
        sleep 0.1
    done
    echo "$TWINKLA_SCRIPT: the PulseAudio server did not start:" >&2
    tail -n 20 "$dir/pulseaudio.log" >&2
    return 1
}

# The reader first, then the server.
_pulse_session_end() {
    local pid
    for pid in $_pulse_pids; do
        kill -TERM "$pid" 2>/dev/null
        for _ in $(seq 50); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -KILL "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    _pulse_pids=""
}

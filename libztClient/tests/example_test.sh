#!/usr/bin/env bash
# The example of docs/client-library.md as an integrator builds it: the text of its C block,
# compiled against an installed copy with pkg-config alone, run against the simulator and daemon.
#   example_test.sh BUILD_DIR DOC C_COMPILER ZTCAMSIM ZTCONTROLD
set -uo pipefail
BUILD=$1 DOC=$2 CC=$3 SIM=$4 DAEMON=$5
WORK=$(mktemp -d /tmp/ztclient-example.XXXXXX)
SIM_PID=""

daemon_pid() {
    local want p
    want=$(readlink -f "$DAEMON")
    for p in /proc/[0-9]*; do
        [ "$(readlink "$p/exe" 2>/dev/null)" = "$want" ] && echo "${p#/proc/}" && return
    done
}

cleanup() {
    local pid
    pid=$(daemon_pid)
    if [ -n "$pid" ]; then
        kill -TERM "$pid"
        for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        kill -KILL "$pid" 2>/dev/null
    fi
    [ -n "$SIM_PID" ] && kill -TERM "$SIM_PID" 2>/dev/null && wait "$SIM_PID" 2>/dev/null
    rm -f /dev/mqueue/to_ztCtlD /dev/mqueue/to_ztCtlD2 /dev/mqueue/to_ztnet 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT

fail() { echo "client_library_example: $*" >&2; exit 1; }

cmake --install "$BUILD" --prefix "$WORK/prefix" >"$WORK/install.log" 2>&1 || { cat "$WORK/install.log"; fail "install failed"; }
pc=$(find "$WORK/prefix" -name ztclient.pc)
[ -n "$pc" ] || fail "no ztclient.pc installed"
[ -f "$WORK/prefix/include/ztClient.h" ] || fail "no ztClient.h installed"
awk '/^```c$/ { inside = 1; next } /^```$/ { if (inside) exit } inside' "$DOC" >"$WORK/app.c"
[ -s "$WORK/app.c" ] || fail "no C example in $DOC"
flags=$(PKG_CONFIG_PATH=$(dirname "$pc") pkg-config --cflags --libs ztclient) || fail "pkg-config failed"
# shellcheck disable=SC2086 # the flags are words
"$CC" -std=c11 -Wall -Wextra -Werror -o "$WORK/app" "$WORK/app.c" $flags || fail "the example does not build"

# A control socket of its own: the default path is shared by every simulator of the machine.
"$SIM" --quiet --control "$WORK/sim.sock" >"$WORK/sim.log" 2>&1 &
SIM_PID=$!
# The daemon refuses to start until the simulator's mailbox is there: a loaded machine is slow.
started=0
for _ in $(seq 50); do
    "$DAEMON" >>"$WORK/daemon.log" 2>&1 && started=1 && break
    sleep 0.1
done
[ "$started" = 1 ] || { tail -3 "$WORK/daemon.log" "$WORK/sim.log"; fail "ztControlD did not start"; }
for _ in $(seq 100); do (exec 3<>/dev/tcp/127.0.0.1/8081) 2>/dev/null && break; sleep 0.1; done
"$WORK/app" | tee "$WORK/out"
status=${PIPESTATUS[0]}
[ "$status" -eq 0 ] || fail "the example exited with $status"
grep -q "^shutter: ZT_OK, result 0$" "$WORK/out" || fail "the shutter was not answered 0"

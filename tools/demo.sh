#!/usr/bin/env bash
# A guided tour of ztControlD against the simulated camera:
#   tools/demo.sh BUILD_DIR      (./run.sh demo calls it with build/default)
# Starts ztcamsim and ztControlD, sends a few commands with ztctl, shows the answers, the
# notifications and the daemon's log, then stops everything it started. Exits non-zero when a
# step that must work does not.
set -uo pipefail

BUILD=${1:-build/default}
ZTCTL=$BUILD/tools/ztctl/ztctl
SIM=$BUILD/camsim/ztcamsim
DAEMON=$BUILD/ztControlD/ztControlD
SYSLOG_FILE=/tmp/ztdemo-syslog.log
WATCH_FRAMES=500 # ended by the demo once it has shown what it needs

WORK=$(mktemp -d /tmp/ztdemo.XXXXXX)
SIM_PID=""
DAEMON_PID=""
WATCH_PID=""
SYSLOG_PID=""
MADE_DEVLOG=0

bold() { if [ -t 1 ]; then printf '\033[1m%s\033[0m\n' "$*"; else printf '%s\n' "$*"; fi; }
heading() { echo; bold "== $*"; }
say() { echo "   $*"; }
fail() {
    echo
    echo "demo: FAILED: $*" >&2
    exit 1
}

alive() { [ -n "$1" ] && kill -0 "$1" 2>/dev/null; }

# Waits up to $2 tenths of a second for process $1 to end; true when it has.
wait_gone() {
    for ((i = 0; i < $2; i++)); do
        alive "$1" || return 0
        sleep 0.1
    done
    ! alive "$1"
}

# Waits up to $1 tenths of a second for the command after it to succeed.
wait_for() {
    local tenths=$1
    shift
    for ((i = 0; i < tenths; i++)); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    return 1
}

# True when the daemon answers a request (any result); exit status 2 means no answer.
# Command 41 (remote API) answers 0 and changes nothing: a harmless probe.
daemon_answers() {
    "$ZTCTL" --timeout 0.5 remote-api >/dev/null 2>&1
    [ $? -ne 2 ]
}

# The listener opens once the daemon's start-up check has seen its worker run.
port_open() { (exec 3<>/dev/tcp/127.0.0.1/8081) 2>/dev/null; }

# The daemon detaches itself, so its pid is found afterwards: the process running our binary
# that was not there before we started it.
daemon_pids() {
    local want exe p
    want=$(readlink -f "$DAEMON")
    for p in /proc/[0-9]*; do
        exe=$(readlink "$p/exe" 2>/dev/null) || continue
        [ "$exe" = "$want" ] && echo "${p#/proc/}"
    done
}

mqueue_dir() { awk '$3 == "mqueue" { print $2; exit }' /proc/mounts 2>/dev/null; }

cleanup() {
    local status=$?
    trap - EXIT
    trap '' INT TERM # finish cleaning up even when interrupted again
    alive "$WATCH_PID" && kill "$WATCH_PID" 2>/dev/null
    if alive "$DAEMON_PID"; then
        "$ZTCTL" --timeout 2 stop >/dev/null 2>&1
        if ! wait_gone "$DAEMON_PID" 40; then
            kill -TERM "$DAEMON_PID" 2>/dev/null
            wait_gone "$DAEMON_PID" 20 || kill -KILL "$DAEMON_PID" 2>/dev/null
        fi
    fi
    if alive "$SIM_PID"; then
        kill -TERM "$SIM_PID" 2>/dev/null
        wait "$SIM_PID" 2>/dev/null
    fi
    # A daemon that did not end cleanly leaves its mailboxes; they are ours to remove.
    if [ -n "$DAEMON_PID" ] && ! alive "$DAEMON_PID"; then
        local mq
        mq=$(mqueue_dir)
        [ -n "$mq" ] && rm -f "$mq/to_ztCtlD" "$mq/to_ztCtlD2"
    fi
    if alive "$SYSLOG_PID"; then
        kill "$SYSLOG_PID" 2>/dev/null
        wait "$SYSLOG_PID" 2>/dev/null
    fi
    [ "$MADE_DEVLOG" = 1 ] && rm -f /dev/log
    rm -rf "$WORK"
    exit $status
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Runs one ztctl command, shows it and its answer, and checks the exit status when one is
# expected (0 result 0, 1 another result; 2, no answer, always fails the demo).
show() {
    local expect=$1
    shift
    local shown="" a
    for a in "$@"; do
        [[ "$a" == *" "* ]] && a="'$a'"
        shown+=" $a"
    done
    echo "   \$ ztctl${shown}"
    "$ZTCTL" "$@" >"$WORK/out" 2>&1
    local status=$?
    sed 's/^/     /' "$WORK/out"
    [ $status -eq 2 ] && fail "no answer to 'ztctl $*'"
    [ "$expect" = any ] || [ "$status" -eq "$expect" ] || fail "'ztctl $*' exited $status, expected $expect"
    return 0
}

print_frames() {
    awk '{ if (length($0) > 300) print "     " substr($0, 1, 300) " ... (" length($0) " bytes)"; else print "     " $0 }'
}

frames_so_far() { if [ -f "$WORK/watch.out" ]; then wc -l <"$WORK/watch.out"; else echo 0; fi; }

# One ztctl command that must succeed, then the notification frames that arrived after it.
step() {
    show 0 "$@"
    sleep 1.2
    local now
    now=$(frames_so_far)
    if [ "$now" -gt "$SHOWN_FRAMES" ]; then
        echo "     notifications:"
        tail -n "+$((SHOWN_FRAMES + 1))" "$WORK/watch.out" | head -n "$((now - SHOWN_FRAMES))" | print_frames
    else
        echo "     (no notification)"
    fi
    SHOWN_FRAMES=$now
}

for bin in "$ZTCTL" "$SIM" "$DAEMON"; do
    [ -x "$bin" ] || fail "$bin is missing: build first (./run.sh build)"
done

bold "ztControlD demo: the camera's control daemon, driven by ztctl against a simulated camera"

heading "Log"
if [ -S /dev/log ]; then
    say "A system log is running: the daemon's lines go there."
elif command -v busybox >/dev/null 2>&1; then
    : >"$SYSLOG_FILE"
    busybox syslogd -n -O "$SYSLOG_FILE" &
    SYSLOG_PID=$!
    MADE_DEVLOG=1
    wait_for 30 test -S /dev/log || say "(busybox syslogd did not start; the daemon's log is not shown)"
    say "No system log here: busybox syslogd collects the daemon's lines in $SYSLOG_FILE."
else
    say "No system log and no busybox: the daemon's log is not shown."
fi

heading "1. The simulated camera"
say "ztcamsim plays the camera, the network daemon and the settings service (model 55)."
daemon_answers && fail "a ztControlD is already running; stop it first with: $ZTCTL stop"
"$SIM" --quiet >"$WORK/sim.log" 2>&1 &
SIM_PID=$!
sim_ready() { "$ZTCTL" sim state || ! alive "$SIM_PID"; }
wait_for 50 sim_ready
if ! alive "$SIM_PID" || ! "$ZTCTL" sim state >/dev/null 2>&1; then
    sed 's/^/   /' "$WORK/sim.log" >&2
    fail "ztcamsim did not start (another simulator or a test using the camera mailbox?)"
fi
"$ZTCTL" sim state >"$WORK/state" || fail "cannot read the simulator's state"
say "model number and state, from 'ztctl sim state':"
grep -E '^  "(model|power|flat_mode|mode_group|recording|zoom|battery_percent|media_count)":' "$WORK/state" |
    sed 's/^  /     /; s/,$//'

heading "2. The daemon"
say "ztControlD detaches itself, opens its mailbox /to_ztCtlD and listens on TCP port 8081."
before=" $(daemon_pids | tr '\n' ' ') "
# Its few lines on standard output (preset-edit progress) are kept out of the tour.
"$DAEMON" >"$WORK/daemon.out" 2>&1 || fail "ztControlD exited with status $? at start"
for ((i = 0; i < 30; i++)); do
    if [ -z "$DAEMON_PID" ]; then
        for p in $(daemon_pids); do
            [[ "$before" == *" $p "* ]] || DAEMON_PID=$p
        done
    fi
    if { [ -z "$DAEMON_PID" ] && [ $i -ge 2 ]; } || { [ -n "$DAEMON_PID" ] && ! alive "$DAEMON_PID"; }; then
        fail "ztControlD ended during start-up (its log says why)"
    fi
    daemon_answers && break
    sleep 0.1
done
daemon_answers || fail "ztControlD does not answer on /to_ztCtlD"
say "running (pid ${DAEMON_PID:-unknown}); every ztctl call below is one request on its mailbox."
show 0 set-log-level 4
say "(log level 4: the daemon now logs a trace line for every command)"

heading "3. Notifications"
say "'ztctl watch' connects to port 8081 and turns notifications on (command 43, status=1):"
say "the full camera state comes first, then only what changes."
wait_for 50 port_open || fail "ztControlD does not listen on port 8081"
"$ZTCTL" watch --raw --count "$WATCH_FRAMES" >"$WORK/watch.out" 2>"$WORK/watch.err" &
WATCH_PID=$!
sleep 1.5

heading "4. Commands and their answers"
say "Turn the Wi-Fi access point on, start a network scan and read the first page of results:"
show 0 wifi-ap-control 1
show 0 wifi-ssid-scan 1
sleep 1
show 0 wifi-ssid-list 0
say "A change made on the camera itself (here: the simulator's battery drops) is pushed too:"
"$ZTCTL" sim set status 41 73 >/dev/null || fail "cannot change the simulator's battery"
sleep 1.2
say "Make the camera beep so it can be found, then stop it:"
show 0 locate 1
show 0 locate 0
say "Where the lens calibration file is:"
show 0 cal-file-name-get
say "Every answer as one JSON object, for scripts:"
show 0 --json locate 0
say "Transcode a recorded video on the camera, then follow the job until it ends: the camera"
say "reports its progress to the daemon, which keeps the record that ztctl asks for."
show 0 transcode-video-request --file DCIM/100ZTCAM/ZT010001.MP4 --words 1,2,3
job=$(sed -n 's/^ *transcode_id: //p' "$WORK/out")
[ -n "$job" ] || fail "no job id in the transcode answer"
echo "   \$ ztctl transcode-status --follow $job"
timeout 30 "$ZTCTL" transcode-status --follow "$job" 2>&1 | sed 's/^/     /'
[ "${PIPESTATUS[0]}" -eq 0 ] || fail "transcode job $job did not end as done"
say "An id that no command has: the daemon answers 'not supported'."
show 1 45
say "delete-last takes no argument: one given anyway is refused, nothing is deleted."
show 1 delete-last --u8 1

heading "4b. Presets"
say "Preset requests and answers are protobuf messages; ztctl reads and prints them in text format."
show 0 preset-group-list
show 0 preset-list 'group_id: 1000'
show 0 preset-info 'preset_id: 65537'
say "Create a custom video preset (title and icon BIKE); the camera switches to it:"
show 0 preset-custom-create 'group_id: 1000 flat_mode: 12 preset_icon: 20 preset_name: 20 preset_name_iterator: 0'
sleep 0.3
CUSTOM_ID=$("$ZTCTL" --json preset-get-active-preset | grep -o '"preset_id":[0-9]*' | head -n 1 | cut -d: -f2)
[ -n "$CUSTOM_ID" ] || fail "no active preset after the create"
say "Rename it (title and icon TRAVEL), make it a looping preset, and read it back:"
show 0 preset-set-title-icon 'preset_name: 31 preset_icon: 31'
show 0 preset-switch-flatmode 'flat_mode: 15'
show 0 preset-info "preset_id: $CUSTOM_ID"
say "Load the first video preset again and remove the custom one:"
show 0 preset-load 'preset_id: 0'
show 0 preset-custom-remove "preset_id: $CUSTOM_ID"
show 0 preset-list 'group_id: 1000'
say "A predefined preset keeps its flat mode:"
show 1 preset-switch-flatmode 'flat_mode: 15'

heading "5. Capture, mode and settings"
say "Each step below is followed by the notification frames it caused. Items are numbered:"
say "status 1 flat mode, 6 zoom, 8 recording, 10 encoding, 13 recording seconds, 17 mode group,"
say "19/20 edited preset and preset state, 24/25 photos and video seconds left, 26 files,"
say "33 photo timer; settings 144 flat mode, 105 photo timer."
sleep 1.5
FIRST_FRAMES=$(frames_so_far)
SHOWN_FRAMES=$FIRST_FRAMES
say "Switch to photo (mode 1: the photo flat mode the camera last selected) and take a picture:"
step mode 1
step shutter 1
say "Switch to video and record for two seconds:"
step mode 0
step shutter 1
sleep 0.8
step shutter 0
say "Zoom in: the preset edit opened for it is stored 200 ms after the last zoom change:"
step digital-zoom 50
say "Change a setting by id (the photo timer, setting 105, to 3 s):"
step set-setting-id --id 105 --value 3
say "The status block, decoded (the daemon answers the camera's 384 bytes; ztctl names them):"
"$ZTCTL" get-all-status >"$WORK/out" 2>&1 || fail "get-all-status failed"
grep -E '^ *(ZTCONTROL|payload|recording|flat_mode|zoom|battery_percent|card_present|media_count|capture_delay):?' \
    "$WORK/out" | sed 's/^/     /'

heading "6. What the watcher saw before"
if alive "$WATCH_PID"; then
    kill "$WATCH_PID" 2>/dev/null
fi
wait "$WATCH_PID" 2>/dev/null
WATCH_PID=""
if [ -s "$WORK/watch.out" ]; then
    say "$FIRST_FRAMES frame(s) up to step 5: the full state, then the changes the commands of steps 4 and 4b caused:"
    head -n "$FIRST_FRAMES" "$WORK/watch.out" | print_frames
else
    say "no notification frames in this build:"
    sed 's/^/     /' "$WORK/watch.err"
fi

heading "7. Stopping"
say "'ztctl stop' sends command 89; the daemon answers, closes its mailboxes and exits."
show 0 stop
wait_gone "$DAEMON_PID" 50 || fail "ztControlD still runs 5 s after the stop command"
say "ztControlD has exited. Stopping the simulator (SIGTERM)."
kill -TERM "$SIM_PID" 2>/dev/null
wait "$SIM_PID" 2>/dev/null
SIM_PID=""

if [ -n "$SYSLOG_PID" ]; then
    heading "8. The daemon's log"
    sleep 0.3
    say "(the message dumps and idle lines left out)"
    if grep -q ztControlD "$SYSLOG_FILE" 2>/dev/null; then
        grep ztControlD "$SYSLOG_FILE" | grep -v -E ' tag [0-9]+ len |no message received|Msg From Client' |
            sed -E 's/^.* ([0-9]{2}:[0-9]{2}:[0-9]{2}) .*ztControlD(\[[0-9]+\])?: (UTIL_LOG_)?/   \1 /' | tail -n 30
    else
        say "(no lines from ztControlD in $SYSLOG_FILE)"
    fi
fi

echo
bold "Demo finished. Try it yourself: start $SIM, then $DAEMON, then '$ZTCTL --help'."
exit 0

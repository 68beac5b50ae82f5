#!/usr/bin/env bash
# The one entry point: ./run.sh deps|build|test|test-armhf|demo|bench|fuzz|soak
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(cmake g++ make libgtest-dev libgmock-dev libbenchmark-dev libprotobuf-dev protobuf-compiler busybox
          systemd bubblewrap nlohmann-json3-dev)
JOBS=$(nproc 2>/dev/null || echo 2)

usage() {
    cat <<'USAGE'
Usage: ./run.sh COMMAND
  deps           install the Debian packages the build needs (when missing)
  build [PRESET] configure and build (presets: default, asan, tsan; default: default)
  test           build and run every test: normally, under ASan+UBSan, under TSan; then 30 s of each
                 fuzz target, a one-minute soak, and every test on 32-bit ARM under qemu-arm
  test-armhf     cross-build for 32-bit ARM and run every test under qemu-arm
  demo           run the daemon against the simulated camera and show it working
  bench          run the benchmarks
  fuzz [SECONDS] run every libFuzzer target for SECONDS (default 30), two at a time; fails on a finding
  soak [MINUTES] the daemon and simulator under a mixed load for MINUTES (default 1): CSV and PNG
                 in build/default/soak; fails when an answer was lost or extra (uses the fixed names)
USAGE
}

# Installs the packages named (default: the build's) that are missing.
deps() {
    local wanted=("${PACKAGES[@]}") missing=()
    [ $# -gt 0 ] && wanted=("$@")
    for p in "${wanted[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "== installing: ${missing[*]}"
        local sudo=""
        [ "$(id -u)" -eq 0 ] || sudo="sudo"
        # An index that is out of step (mirror sync) must not stop packages the others provide.
        $sudo apt-get update -qq || echo "warning: apt-get update reported errors"
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
    fi
}

build() {
    local preset=${1:-default}
    deps
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$JOBS"
}

run_tests() {
    local preset=$1
    echo "== tests ($preset)"
    build "$preset"
    ctest --preset "$preset" -j "$JOBS"
}

# --- 32-bit ARM (the camera's platform), tests under qemu-arm ---------------------------------
ARMHF_PACKAGES=(g++-arm-linux-gnueabihf qemu-user libgtest-dev:armhf libgmock-dev:armhf
                libbenchmark-dev:armhf zlib1g:armhf python3)
# Where the armhf protobuf goes when apt cannot install it (see deps_armhf).
ARMHF_SYSROOT=build/armhf-sysroot

deps_armhf() {
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    if ! dpkg --print-foreign-architectures | grep -qx armhf; then
        $sudo dpkg --add-architecture armhf
        $sudo apt-get update -qq || echo "warning: apt-get update reported errors"
    fi
    deps "${ARMHF_PACKAGES[@]}"
    dpkg-query -W -f='${Status}' libprotobuf-dev:armhf 2>/dev/null | grep -q 'install ok installed' && return
    [ -f "$ARMHF_SYSROOT/.complete" ] && return
    # The armhf library must be the version of the host's protoc.
    local ver
    ver=$(dpkg-query -W -f='${Version}' protobuf-compiler)
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "libprotobuf-dev:armhf=$ver" && return
    # Multi-arch installs fail when the armhf index is out of step with the host's (a security
    # update on one side only): unpack the packages into a private folder instead.
    echo "== unpacking libprotobuf-dev:armhf $ver into $ARMHF_SYSROOT"
    local tmp
    tmp=$(mktemp -d)
    chmod 755 "$tmp"  # apt's download user writes there
    (cd "$tmp" && apt-get download -qq "libprotobuf-dev:armhf=$ver" "libprotobuf32:armhf=$ver")
    rm -rf "$ARMHF_SYSROOT"
    mkdir -p "$ARMHF_SYSROOT"
    for deb in "$tmp"/*.deb; do dpkg -x "$deb" "$ARMHF_SYSROOT"; done
    rm -rf "$tmp"
    touch "$ARMHF_SYSROOT/.complete"
}

# Cross-builds everything and runs the suite under the emulator; the tests that use the fixed
# mailbox names or port 8081 run one at a time (their resource lock), the others in parallel.
test_armhf() {
    echo "== tests (armhf, under qemu-arm)"
    deps
    deps_armhf
    cmake --preset armhf >/dev/null
    cmake --build --preset armhf -j "$JOBS"
    ctest --preset armhf -j "$JOBS"
}

demo() {
    build default
    if [ -x tools/demo.sh ]; then
        exec tools/demo.sh build/default
    fi
    echo "nothing to demonstrate yet: the daemon is not built"
}

bench() {
    deps dbus libsystemd-dev  # the D-Bus peer of the end-to-end benchmark
    build default
    local found=0
    for b in build/default/bench/bench_*; do
        [ -x "$b" ] || continue
        [ "$(basename "$b")" = bench_e2e ] && continue
        found=1
        "$b"
    done
    [ $found -eq 1 ] || echo "no benchmarks built"
    [ -x build/default/bench/bench_e2e ] && bench_e2e
}

# The end-to-end benchmark: table on standard output, JSON and a latency chart in build/default/bench.
bench_e2e() {
    local out=build/default/bench samples
    samples=$(mktemp -d)
    echo "== end to end (daemon and simulator started here; pinned to one CPU)"
    build/default/bench/bench_e2e --json "$out/e2e.json" --samples "$samples" || true
    deps gnuplot-nox
    local plot="set terminal pngcairo size 1000,600; set output '$out/e2e.png'; set logscale x;"
    plot+=" set xlabel 'round trip (us)'; set ylabel 'fraction of samples'; set key bottom right; plot"
    local sep=""
    for f in "$samples"/row*.dat; do
        plot+="$sep '$f' using 1:2 with lines title '$(head -n 1 "$f" | cut -c3-)'"
        sep=","
    done
    gnuplot -e "$plot" && echo "wrote $out/e2e.json and $out/e2e.png"
    rm -rf "$samples"
}

# Every fuzz target under libFuzzer (preset fuzz: Clang, ASan+UBSan, coverage over the whole
# tree), two at a time on private mailbox names. What a run finds stays in build/fuzz/fuzz/found
# (inputs) and build/fuzz/fuzz/findings (crashes, leaks, time-outs).
fuzz() {
    local seconds=${1:-30} dir=build/fuzz/fuzz targets=() t f
    deps
    deps clang-14 libclang-rt-14-dev
    for f in fuzz/fuzz_*.cpp; do targets+=("$(basename "$f" .cpp)"); done
    cmake --preset fuzz >/dev/null
    cmake --build --preset fuzz -j "$JOBS" --target "${targets[@]}"
    rm -rf "$dir/findings" "$dir/logs"
    mkdir -p "$dir/findings" "$dir/logs"
    echo "== fuzzing ${#targets[@]} targets for ${seconds}s each"
    printf '%s\n' "${targets[@]}" | xargs -P 2 -I{} sh -c '
        t={}; n=${t#fuzz_}; dir='"$dir"'; d=fuzz/dict/$n.dict
        mkdir -p "$dir/found/$n" "$dir/findings/$n"
        [ -f "$d" ] && dict="-dict=$d" || dict=""
        ASAN_OPTIONS=detect_leaks=1 "$dir/$t" -max_total_time='"$seconds"' -timeout=10 -max_len=1600 \
            -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$dir/findings/$n/" $dict \
            "$dir/found/$n" "fuzz/corpus/$n" >"$dir/logs/$n.log" 2>&1
        echo $? >"$dir/logs/$n.rc"' || true
    local failed=0 runs cov corp rc
    printf '%-22s %12s %8s %10s  %s\n' target executions coverage corpus result
    for t in "${targets[@]}"; do
        n=${t#fuzz_}
        rc=$(cat "$dir/logs/$n.rc" 2>/dev/null || echo 1)
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/logs/$n.log" | tail -n 1)
        cov=$(grep -o 'cov: [0-9]*' "$dir/logs/$n.log" | tail -n 1 | cut -d' ' -f2)
        corp=$(grep -o 'corp: [0-9]*' "$dir/logs/$n.log" | tail -n 1 | cut -d' ' -f2)
        if [ "$rc" = 0 ] && [ -z "$(ls -A "$dir/findings/$n")" ]; then
            printf '%-22s %12s %8s %10s  %s\n' "$t" "${runs:-?}" "${cov:-?}" "${corp:-?}" ok
        else
            failed=1
            printf '%-22s %12s %8s %10s  %s\n' "$t" "${runs:-?}" "${cov:-?}" "${corp:-?}" "FINDING (exit $rc, see $dir/logs/$n.log)"
            grep -m 3 -E '^(==[0-9]+==ERROR|SUMMARY|fuzz check failed)' "$dir/logs/$n.log" | sed 's/^/    /' || true
        fi
    done
    [ $failed -eq 0 ] || { echo "== fuzzing found something (inputs in $dir/findings)"; return 1; }
}

# The real daemon and simulator under ztsoak; uses the fixed mailbox names and port 8081, so run
# it alone on the machine (other engineers: under flock /tmp/zt-fixed-names.lock).
soak() {
    local minutes=${1:-1} out=build/default/soak
    build default
    mkdir -p "$out"
    echo "== soak for ${minutes} min"
    local rc=0
    build/default/tools/ztsoak/ztsoak --daemon build/default/ztControlD/ztControlD \
        --sim build/default/camsim/ztcamsim --minutes "$minutes" --csv "$out/soak.csv" ${ZT_SOAK_ARGS:-} || rc=$?
    deps gnuplot-nox
    soak_chart "$out/soak.csv" "$out/soak.png" && echo "wrote $out/soak.csv and $out/soak.png"
    return $rc
}

# soak_chart CSV PNG: memory, descriptors, threads and CPU above, request latency below.
soak_chart() {
    gnuplot -e "set terminal pngcairo size 1100,800; set output '$2'; set datafile separator ',';
        set multiplot layout 2,1; set xlabel 'seconds'; set key outside right;
        set ylabel 'RSS (KiB)'; set y2label 'count / CPU %'; set y2tics; set ytics nomirror;
        set yrange [0:*]; set y2range [0:*];
        plot '$1' using 1:2 with lines lw 2 title 'RSS KiB', '' using 1:3 axes x1y2 with lines title 'descriptors',
             '' using 1:4 axes x1y2 with lines title 'threads', '' using 1:5 axes x1y2 with lines title 'CPU %';
        unset y2tics; unset y2label; set ytics mirror; set ylabel 'latency (ms)'; set yrange [*:*]; set logscale y;
        plot '$1' using 1:7 with lines title 'p50', '' using 1:8 with lines title 'p99', '' using 1:9 with lines title 'max';
        unset multiplot"
}

case "${1:-}" in
    deps) deps ;;
    build) shift; build "${1:-default}" ;;
    test)
        run_tests default
        run_tests asan
        run_tests tsan
        fuzz 30
        soak 1
        test_armhf
        echo "== all test runs passed"
        ;;
    test-armhf) test_armhf ;;
    demo) demo ;;
    bench) bench ;;
    fuzz) shift; fuzz "${1:-30}" ;;
    soak) shift; soak "${1:-1}" ;;
    -h|--help|help) usage ;;
    *) usage; exit 2 ;;
esac

#!/usr/bin/env bash
# The one entry point: ./run.sh deps|build|test|test-armhf|demo|bench
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(cmake g++ make libgtest-dev libgmock-dev libbenchmark-dev libprotobuf-dev protobuf-compiler busybox
          systemd)
JOBS=$(nproc 2>/dev/null || echo 2)

usage() {
    cat <<'USAGE'
Usage: ./run.sh COMMAND
  deps           install the Debian packages the build needs (when missing)
  build [PRESET] configure and build (presets: default, asan, tsan; default: default)
  test           build and run every test: normally, under ASan+UBSan, under TSan, then on 32-bit ARM
  test-armhf     cross-build for 32-bit ARM and run every test under qemu-arm
  demo           run the daemon against the simulated camera and show it working
  bench          run the benchmarks
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

case "${1:-}" in
    deps) deps ;;
    build) shift; build "${1:-default}" ;;
    test)
        run_tests default
        run_tests asan
        run_tests tsan
        test_armhf
        echo "== all test runs passed"
        ;;
    test-armhf) test_armhf ;;
    demo) demo ;;
    bench) bench ;;
    -h|--help|help) usage ;;
    *) usage; exit 2 ;;
esac

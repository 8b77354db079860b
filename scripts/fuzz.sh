#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer in build/fuzz and runs each
# for a bounded time. Fails when the fuzzer finds a crash, a leak, undefined
# behaviour or a hang; the input that caused it is left in build/fuzz/artifacts.
#
#   scripts/fuzz.sh [seconds per target, default 60]
#
# Our code needs <expected>. libstdc++ 12 offers it to clang only from clang
# 16 on (which implements conditionally trivial special members but does not
# yet advertise it through __cpp_concepts, hence the flag below). The install
# script provides one; without it the script fails rather than pass unfuzzed.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
build=build/fuzz

probe_dir=$(mktemp -d)
trap 'rm -rf "$probe_dir"' EXIT
cat >"$probe_dir/probe.cpp" <<'PROBE'
#include <cstddef>
#include <cstdint>
#include <expected>
#include <string>
static std::expected<int, std::string> half(int value) {
    if (value % 2) return std::unexpected<std::string>("odd");
    return value / 2;
}
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t*, std::size_t size) {
    return half(static_cast<int>(size)).value_or(0) * 0;
}
PROBE

compiler=""
extra_flags=""
for candidate in clang++-19 clang++-18 clang++-17 clang++-16 clang++; do
    command -v "$candidate" >/dev/null 2>&1 || continue
    for flags in "" "-U__cpp_concepts -D__cpp_concepts=202002L -Wno-builtin-macro-redefined"; do
        # shellcheck disable=SC2086
        if "$candidate" -std=c++2b $flags -fsanitize=fuzzer,address,undefined \
            "$probe_dir/probe.cpp" -o "$probe_dir/probe" >/dev/null 2>&1; then
            compiler=$candidate
            extra_flags=$flags
            break 2
        fi
    done
done

if [[ -z "$compiler" ]]; then
    echo "fuzz: no clang++ here can build libFuzzer targets using <expected>" \
         "(clang 16 or later with its libFuzzer runtime is needed; run scripts/install-deps.sh)." >&2
    exit 1
fi
echo "fuzz: building with $compiler ${extra_flags:+($extra_flags)}"

cmake -S fuzz -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER="$compiler" -DMURMO_FUZZ_CXX_FLAGS="$extra_flags" >/dev/null
cmake --build "$build" -j "$(nproc)"

mkdir -p "$build/artifacts"
run_target() {
    local target=$1 starting_inputs=$2
    local corpus="$build/corpus/$target"
    mkdir -p "$corpus"
    echo "fuzz: running $target for ${seconds}s"
    # New inputs go to the working corpus; the starting inputs in the repository stay
    # as they are.
    "$build/$target" "$corpus" "$starting_inputs" \
        -max_total_time="$seconds" -max_len=16384 -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="$build/artifacts/$target-" -print_final_stats=1
}

run_target bridge_request_fuzz fuzz/corpus/bridge-request
run_target dashboard_bridge_fuzz fuzz/corpus/dashboard-bridge
echo "fuzz: no findings"

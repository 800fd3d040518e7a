#!/usr/bin/env bash
# run.sh TARGET BUILD_DIR SECONDS [LIBFUZZER_OPTION...]: fuzzes TARGET for SECONDS, starting
# from a copy of its seed corpus (tests/fuzz/corpus/TARGET). The build makes the targets in
# BUILD_DIR; run by hand, the script builds with clang what is missing or out of date. A crash,
# a sanitizer report or a broken property fails, and the input that did it is kept as
# BUILD_DIR/artifacts/TARGET-crash-…; run `BUILD_DIR/TARGET FILE` to see it again.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
target="$1"
build="$(realpath -m "$2")"
seconds="$3"
shift 3

source "$here/../support/require.sh"
require clang++ cmake ninja
# libFuzzer's runtime is a package of its own (libclang-rt-14-dev on Debian 12).
probe="$(mktemp -d)"
trap 'rm -rf "$probe"' EXIT
echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' >"$probe/probe.cpp"
if ! clang++ -fsanitize=fuzzer,address,undefined "$probe/probe.cpp" -o "$probe/probe" 2>/dev/null; then
    echo "跳过：本机缺少 libFuzzer（libclang-rt-14-dev，scripts/deps 会安装）/ skipped: libFuzzer not installed"
    exit 77
fi

if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$here" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target "$target"

corpus="$probe/corpus"
cp -r "$here/corpus/$target" "$corpus"
mkdir -p "$build/artifacts"
# -timeout: an input that takes seconds is a hang, and fails like a crash. -error_exitcode:
# libFuzzer's own is 77, which CTest would take for a skip.
"$build/$target" -max_total_time="$seconds" -timeout=10 -error_exitcode=1 -print_final_stats=1 \
    -artifact_prefix="$build/artifacts/$target-" "$@" "$corpus"

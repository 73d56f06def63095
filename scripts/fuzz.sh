#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, address and undefined-behaviour sanitizers) into build-fuzz/
# and runs one target or all of them, one after another in one process each (no worker logs left in the
# tree), at the lowest priority.
#   scripts/fuzz.sh [TARGET|all] [SECONDS] [extra libFuzzer flags...]
# TARGET is bmp, ico, metafile, jpeg, profile, replies, cp932, spibitmap or a plug-in: png, gif, tiff, webp,
# heic, avif (or fuzz_<name>). Each run starts
# from the seeds in fuzz/corpus/TARGET and keeps what it finds in build-fuzz/corpus/TARGET; a fault's
# input lands in build-fuzz/artifacts/TARGET/ and the script fails.
# TARGET metafile-instrumented runs fuzz_metafile built in build-fuzz-emf/ against libemf2svg compiled
# from its Debian source package with the same instrumentation (scripts/emf2svg-instrumented.sh), so the
# fuzzer steers inside the converter too; it shares the metafile corpus. "all" leaves it out.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

targets=(bmp ico metafile jpeg profile replies cp932 spibitmap png gif tiff webp heic avif)
which="${1:-all}"
seconds="${2:-60}"
shift $(( $# > 2 ? 2 : $# ))
build=build-fuzz
configure=()
run_name=""
if [ "$which" = metafile-instrumented ]; then
  emf2svg=$(scripts/emf2svg-instrumented.sh | tail -n1)
  build=build-fuzz-emf
  configure=(-DEMF2SVG_LIBRARY="$emf2svg" "-DTOVARI_EMF2SVG_EXTRA_LIBS=uemf;png;freetype;fontconfig;m")
  run_name=metafile-instrumented
  which=metafile
fi
if [ "$which" != all ]; then
  which="${which#fuzz_}"
  [[ " ${targets[*]} " == *" $which "* ]] || { echo "fuzz: unknown target $which (${targets[*]})" >&2; exit 2; }
  targets=("$which")
fi

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOVARI_FUZZ=ON \
  "${configure[@]}" >/dev/null
nice -n 19 cmake --build "$build" --parallel 2 --target "${targets[@]/#/fuzz_}"

# Leaks are checked per input; Qt's caches stay reachable and are no leaks.
export ASAN_OPTIONS="${ASAN_OPTIONS:-allocator_may_return_null=1:detect_stack_use_after_return=1}"
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$PWD/fuzz/lsan.supp}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
export QT_QPA_PLATFORM=offscreen
status=0
for t in "${targets[@]}"; do
  name="${run_name:-$t}"
  corpus="build-fuzz/corpus/$t"
  artifacts="build-fuzz/artifacts/$name/"
  mkdir -p "$corpus" "$artifacts"
  dict=()
  [ -f "fuzz/dict/$t.dict" ] && dict=("-dict=fuzz/dict/$t.dict")
  echo "fuzz: $name for ${seconds}s"
  # 2 GiB and 10 s per input: anything slower or larger is a fault to fix, not noise.
  set +e +o pipefail
  nice -n 19 "$build/fuzz/fuzz_$t" "$corpus" "fuzz/corpus/$t" "${dict[@]}" \
    -max_total_time="$seconds" -rss_limit_mb=2048 -malloc_limit_mb=2048 -timeout=10 -report_slow_units=1 \
    -print_final_stats=1 -artifact_prefix="$artifacts" "$@" 2>&1 | tee "build-fuzz/$name.log" |
    grep -E '^(#[0-9]+ +DONE|stat::number_of_executed_units|stat::average_exec_per_sec|stat::peak_rss_mb|==[0-9]+==ERROR|SUMMARY|Slow unit|.*Test unit written)'
  rc=${PIPESTATUS[0]}
  set -e -o pipefail
  if [ "$rc" -ne 0 ]; then
    echo "fuzz: $name found a fault (build-fuzz/$name.log, $artifacts)" >&2
    status=1
  fi
done
exit $status

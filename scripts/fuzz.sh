#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) and runs each for a
# bounded time on a seed corpus of valid files written by the batch tool.
# A crash, a hang (> 1 s per input), a leak or an out-of-memory fails.
# Needs the regular build in build/ (for the batch tool that writes the seeds).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${MDV_FUZZ_SECONDS:-60}
if [ ! -f build-fuzz/CMakeCache.txt ]; then
  CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMDV_FUZZ=ON \
    -DMDV_BUILD_GUI=OFF -DMDV_BUILD_TESTS=OFF -DMDV_BUILD_BENCHMARKS=OFF >/dev/null
fi
cmake --build build-fuzz -j"$(nproc)" --target vortex_file_fuzz records_fuzz numfmt_fuzz contour_fuzz

work=build-fuzz/corpus
rm -rf "$work"
mkdir -p "$work/vortex_file" "$work/records" "$work/numfmt" "$work/contour" "$work/artifacts"
batch=build/rinfet-mdv-batch
"$batch" run --quiet --max-time 0,02 --max-free 20 --save "$work/vortex_file/short.evt" \
  --pulsation-points "0.2,0.15;0.1,0.05" --pulsation-file "$work/records/short.pls" \
  --track-file "$work/records/short.fvt"
# A coarse contour: a small file, so that mutations of it are cheap to try.
"$batch" run --quiet --vortex-spacing 0,05 --max-time 0,02 --max-free 5 \
  --save "$work/vortex_file/coarse.evt"
"$batch" run --quiet --max-time 0 --save "$work/vortex_file/empty.evt" \
  --pulsation-points "0.2,0.15" --pulsation-file "$work/records/empty.pls" \
  --track-file "$work/records/empty.fvt"
# Contour files, and the head of a contour run's state (the whole is longer
# than the inputs are let be: the header and the text are what is read first).
cp examples/contours/*.toml examples/validation/bellmouth.toml "$work/contour/"
"$batch" run --quiet --contour examples/contours/flanged-hood.toml --max-time 0,01 --max-free 5 \
  --save "$work/contour/state.cvs"
i=0
for t in "0,005" "-0,5" "1" "400" " 12,5E-3 " "1,2e+10" "abc" "0.5" "-0" "1E4931"; do
  printf '%s' "$t" > "$work/numfmt/seed$i"; i=$((i + 1))
done

# The vortex-file reader takes the same paths for a coarse contour as for a
# fine one (counts, lengths, values), so its inputs are kept small: a large
# input only slows every execution. The records and numbers keep the larger bound.
# A contour's checks grow with the square of its segments: 4 KiB holds some
# hundred, as many as a hand-written contour has.
declare -A max_len=([vortex_file]=16384 [records]=65536 [numfmt]=65536 [contour]=4096)

passed=0; failed=0
for target in vortex_file records numfmt contour; do
  echo "== fuzzing $target for ${seconds}s" >&2
  log="$work/$target.log"
  if build-fuzz/${target}_fuzz "$work/$target" -max_total_time="$seconds" -timeout=1 \
       -rss_limit_mb=2048 -malloc_limit_mb=1024 -max_len="${max_len[$target]}" -detect_leaks=1 \
       -artifact_prefix="$work/artifacts/${target}-" -print_final_stats=1 >"$log" 2>&1; then
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo "?")
    echo "fuzz $target: ok, $runs executions" >&2
    passed=$((passed + 1))
  else
    echo "fuzz $target: FAILED" >&2
    tail -n 40 "$log" >&2
    failed=$((failed + 1))
  fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]

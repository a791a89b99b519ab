#!/usr/bin/env bash
# Short fuzz run of every libFuzzer target in a build folder: scripts/fuzz-smoke.sh BUILD_DIR
# A target is an executable named fuzz_* under BUILD_DIR; its seeds are the folder
# <name>_corpus beside it, when there is one. The seeds are copied to a temporary work folder
# (removed afterwards) so a run never touches them. About 60 s in all, shared by the targets.
# Exits non-zero when any target crashes, leaks or times out.
set -euo pipefail
build=${1:?usage: scripts/fuzz-smoke.sh BUILD_DIR}
total=${FUZZ_SECONDS:-60}

mapfile -t targets < <(find "$build" -type f -name 'fuzz_*' -perm -u+x ! -name '*.*' | sort)
if [ ${#targets[@]} -eq 0 ]; then
  echo "fuzz-smoke: no fuzz_* targets in $build" >&2
  exit 1
fi
per=$(( total / ${#targets[@]} ))
[ "$per" -lt 5 ] && per=5

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for t in "${targets[@]}"; do
  name=$(basename "$t")
  corpus="$work/$name/corpus"
  artifacts="$work/$name/artifacts"
  mkdir -p "$corpus" "$artifacts"
  seeds="$(dirname "$t")/${name}_corpus"
  [ -d "$seeds" ] && cp -r "$seeds/." "$corpus/"
  echo "=== $name: ${per}s, $(find "$corpus" -type f | wc -l) seeds"
  if ! "$t" "$corpus" -max_total_time="$per" -rss_limit_mb=2048 -timeout=10 \
       -artifact_prefix="$artifacts/" -print_final_stats=1 >"$work/$name/log" 2>&1; then
    status=1
    tail -n 60 "$work/$name/log" >&2
    for a in "$artifacts"/*; do
      [ -e "$a" ] || continue
      mkdir -p "$build/fuzz-crashes"
      cp "$a" "$build/fuzz-crashes/"
      echo "fuzz-smoke: $name failed; input kept in $build/fuzz-crashes/$(basename "$a")" >&2
    done
  else
    grep -E '^(#[0-9]+.*DONE|stat::number_of_executed_units)' "$work/$name/log" || true
  fi
done
exit $status

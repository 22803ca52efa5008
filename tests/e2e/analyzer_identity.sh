#!/usr/bin/env bash
# Compares two builds of corvantis-analyze (and corvantis-sim) byte for byte:
# every mode of the analyzer over every log in the shared data folder and
# over simulated drives at 1, 5, 10, 20 and 25 Hz, standard output, standard
# error, exit status and every options file it writes.
#
#   tests/e2e/analyzer_identity.sh BEFORE_DIR AFTER_DIR [WORK_DIR]
#
# BEFORE_DIR and AFTER_DIR each hold corvantis-analyze and corvantis-sim (or
# are build trees with them under tools/analyze and tools/sim). The drives
# are written by both simulators and must agree too. Prints one line per
# difference and a summary; exits 1 when anything differs, 2 on bad use.
# Needs jq for the simulated circuits' lap times (the lap modes of those
# drives are left out without it).
set -u

if [ $# -lt 2 ]; then
  sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//'
  exit 2
fi

program() {  # DIR NAME
  if [ -x "$1/$2" ]; then echo "$1/$2"; return; fi
  local sub=analyze
  [ "$2" = corvantis-sim ] && sub=sim
  if [ -x "$1/tools/$sub/$2" ]; then echo "$1/tools/$sub/$2"; return; fi
  echo "no $2 in $1" >&2
  exit 2
}
BEFORE_ANALYZE=$(program "$1" corvantis-analyze)
AFTER_ANALYZE=$(program "$2" corvantis-analyze)
BEFORE_SIM=$(program "$1" corvantis-sim)
AFTER_SIM=$(program "$2" corvantis-sim)
WORK=${3:-$(mktemp -d)}
mkdir -p "$WORK/before" "$WORK/after" "$WORK/logs"
DATA=${CORV_SHARED_DATA_DIR:-$(cd "$(dirname "$0")/../../.." && pwd)/shared/data}

compared=0
differing=0

differs() {
  differing=$((differing + 1))
  echo "DIFFERS: $*"
}

# Runs one analyzer command line with both builds, each on its own copy of
# the options file (when the case uses one), and compares everything.
# case_name OPTIONS_SEED ARGS...   (OPTIONS_SEED: a file to start from, "-" none, "new" a fresh file)
run_case() {
  local name=$1 seed=$2
  shift 2
  local side bin
  for side in before after; do
    bin=$BEFORE_ANALYZE
    [ "$side" = after ] && bin=$AFTER_ANALYZE
    local dir="$WORK/$side/$name"
    mkdir -p "$dir"
    local args=("$@")
    if [ "$seed" != "-" ]; then
      rm -f "$dir/options.bin"
      [ "$seed" != new ] && cp "$seed" "$dir/options.bin"
      args=(--options "$dir/options.bin" "${args[@]}")
    fi
    "$bin" "${args[@]}" >"$dir/stdout" 2>"$dir/stderr"
    echo $? >"$dir/status"
    # The options file's own path appears in messages; make it the same.
    sed -i "s#$WORK/$side/#WORK/#g" "$dir/stdout" "$dir/stderr"
  done
  compared=$((compared + 1))
  local f
  for f in stdout stderr status options.bin; do
    if [ -e "$WORK/before/$name/$f" ] || [ -e "$WORK/after/$name/$f" ]; then
      cmp -s "$WORK/before/$name/$f" "$WORK/after/$name/$f" || differs "$name: $f"
    fi
  done
}

# Every mode the analyzer has over one log. LAP_FROM/LAP_TO (HH:MM:SS[.sss])
# and LAP_SPLIT, when given, define a lap track that is then timed.
analyze_log() {
  local id=$1 log=$2 lapFrom=${3:-} lapTo=${4:-} lapSplit=${5:-}
  local talker
  for talker in gps any; do
    local t=()
    [ "$talker" = any ] && t=(--any-talker)
    local p="$id.$talker"
    run_case "$p.fixes" - --fixes "${t[@]}" "$log"
    run_case "$p.timing" - --timing "${t[@]}" "$log"
    run_case "$p.timing-json" - --timing --json "${t[@]}" "$log"
    run_case "$p.accel-distance" - --accel 0-60 --distance 440 "${t[@]}" "$log"
    run_case "$p.metric-json" - --accel 0-100 --distance 400 --metric --json "${t[@]}" "$log"
    run_case "$p.accel-only" - --accel 30-70 "${t[@]}" "$log"
    run_case "$p.distance-only-json" - --distance 220 --json "${t[@]}" "$log"
    run_case "$p.timeslip" - --timeslip "${t[@]}" "$log"
    run_case "$p.timeslip-json" - --timeslip --json "${t[@]}" "$log"
    run_case "$p.timeslip-rollout-metric" - --timeslip --rollout --metric "${t[@]}" "$log"
    run_case "$p.options-timing" new --accel 0-60 --distance 440 "${t[@]}" "$log"
    run_case "$p.options-timing-json" new --timing --json "${t[@]}" "$log"
    if [ -n "$lapFrom" ]; then
      local split=()
      [ -n "$lapSplit" ] && split=(--split "$lapSplit")
      run_case "$p.define-lap" new --define-lap Track --from "$lapFrom" --to "$lapTo" "${split[@]}" "${t[@]}" "$log"
      local defined="$WORK/before/$p.define-lap/options.bin"
      if [ -s "$defined" ]; then
        run_case "$p.lap" "$defined" --lap Track "${t[@]}" "$log"
        run_case "$p.lap-json" "$defined" --lap Track --json "${t[@]}" "$log"
      fi
    fi
  done
}

# hh:mm:ss.sss of a time of day in ms (days folded away).
clock_of() {
  local ms=$(($1 % 86400000))
  printf '%02d:%02d:%02d.%03d' $((ms / 3600000)) $((ms / 60000 % 60)) $((ms / 1000 % 60)) $((ms % 1000))
}

# The first and a later fix time of a log, for a lap track defined from it
# (most real logs are no loop: the define then fails, and its message is compared).
real_lap_times() {
  "$BEFORE_ANALYZE" --fixes --any-talker "$1" 2>/dev/null | awk -F, 'NR == 2 { first = $1 } NR > 1 { last = $1 }
    END { if (first != "") { span = last - first; print first + int(span / 4), first + int(span * 3 / 4), first + int(span / 2) } }'
}

# Real logs.
if [ -d "$DATA" ]; then
  while IFS= read -r log; do
    id=real.$(echo "${log#"$DATA"/}" | tr '/' '_')
    if [ "$(basename "$log")" = session-47n.nmea ]; then
      analyze_log "$id" "$log" 05:12:35.699 05:17:20 05:13:30
    else
      read -r from to split < <(real_lap_times "$log") || true
      if [ -n "${from:-}" ]; then
        analyze_log "$id" "$log" "$(clock_of "$from")" "$(clock_of "$to")" "$(clock_of "$split")"
      else
        analyze_log "$id" "$log"
      fi
    fi
  done < <(find "$DATA" -type f \( -name '*.nmea' -o -name '*.log' -o -name '*.txt' \) | sort)
else
  echo "no shared data at $DATA: only simulated drives are compared"
fi

# Simulated drives at every rate: each scenario, a multi-system receiver and
# a damaged receiver.
for rate in 1 5 10 20 25; do
  for drive in "accel --runs 3" "quarter --runs 2" "laps --laps 2" "demo" \
               "accel --runs 2 --talker GN" "quarter --dropouts 2 --corrupt 0.01 --binary 0.05 --vtg"; do
    id=sim.$rate.$(echo "$drive" | tr ' ' '_' | tr -d '-')
    before_log="$WORK/logs/$id.before.nmea"
    after_log="$WORK/logs/$id.nmea"
    # shellcheck disable=SC2086
    "$BEFORE_SIM" $drive --rate "$rate" -o "$before_log" -t "$WORK/logs/$id.json" || { differs "$id: simulator failed"; continue; }
    # shellcheck disable=SC2086
    "$AFTER_SIM" $drive --rate "$rate" -o "$after_log" -t "$WORK/logs/$id.after.json"
    compared=$((compared + 1))
    cmp -s "$before_log" "$after_log" || differs "$id: the simulators' logs"
    cmp -s "$WORK/logs/$id.json" "$WORK/logs/$id.after.json" || differs "$id: the simulators' truth"
    from="" to="" split=""
    if command -v jq >/dev/null && [ "$(jq -r '.circuit != null' "$WORK/logs/$id.json" 2>/dev/null)" = true ]; then
      from=$(jq -r '.circuit.laps[0].startMs | ceil' "$WORK/logs/$id.json")
      to=$(jq -r '.circuit.laps[0].endMs | floor + 10000' "$WORK/logs/$id.json")
      split=$(jq -r '.circuit.laps[0].splits[0].ms | floor' "$WORK/logs/$id.json")
    fi
    if [ -n "$from" ] && [ "$from" != null ]; then
      analyze_log "$id" "$after_log" "$(clock_of "$from")" "$(clock_of "$to")" "$(clock_of "$split")"
    else
      analyze_log "$id" "$after_log"
    fi
  done
done

echo "$compared cases compared, $differing differences (outputs in $WORK)"
[ "$differing" -eq 0 ]

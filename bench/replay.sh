#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Replays an 8-hour night (11025 Hz mono 16-bit, stitched with sox from the
# recordings in data/ and, when present, ../shared/audio) and compares the
# replay's CPU time with `sox NIGHT -n stats`, which reads and analyses the
# same file. Prints both times, their ratio and the replay's peak memory,
# and the time of a sweep of 25 combinations against one replay. Then the
# same for half-hour nights as a phone records them (44.1 and 48 kHz
# stereo, stitched from the same recordings at that rate), and the peak
# memory of the 8-hour night at 48 kHz stereo.
#
#   bench/replay.sh [REPLAY-BINARY]
#
# Environment: RUNS (hyperfine runs, default 5), NIGHT_DIR (where the night
# and its list of cries are kept, default build/bench-night; an existing
# night is reused), SHARED_AUDIO (the further recordings, default
# ../shared/audio).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
tools/setup.sh # sox, hyperfine and time among the rest

replay="${1:-}"
if [ -z "$replay" ]; then
  [ -d build ] || cmake --preset default >/dev/null
  cmake --build --preset default -j2 --target cradlecom-replay >/dev/null
  replay="$root/build/tools/replay/cradlecom-replay"
fi
runs="${RUNS:-5}"
dir="${NIGHT_DIR:-$root/build/bench-night}"
night="$dir/night.wav"
cries="$dir/night-cries.csv"
shared="${SHARED_AUDIO:-$root/../shared/audio}"

# One piece at the night's rate and channels, 16-bit, without dither:
# piece OUT IN... [-- EFFECT...]; several inputs are joined in order.
piece() {
  local out="$1" inputs=() i=0
  shift
  while [ $# -gt 0 ] && [ "$1" != "--" ]; do
    i=$((i + 1))
    sox -D "$1" -r "$rate" -c "$channels" -b 16 "$out.$i.wav"
    inputs+=("$out.$i.wav")
    shift
  done
  [ $# -gt 0 ] && shift
  sox -D "${inputs[@]}" "$out" "$@"
  rm -f "${inputs[@]}"
}

# make_night NIGHT CRIES RATE CHANNELS SECONDS: the events of an 8-hour
# night at their times, or at the same share of a shorter one.
make_night() {
  local night="$1" cries="$2" rate="$3" channels="$4" seconds="$5"
  local work="$dir/pieces"
  rm -rf "$work"
  mkdir -p "$work"
  # Two hours of room hum to cut the quiet stretches from (a quarter of
  # the night at most).
  piece "$work/hum.wav" data/room_hum.flac -- repeat $((seconds * 1030 / 28800))
  piece "$work/nursery.wav" data/nursery.flac
  # Events: start in seconds, piece, then the cries in it (start-end pairs,
  # seconds into the piece).
  local events=(
    "2400 nursery 7:20.5 27.5:41.5"
    "8100 nursery 7:20.5 27.5:41.5"
    "13800 nursery 7:20.5 27.5:41.5"
    "19200 nursery 7:20.5 27.5:41.5"
    "24300 nursery 7:20.5 27.5:41.5"
  )
  if [ -d "$shared" ]; then
    local a="$shared"
    piece "$work/dog.wav" "$a/noise_dog_bark_01.wav"
    piece "$work/speech.wav" "$a/noise_speech_01.wav" "$a/noise_speech_02.wav" "$a/noise_speech_03.wav"
    piece "$work/dishes.wav" "$a/noise_kitchen_dishes_01.wav"
    piece "$work/talk.wav" "$a/noise_speech_noisy_01.wav"
    piece "$work/fussing.wav" "$a/cry_01.wav" "$a/cry_02.wav" "$a/cry_03.wav" "$a/cry_08.wav"
    piece "$work/crying.wav" "$a/cry_04.wav" "$a/cry_05.wav" "$a/cry_06.wav" "$a/cry_07.wav" \
      "$a/cry_09.wav" "$a/cry_10.wav"
    local fussing crying
    fussing=$(python3 -c "print($(soxi -s "$work/fussing.wav") / $rate)")
    crying=$(python3 -c "print($(soxi -s "$work/crying.wav") / $rate)")
    events+=(
      "4200 dog"
      "6300 speech"
      "11100 fussing 0:$fussing"
      "16200 dishes"
      "21600 talk"
      "26400 crying 0:$crying"
      "28200 dog"
    )
  fi
  local sorted list=() cursor=0 n=0 total=$((seconds * rate))
  mapfile -t sorted < <(printf '%s\n' "${events[@]}" | sort -n)
  echo "start,end" >"$cries.tmp"
  for event in "${sorted[@]}"; do
    read -r at name spans <<<"$event"
    at=$((at * seconds / 28800))
    local start=$((at * rate)) gap
    gap=$((start - cursor))
    n=$((n + 1))
    sox "$work/hum.wav" "$work/gap$n.wav" trim 0 "${gap}s"
    list+=("$work/gap$n.wav" "$work/$name.wav")
    cursor=$((start + $(soxi -s "$work/$name.wav")))
    for span in $spans; do
      python3 -c "s,e='$span'.split(':'); print(f'{$at+float(s):g},{$at+float(e):g}')" >>"$cries.tmp"
    done
  done
  sox "$work/hum.wav" "$work/last.wav" trim 0 "$((total - cursor))s"
  list+=("$work/last.wav")
  sox "${list[@]}" "$night.tmp.wav"
  mv "$night.tmp.wav" "$night"
  mv "$cries.tmp" "$cries"
  rm -rf "$work"
}

mkdir -p "$dir"
if [ ! -f "$night" ]; then
  echo "replay.sh: making the night in $dir" >&2
  make_night "$night" "$cries" 11025 1 28800
fi
# Half an hour as a phone records it, at each of its usual rates, and the
# whole night at 48 kHz for the memory (brought up from the night itself:
# stitching it at 48 kHz would need 15 GB of pieces).
phone_rates=(44100 48000)
for rate in "${phone_rates[@]}"; do
  if [ ! -f "$dir/half-$rate.wav" ]; then
    echo "replay.sh: making half an hour at $rate Hz in $dir" >&2
    make_night "$dir/half-$rate.wav" "$dir/half-$rate-cries.csv" "$rate" 2 1800
  fi
done
long="$dir/night-48000.flac"
if [ ! -f "$long" ]; then
  echo "replay.sh: bringing the night to 48 kHz stereo in $dir" >&2
  sox "$night" -r 48000 -c 2 -C 0 "$long.tmp.flac"
  mv "$long.tmp.flac" "$long"
fi
for file in "$night" "$dir"/half-*.wav "$long"; do
  echo "$(basename "$file"): $(soxi -d "$file"), $(soxi -r "$file") Hz, $(soxi -c "$file") channels, $(du -m "$file" | cut -f1) MB"
  cat "$file" >/dev/null # into the page cache, for both alike
done

json="$dir/hyperfine.json"
commands=(
  -n replay "$replay $night --set PhoneNumber=1"
  -n sox "sox $night -n stats"
  -n sweep "$replay $night --set PhoneNumber=1 --sweep VolThresh=30:70:10 --sweep CryThresh=30:70:10 --cries $cries --csv $dir/sweep.csv"
)
for rate in "${phone_rates[@]}"; do
  commands+=(-n "replay-$rate" "$replay $dir/half-$rate.wav --set PhoneNumber=1"
    -n "sox-$rate" "sox $dir/half-$rate.wav -n stats")
done
hyperfine --style basic --runs "$runs" --warmup 1 --export-json "$json" "${commands[@]}" >&2

# peak FILE: the replay's largest resident size in kB.
peak() {
  /usr/bin/time -v "$replay" "$1" --set PhoneNumber=1 >/dev/null 2>"$dir/time.txt"
  sed -n 's/.*Maximum resident set size (kbytes): //p' "$dir/time.txt"
}
peaks=("$(peak "$night")")
for rate in "${phone_rates[@]}"; do
  peaks+=("$(peak "$dir/half-$rate.wav")")
done
peaks+=("$(peak "$long")")

python3 - "$json" "${peaks[@]}" <<'EOF'
import json, sys
results = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
peaks = [int(kb) / 1024 for kb in sys.argv[2:]]
cpu = {name: r["user"] + r["system"] for name, r in results.items()}
for name, r in results.items():
    print(f"{name:13s} cpu {cpu[name]:7.3f} s (user {r['user']:.3f}, system {r['system']:.3f}), "
          f"wall {r['mean']:.3f} s ± {r['stddev'] or 0:.3f}")
print(f"ratio   replay cpu / sox cpu = {cpu['replay'] / cpu['sox']:.2f} (8 h at 11025 Hz)")
for rate in (44100, 48000):
    print(f"ratio   replay cpu / sox cpu = {cpu[f'replay-{rate}'] / cpu[f'sox-{rate}']:.2f}"
          f" (30 min at {rate} Hz stereo)")
print(f"sweep   25 combinations cpu / replay cpu = {cpu['sweep'] / cpu['replay']:.1f}")
print(f"peak    replay resident memory = {peaks[0]:.1f} MB (8 h at 11025 Hz), "
      f"{peaks[1]:.1f} MB and {peaks[2]:.1f} MB (30 min at 44100 and 48000 Hz), "
      f"{peaks[3]:.1f} MB (8 h at 48000 Hz stereo)")
EOF

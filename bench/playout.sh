#!/usr/bin/env bash
# Receiver playout between two network namespaces, with the real binaries:
# big sender blocks into small receiver blocks, streams at 4x the host rate,
# a 3 s pause of the receiver, and MIDI against its audio. Prints one line a
# case. Needs root (namespaces); every run is bounded by timeout.
#   bash bench/playout.sh [BUILD_DIR]   (default build/linux-release)
# PLAYOUT_CASES picks cases (default "big rate pause midi"); PLAYOUT_BIG_CHANNELS
# the channel counts of case 1 (default "2 64": 64 channels make every block
# whole datagrams), PLAYOUT_BIG_BLOCK its sender block (default 2048);
# NETNS_TAG prefixes the namespace names.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/linux-release}
host=$build/tools/larkwire-host
plugin=$build/larkwire.so
out=${PLAYOUT_OUT:-$(mktemp -d)}
NETNS_SUBNET=${NETNS_SUBNET:-10.231.131}
source "$root/tests/netns/lib.sh"
NS_A=${NETNS_TAG:-pa}A$$
NS_B=${NETNS_TAG:-pa}B$$
cases=" ${PLAYOUT_CASES:-big rate pause midi} "
netns_usable || exit 77
[[ -x $host && -e $plugin ]] || { echo "build $build first"; exit 1; }
trap netns_down EXIT
netns_up

# Real-time priority, as a DAW's audio thread: a loaded machine's late
# blocks would otherwise show as the playout's.
rt=(); chrt -f 40 true 2>/dev/null && rt=(chrt -f 40)

# run NAME "SENDER ARGS" "RECEIVER ARGS" [RECEIVER ENV] [PLUGIN]: receiver in B, sender in A.
run() {
    local name=$1 tx=$2 rx=$3 env=${4:-} module=${5:-$plugin}
    ip netns exec "$NS_B" env $env timeout 60 "${rt[@]}" "$host" "$module" --receive --id pa $rx \
        >"$out/$name.rx" 2>&1 &
    local pid=$!
    netns_wait_bound "$NS_B" 5 "$pid"
    ip netns exec "$NS_A" timeout 60 "${rt[@]}" "$host" "$module" --send "$ADDR_B" --id pa $tx \
        >"$out/$name.tx" 2>&1
    wait "$pid"
    echo "rc=$?" >>"$out/$name.rx"
}

# The frequency and purity of channel 0 of a float WAV, after SKIP seconds.
tone_of() {
    python3 - "$1" "$2" <<'PY'
import math, struct, sys
data = open(sys.argv[1], 'rb').read()
i = 12; fmt = None
while i < len(data):
    cid, size = data[i:i+4], struct.unpack('<I', data[i+4:i+8])[0]
    if cid == b'fmt ': ch, rate = struct.unpack('<HI', data[i+10:i+16])
    if cid == b'data': body = data[i+8:i+8+size]; break
    i += 8 + size
x = struct.unpack('<%df' % (len(body) // 4), body)[0::ch]
x = x[int(float(sys.argv[2]) * rate):]
# zero crossings give the frequency; the 1 kHz share of the energy its purity
ups = [k for k in range(1, len(x)) if x[k-1] < 0 <= x[k]]
f = (len(ups) - 1) / ((ups[-1] - ups[0]) / rate) if len(ups) > 2 else 0
re = sum(v * math.cos(2 * math.pi * 1000 * k / rate) for k, v in enumerate(x))
im = sum(v * math.sin(2 * math.pi * 1000 * k / rate) for k, v in enumerate(x))
amp = 2 * math.hypot(re, im) / len(x)
energy = sum(v * v for v in x) / len(x)
print("%.2f Hz, amplitude %.3f, %.1f %% of the energy at 1 kHz" % (f, amp, 100 * amp * amp / 2 / energy if energy else 0))
PY
}

# 1. A 2048-frame sender into a 64-frame receiver: the tone sample for sample.
# The plug-in's channel count comes from its file name.
for channels in ${PLAYOUT_BIG_CHANNELS:-2 64}; do
    [[ $cases == *" big "* ]] || break
    module=$plugin checked=""
    # Channel c's tone is (c + 1) kHz: check those below 20 kHz.
    [[ $channels == 2 ]] || { module=$out/larkwire$channels.so; ln -sf "$plugin" "$module"; checked="--channels 16"; }
    run "big$channels" "--block ${PLAYOUT_BIG_BLOCK:-2048} --tone 1000 --seconds 9" \
        "--block 64 --wait 5 --seconds 5 --expect-tone 1000 $checked" "" "$module"
    echo "${PLAYOUT_BIG_BLOCK:-2048} into 64, $channels channels: $(grep -E 'tone|differs|underruns|discontinuities' "$out/big$channels.rx" | tr '\n' ' ') $(tail -1 "$out/big$channels.rx")"
done

# 2. Streams at 4x the host rate: a 1 kHz tone must arrive at 1 kHz.
for pair in 192000:48000 176400:44100; do
    [[ $cases == *" rate "* ]] || break
    s=${pair%:*} h=${pair#*:}
    run "rate$s" "--rate $s --block 2048 --tone 1000 --seconds 8" \
        "--rate $h --block 512 --wait 5 --seconds 4 --output $out/rate$s.wav"
    echo "$s into $h: $(tone_of "$out/rate$s.wav" 1) $(tail -1 "$out/rate$s.rx")"
done

# 3. A 3 s pause of the receiver: click latency over the whole run.
for pause in none 4:3; do
    [[ $cases == *" pause "* ]] || break
    env=""; [[ $pause == none ]] || env="LARKWIRE_HOST_PAUSE=$pause"
    run "pause$pause" "--block 512 --clicks --click-period 0.25 --seconds 14" \
        "--block 512 --wait 5 --seconds 9 --expect-clicks --click-period 0.25 --output $out/pause$pause.wav" "$env"
    echo "pause $pause: $(grep -E '^latency' "$out/pause$pause.rx") $(tail -1 "$out/pause$pause.rx")"
    # Each click's latency against the first one, in 512-frame blocks, with
    # the second of the output it plays in.
    PYTHONPATH=$root/bench python3 - "$out/pause$pause.wav" <<'PY'
import sys
from wav_channel import last_channel
x, rate = last_channel(sys.argv[1])
clicks, k = [], 0
while k < len(x):
    if abs(x[k]) > 0.1: clicks.append(k); k += rate // 8
    else: k += 1
period = rate // 4
rel = [((c - clicks[0]) % period + period // 2) % period - period // 2 for c in clicks]
print("  per click (s: blocks late vs the first):", " ".join("%.2f:%+.1f" % (c / rate, r / 512) for c, r in zip(clicks, rel)))
PY
done

# 4. MIDI against its audio: a note with every click, 2048 into 512 frames.
[[ $cases == *" midi "* ]] || { echo "outputs in $out"; exit 0; }
midi=$(for k in 1 2 3 4 5 6 7 8; do printf '%d.%d:on:%d,' $((k / 2)) $((k % 2 * 5)) $((59 + k)); done)
run midi "--block 2048 --clicks --click-period 0.5 --midi ${midi%,} --seconds 10" \
    "--block 512 --seconds 9 --output $out/midi.wav"
PYTHONPATH=$root/bench python3 - "$out/midi.wav" "$out/midi.rx" <<'PY'
import re, sys
from wav_channel import last_channel
x, rate = last_channel(sys.argv[1])
clicks = []
k = 0
while k < len(x):
    if abs(x[k]) > 0.1: clicks.append(k); k += rate // 4
    else: k += 1
notes = [int(b) * 512 + int(d) for b, d in re.findall(r'midi received: +block (\d+) +delta (-?\d+)', open(sys.argv[2]).read())]
# Each note was sent on a click.
diffs = [n - min(clicks, key=lambda c: abs(n - c)) for n in notes] if clicks else []
print("midi vs audio: %d notes, %d clicks, note minus click (frames): %s" % (len(notes), len(clicks), diffs))
PY
echo "outputs in $out"

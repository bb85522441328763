#!/usr/bin/env python3
"""Checks the WAV files that third-party hosts render.

  wav_check.py tone FILE AMPLITUDE HZ [HZ...]
      channel c must be one steady sine of HZ[c] (the last HZ serves the
      rest) with peak AMPLITUDE: a dropped, repeated or scaled block, a NaN
      or a swapped channel leaves a residue the fit cannot explain.
  wav_check.py tone-after-onset FILE SKIP LENGTH AMPLITUDE HZ [HZ...]
      as tone, for the LENGTH seconds that start SKIP seconds after the
      first sound (a stream received while its sender also ran faster than
      real time is clean only while the sender kept time)
  wav_check.py tone-somewhere FILE LENGTH AMPLITUDE HZ [HZ...]
      as tone, for some LENGTH seconds after the first sound, tried at
      quarter-second steps (a stream from a host that is not real-time on a
      busy machine may glitch now and then; a clean stretch shows the path
      itself is exact)
  wav_check.py frames FILE N
      the file is whole: a readable header and exactly N frames.
  wav_check.py same FILE FILE
      both hold the same samples (any sample format; headers may differ).
  wav_check.py write FILE SECONDS
      a 48 kHz stereo 32-bit float test file: 440 Hz left, 660 Hz right,
      with a step every 0.1 s, so an offset or a gap shows.
"""
import math
import struct
import sys

FLOAT, PCM, EXTENSIBLE = 3, 1, 0xFFFE


def read_wav(path):
    """(rate, channels) with channels a list of lists of floats."""
    with open(path, 'rb') as f:
        data = f.read()
    if len(data) < 12 or data[0:4] != b'RIFF' or data[8:12] != b'WAVE':
        raise ValueError(f'{path}: not a RIFF WAVE file')
    at, fmt, samples = 12, None, None
    while at + 8 <= len(data):
        name, size = data[at:at + 4], struct.unpack_from('<I', data, at + 4)[0]
        body = data[at + 8:at + 8 + size]
        if name == b'fmt ':
            tag, channels, rate = struct.unpack_from('<HHI', body, 0)
            bits = struct.unpack_from('<H', body, 14)[0]
            if tag == EXTENSIBLE:
                tag = struct.unpack_from('<H', body, 24)[0]
            fmt = (tag, channels, rate, bits)
        elif name == b'data':
            samples = body
        at += 8 + size + (size & 1)
    if fmt is None or samples is None:
        raise ValueError(f'{path}: no fmt or data chunk')
    tag, channels, rate, bits = fmt
    width = bits // 8
    count = len(samples) // width
    if tag == FLOAT and bits == 32:
        values = struct.unpack(f'<{count}f', samples[:count * 4])
    elif tag == PCM and bits in (16, 24, 32):
        scale = float(1 << (bits - 1))
        values = [int.from_bytes(samples[i:i + width], 'little', signed=True) / scale
                  for i in range(0, count * width, width)]
    else:
        raise ValueError(f'{path}: format {tag} with {bits} bits is not handled')
    frames = count // channels
    return rate, [list(values[c:frames * channels:channels]) for c in range(channels)]


def fits_tone(x, rate, amplitude, hz):
    """(ok, level, worst deviation, its frame) for one steady sine of hz."""
    # Least squares for a*sin + b*cos at the known frequency.
    w = 2 * math.pi * hz / rate
    ss = sc = cc = xs = xc = 0.0
    for n, v in enumerate(x):
        s, k = math.sin(w * n), math.cos(w * n)
        ss += s * s
        sc += s * k
        cc += k * k
        xs += v * s
        xc += v * k
    det = ss * cc - sc * sc
    a = (xs * cc - xc * sc) / det
    b = (xc * ss - xs * sc) / det
    worst, worst_at = 0.0, 0
    for n, v in enumerate(x):
        d = abs(v - (a * math.sin(w * n) + b * math.cos(w * n)))
        if d > worst:
            worst, worst_at = d, n
    level = math.hypot(a, b)
    ok = abs(level - amplitude) <= 1e-4 * amplitude and worst <= 1e-5
    return ok, level, worst, worst_at


def check_tone(path, amplitude, frequencies, window=None):
    rate, channels = read_wav(path)
    frames = len(channels[0])
    print(f'{path}: {len(channels)} channels, {frames} frames at {rate} Hz')
    if window is not None:
        onset = next((n for n, v in enumerate(channels[0]) if abs(v) > 1e-6), None)
        if onset is None:
            print('FAIL: silent')
            return False
        start = onset + int(window[0] * rate)
        channels = [x[start:start + int(window[1] * rate)] for x in channels]
        frames = len(channels[0])
        print(f'first sound at frame {onset}; checking {frames} frames from frame {start}')
    if frames < rate // 2:
        print('FAIL: shorter than half a second')
        return False
    good = True
    for c, x in enumerate(channels):
        hz = frequencies[min(c, len(frequencies) - 1)]
        nans = sum(1 for v in x if v != v)
        if nans:
            first = next(i for i, v in enumerate(x) if v != v)
            print(f'FAIL: channel {c}: {nans} NaN samples, the first at frame {first}')
            good = False
            continue
        ok, level, worst, worst_at = fits_tone(x, rate, amplitude, hz)
        print(f'{"ok" if ok else "FAIL"}: channel {c}: {hz} Hz at peak {level:.6f} '
              f'(expected {amplitude}), worst deviation {worst:.2e} at frame {worst_at}')
        good = good and ok
    return good


def check_tone_somewhere(path, length, amplitude, frequencies):
    rate, channels = read_wav(path)
    onset = next((n for n, v in enumerate(channels[0]) if abs(v) > 1e-6), None)
    if onset is None:
        print('FAIL: silent')
        return False
    span, step = int(length * rate), rate // 4
    for start in range(onset, len(channels[0]) - span + 1, step):
        window = [x[start:start + span] for x in channels]
        if all(fits_tone(x, rate, amplitude, frequencies[min(c, len(frequencies) - 1)])[0]
               for c, x in enumerate(window)):
            print(f'ok: {length} s clean from frame {start} (first sound at frame {onset})')
            return True
    print(f'FAIL: no {length} s stretch after frame {onset} carries the tones exactly')
    return False


def check_same(path_a, path_b):
    rate_a, a = read_wav(path_a)
    rate_b, b = read_wav(path_b)
    if (rate_a, len(a), len(a[0])) != (rate_b, len(b), len(b[0])):
        print(f'FAIL: {path_a} has {len(a)} x {len(a[0])} frames at {rate_a} Hz, '
              f'{path_b} {len(b)} x {len(b[0])} at {rate_b} Hz')
        return False
    for c in range(len(a)):
        for n, (u, v) in enumerate(zip(a[c], b[c])):
            if u != v:
                print(f'FAIL: channel {c} differs at frame {n}: {u!r} against {v!r}')
                return False
    print(f'ok: the same {len(a)} x {len(a[0])} samples')
    return True


def write_test_file(path, seconds):
    rate, frames = 48000, int(48000 * seconds)
    out = bytearray()
    for n in range(frames):
        step = 0.05 * ((n // 4800) % 4)
        out += struct.pack('<ff', 0.4 * math.sin(2 * math.pi * 440 * n / rate) + step,
                           0.4 * math.sin(2 * math.pi * 660 * n / rate) - step)
    header = struct.pack('<4sI4s4sIHHIIHH4sI', b'RIFF', 36 + len(out), b'WAVE', b'fmt ', 16,
                         FLOAT, 2, rate, rate * 8, 8, 32, b'data', len(out))
    with open(path, 'wb') as f:
        f.write(header + out)


def main(argv):
    try:
        if len(argv) >= 5 and argv[1] == 'tone':
            return 0 if check_tone(argv[2], float(argv[3]), [float(h) for h in argv[4:]]) else 1
        if len(argv) >= 7 and argv[1] == 'tone-after-onset':
            return 0 if check_tone(argv[2], float(argv[5]), [float(h) for h in argv[6:]],
                                   (float(argv[3]), float(argv[4]))) else 1
        if len(argv) >= 6 and argv[1] == 'tone-somewhere':
            return 0 if check_tone_somewhere(argv[2], float(argv[3]), float(argv[4]),
                                             [float(h) for h in argv[5:]]) else 1
        if len(argv) == 4 and argv[1] == 'frames':
            frames = len(read_wav(argv[2])[1][0])
            print(f'{argv[2]}: {frames} frames (expected {argv[3]})')
            return 0 if frames == int(argv[3]) else 1
        if len(argv) == 4 and argv[1] == 'same':
            return 0 if check_same(argv[2], argv[3]) else 1
        if len(argv) == 4 and argv[1] == 'write':
            write_test_file(argv[2], float(argv[3]))
            return 0
    except (OSError, ValueError, struct.error) as e:
        print(f'FAIL: {e}')
        return 1
    print(__doc__)
    return 2


if __name__ == '__main__':
    sys.exit(main(sys.argv))

#!/usr/bin/env python3
"""Sends hand-made Larkwire datagrams, for the dissector test: good ones and
ones whose length fields disagree. usage: send_crafted.py ADDRESS"""
import socket
import struct
import sys


def header(magic, total, identifier):
    return magic + struct.pack("<i", total) + identifier.encode().ljust(32, b"\0")


def audio(identifier, channels_byte, rate, planar, sample_bytes=None):
    samples = b"".join(struct.pack("<%df" % len(ch), *ch) for ch in planar)
    if sample_bytes is None:
        sample_bytes = len(samples)
    total = 47 + len(samples)
    return header(b"MLWR", total, identifier) + struct.pack("<BiH", channels_byte, rate, sample_bytes) + samples


def midi_record(status, note, velocity, delta, flags=1):
    # The host's 32-byte MIDI event: type, byteSize, deltaFrames, flags,
    # noteLength, noteOffset, midiData[4], detune, noteOffVelocity, two reserved.
    return struct.pack("<iiiiii4Bbbbb", 1, 24, delta, flags, 0, 0, status, note, velocity, 0, 0, 0, 0, 0)


def midi(identifier, records, total=None):
    body = b"".join(records)
    return header(b"mLWR", total if total is not None else 40 + len(body), identifier) + body


datagrams = [
    audio("crafted", 2, 44100, [[0.25, -0.5, 0.75], [1.5, 2.0, -3.0]]),
    midi("crafted", [midi_record(0x90, 60, 100, 7), midi_record(0x83, 64, 12, 300)]),
    # totalLength says 5 bytes more than are sent
    midi("crafted", [midi_record(0x91, 62, 90, 0)], total=77),
    # sampleBytes beyond the datagram, channels 200 (negative as signed)
    audio("bad", 200, 48000, [[1.0, 2.0]], sample_bytes=64),
]
sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
for d in datagrams:
    sock.sendto(d, (sys.argv[1], 58710))

#!/usr/bin/env python3
"""Writes the small seed corpus under fuzz/corpus/. Run from anywhere."""
import os
import struct

here = os.path.dirname(os.path.abspath(__file__))
ID = b"default".ljust(32, b"\0")


def audio(channels, rate, frames, ident=ID):
    samples = b"".join(struct.pack("<f", 0.25 * ((i % 7) - 3)) for i in range(channels * frames))
    body = ident + struct.pack("<bih", channels if channels < 128 else channels - 256, rate, len(samples)) + samples
    return b"MLWR" + struct.pack("<i", 8 + len(body)) + body


def midi(offsets, ident=ID):
    events = b"".join(struct.pack("<iiiiii", 1, 24, o, 0, 0, 0) + bytes([0x90, 60, 100, 0, 0, 0, 0, 0]) for o in offsets)
    return b"mLWR" + struct.pack("<i", 40 + len(events)) + ident + events


def write(target, name, data):
    folder = os.path.join(here, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


# acceptDatagram: the datagram itself.
write("accept_datagram", "stereo", audio(2, 44100, 150))
write("accept_datagram", "midi", midi([0, 600]))
write("accept_datagram", "seven_bytes", b"MLWR\x08\0\0")
write("accept_datagram", "negative_length", b"MLWR" + struct.pack("<i", -5) + bytes(40))
write("accept_datagram", "huge_length", b"mLWR" + struct.pack("<i", 100000) + bytes(92))
write("accept_datagram", "foreign_magic", b"XLWR" + struct.pack("<i", 8))

# Stream sessions: channel choice, then operations (see targets/*.cpp).
def op_raw(payload, flags=0x07):
    return bytes([0, flags]) + struct.pack("<H", len(payload)) + payload

def op_well(channels, rate_index, frames):
    return bytes([1, channels, rate_index, frames]) + bytes(channels * frames * 4 % 65536)

def op_block(frames, code=2):
    return bytes([code]) + struct.pack("<H", frames)

for choice, channels in ((0, 1), (1, 2), (2, 64)):
    per = max(1, 300 // channels)
    ops = b"".join(op_well(channels, 0, min(per, 150)) for _ in range(8)) + b"".join(op_block(128) for _ in range(6))
    write("playout", f"play_{channels}ch", bytes([choice]) + ops)
write("playout", "converted_48k", bytes([1]) + b"".join(op_well(2, 1, 150) for _ in range(10)) + op_block(64) * 6)
write("playout", "zero_frames_and_suspend", bytes([1]) + op_well(2, 0, 100) + op_block(0) + bytes([4]) + op_block(32))
write("playout", "negative_channels", bytes([1]) + op_raw(audio(-56, 44100, 4)) + op_block(16))
write("playout", "host_rate_zero", bytes([0, 5, 8]) + op_well(1, 0, 150) * 4 + op_block(32) * 3)

def midi_ops(payload):
    return bytes([0, 0x07]) + struct.pack("<H", len(payload)) + payload

write("midi_delivery", "offsets", bytes([1]) + midi_ops(midi([600, 100, -10, -5, 3])) + op_block(512))
write("midi_delivery", "many_events", bytes([1, 1]) + struct.pack("<H", 4500) + bytes([1, 0]) + struct.pack("<i", 5) + bytes([1]) + op_block(64))
write("midi_delivery", "negative_size", bytes([1, 1]) + struct.pack("<H", 3) + bytes([1, 5]) + struct.pack("<i", 0) + bytes([0]) + op_block(64))
write("midi_delivery", "zero_frames", bytes([2]) + midi_ops(midi([7])) + op_block(0))

# Chunks: mode byte first for some, the bytes themselves otherwise.
default_chunk = struct.pack("<iii", 0, 2, 1) + ID + bytes(128)
write("set_chunk", "default", b"\0" + default_chunk[1:])
write("set_chunk", "send_mode", struct.pack("<iii", 4, 8, 1) + b"x" * 32 + b"* broadcast".ljust(128, b"\0"))
write("set_chunk", "null_pointer", b"\x01" + struct.pack("<q", 172))
write("set_chunk", "negative_count", b"\x02" + struct.pack("<i", -1) + bytes(40))
write("set_chunk", "twelve", b"\x00" + bytes(11))

write("recent_destinations", "three", b"[larkwire]\nrecent0=10.0.0.1\nrecent1=myhost\nrecent2=10.0.0.3\n")
write("recent_destinations", "gap", b"[larkwire]\nrecent1=10.0.0.1\n")
write("recent_destinations", "skipped", b"[Larkwire]\r\nrecent0=0.0.0.0\r\nrecent1=255.255.255.255\r\nrecent2 = 10.1.2.3 \r\n")
write("recent_destinations", "add_typed", b"\x00[larkwire]\nrecent0=10.0.0.9\n10.0.0.10")

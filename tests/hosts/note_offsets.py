#!/usr/bin/env python3
"""note_offsets.py SENT_LOG RECEIVED_LOG: the notes a receiving session got
came at the offsets in the cycle they had where they were sent.

Both logs hold the note log's lines "log: STATUS KEY OFFSET". Every received
note-on and note-off must have an offset that a sent event of the same kind
had, and the note-ons must come at more than one offset, so offsets that were
all flattened to one value fail. Exit 0 when that holds.

The two sessions run on two Dummy backends, each on its own timer: on a
busy machine one of them now and then skips a cycle, and the receiver then
resamples for a few seconds to win the block back. Its notes move with
their audio from then on, so they may leave the sent offsets, but only for
good and only late in the take: at least three quarters of the notes, the
first ones, must keep them."""
import sys


def notes(path):
    found = []
    with open(path, errors="replace") as f:
        for line in f:
            parts = line.split()
            if len(parts) == 4 and parts[0] == "log:":
                status, key, offset = int(parts[1], 16), int(parts[2], 16), int(parts[3])
                if status in (0x80, 0x90) and key == 60:
                    found.append((status, offset))
    return found


def main():
    sent, received = notes(sys.argv[1]), notes(sys.argv[2])
    sent_at = {s: sorted({o for t, o in sent if t == s}) for s in (0x90, 0x80)}
    ons = [o for s, o in received if s == 0x90]
    # Ardour ends notes still sounding when its transport stops, with
    # note-offs at the start of a cycle; those are the host's, not ours.
    resolved = [(s, o) for s, o in received if s == 0x80 and o == 0 and o not in sent_at[s]]
    # The notes before the first that left its offset.
    moved_at = [i for i, (s, o) in enumerate(received) if o not in sent_at[s] and (s, o) not in resolved]
    prefix = moved_at[0] if moved_at else len(received)
    moved = [received[i] for i in moved_at]
    if resolved:
        print(f"note-offs at offset 0 that Ardour added when it stopped: {len(resolved)}")
    print(f"sent {len(sent)} notes, offsets of note-ons {sent_at[0x90]}")
    print(f"received {len(received)} notes, offsets of note-ons {ons}")
    if len(ons) < 2:
        print("fewer than two note-ons arrived")
        return 1
    if moved:
        print(f"after {prefix} notes at their offsets, {len(moved)} moved with resampled audio: {moved[:8]}")
        if 4 * prefix < 3 * len(received):
            print("the notes left their offsets early in the take")
            return 1
    if len(set(ons)) < 2:
        print("every note-on came at one offset: the offsets were not kept")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""fold_calls.py CALLS.log: the log of larkwire-call-log.so, each process's
calls together in the order the processes started, with runs of the same
call folded into one line with a count."""
import sys


def main():
    order, calls = [], {}
    with open(sys.argv[1], errors="replace") as f:
        for line in f:
            pid, _, call = line.rstrip("\n").partition(" ")
            if pid not in calls:
                order.append(pid)
                calls[pid] = []
            calls[pid].append(call)
    for pid in order:
        print(f"-- process {pid}")
        last, count = None, 0
        for call in calls[pid] + [None]:
            if call == last:
                count += 1
                continue
            if last is not None:
                print(last + (f"   x{count}" if count > 1 else ""))
            last, count = call, 1


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""fold_calls.py CALLS.log: the log of larkwire-call-log.so with runs of the
same call folded into one line with a count, each process's calls apart."""
import sys


def main():
    last, count = None, 0

    def flush():
        if last is not None:
            print(last + (f"   x{count}" if count > 1 else ""))

    with open(sys.argv[1], errors="replace") as f:
        for line in f:
            line = line.rstrip("\n")
            if line == last:
                count += 1
                continue
            flush()
            last, count = line, 1
    flush()


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Sends commands to a running Audacity through mod-script-pipe.

  script_pipe.py TIMEOUT_SECONDS COMMAND [COMMAND...]
      each command's reply is printed; the exit status is 1 when one fails,
      2 when Audacity does not answer in time (or the pipe breaks)
  script_pipe.py TIMEOUT_SECONDS --effect-id NAME
      prints the scripting ID of the effect whose name is NAME (any case),
      from GetInfo's command list; exit status 1 when there is none
"""
import json
import os
import signal
import sys

uid = os.getuid()
TO_PIPE = f'/tmp/audacity_script_pipe.to.{uid}'
FROM_PIPE = f'/tmp/audacity_script_pipe.from.{uid}'


class PipeError(Exception):
    pass


def run(to_pipe, from_pipe, command):
    """(ok, reply lines) for one command."""
    to_pipe.write(command + '\n')
    to_pipe.flush()
    lines = []
    while True:
        line = from_pipe.readline()
        if line == '':
            raise PipeError('the pipe closed')
        line = line.rstrip('\n')
        if line.startswith('BatchCommand finished:'):
            return line.endswith('OK'), lines + [line]
        lines.append(line)


def effect_id(lines, name):
    # The reply is JSON, followed by nothing but blank lines.
    commands = json.loads('\n'.join(lines[:-1]))
    ids = [c['id'] for c in commands if c.get('name', '').lower() == name.lower()]
    return ids[0] if ids else None


def main(argv):
    if len(argv) < 3 or (argv[2] == '--effect-id' and len(argv) != 4):
        print(__doc__)
        return 2
    signal.signal(signal.SIGALRM, lambda *_: (print('FAIL: no answer in time'), sys.exit(2)))
    signal.alarm(int(argv[1]))
    try:
        # Audacity opens its end of "to" first: opening in the other order
        # would block both sides.
        with open(TO_PIPE, 'w') as to_pipe, open(FROM_PIPE) as from_pipe:
            if argv[2] == '--effect-id':
                ok, lines = run(to_pipe, from_pipe, 'GetInfo: Type=Commands Format=JSON')
                found = effect_id(lines, argv[3]) if ok else None
                if found is None:
                    print(f'FAIL: no effect named {argv[3]}', file=sys.stderr)
                    return 1
                print(found)
                return 0
            failed = False
            for command in argv[2:]:
                print(f'> {command}')
                ok, lines = run(to_pipe, from_pipe, command)
                for line in lines:
                    if line:
                        print(f'  {line}')
                failed = failed or not ok
            return 1 if failed else 0
    except (PipeError, BrokenPipeError, OSError, ValueError) as e:
        print(f'FAIL: {e}')
        return 2


if __name__ == '__main__':
    sys.exit(main(sys.argv))

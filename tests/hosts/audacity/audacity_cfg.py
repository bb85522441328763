#!/usr/bin/env python3
"""Edits Audacity's audacity.cfg (wxFileConfig: [Group/Sub] sections).

  audacity_cfg.py FILE /Group/key=value [/Group/key=value...]
      sets each key (creating the file or section as needed) and drops the
      list of open projects, so that the next start offers no recovery
"""
import sys


def main(argv):
    if len(argv) < 2:
        print(__doc__)
        return 2
    path = argv[1]
    sections = {'': []}
    order = ['']
    try:
        with open(path) as f:
            current = ''
            for line in f.read().splitlines():
                if line.startswith('[') and line.endswith(']'):
                    current = line[1:-1]
                    if current not in sections:
                        sections[current] = []
                        order.append(current)
                elif line:
                    sections[current].append(line)
    except FileNotFoundError:
        pass
    sections.pop('ActiveProjects', None)
    order = [s for s in order if s in sections]
    for setting in argv[2:]:
        key, _, value = setting.partition('=')
        group, _, name = key.strip('/').rpartition('/')
        if group not in sections:
            sections[group] = []
            order.append(group)
        entries = [e for e in sections[group] if e.partition('=')[0] != name]
        sections[group] = entries + [f'{name}={value}']
    with open(path, 'w') as f:
        for group in order:
            if group:
                f.write(f'[{group}]\n')
            for entry in sections[group]:
                f.write(entry + '\n')
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))

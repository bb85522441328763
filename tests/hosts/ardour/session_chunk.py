#!/usr/bin/env python3
"""Reads and writes the plug-in's saved chunk in an Ardour session file.

  session_chunk.py get SESSION.ardour
      prints the chunk as hex (172 bytes when all is well)
  session_chunk.py set SESSION.ardour send|receive IDENTIFIER [DESTINATION]
      rewrites the chunk: mode, stream identifier, destination; the channel
      count and the on/off word are kept
"""
import base64
import re
import struct
import sys

# The plug-in's processor (unique ID 'lkwr'), then its chunk element.
PATTERN = re.compile(r'(<Processor [^>]*type="lxvst" unique-id="1818982258".*?<chunk[^>]*>)'
                     r'([A-Za-z0-9+/=]*)(</chunk>)', re.S)


def find(text, path):
    matches = list(PATTERN.finditer(text))
    if len(matches) != 1:
        raise ValueError(f'{path}: {len(matches)} chunks of the plug-in, expected 1')
    return matches[0]


def main(argv):
    if len(argv) < 3 or argv[1] not in ('get', 'set'):
        print(__doc__)
        return 2
    path = argv[2]
    with open(path, encoding='utf-8') as f:
        text = f.read()
    try:
        match = find(text, path)
    except ValueError as e:
        print(f'FAIL: {e}', file=sys.stderr)
        return 1
    chunk = bytearray(base64.b64decode(match.group(2)))
    if argv[1] == 'get':
        print(chunk.hex())
        return 0
    if len(argv) < 5 or len(chunk) != 172:
        print(__doc__ if len(argv) < 5 else f'FAIL: the chunk has {len(chunk)} bytes', file=sys.stderr)
        return 2 if len(argv) < 5 else 1
    mode, identifier = argv[3], argv[4].encode()
    destination = argv[5].encode() if len(argv) > 5 else b''
    struct.pack_into('<i', chunk, 0, 1 if mode == 'send' else 0)
    chunk[12:44] = identifier[:31].ljust(32, b'\0')
    if mode == 'send':
        chunk[44:172] = destination[:127].ljust(128, b'\0')
    encoded = base64.b64encode(bytes(chunk)).decode()
    text = text[:match.start(2)] + encoded + text[match.end(2):]
    with open(path, 'w', encoding='utf-8') as f:
        f.write(text)
    print(chunk.hex())
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))

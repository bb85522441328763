# The last channel of a 32-bit float WAV file and its rate, for the bench
# scripts' checks of what a receiver wrote.
import struct


def last_channel(path):
    data = open(path, 'rb').read()
    i = 12
    while i < len(data):
        cid, size = data[i:i+4], struct.unpack('<I', data[i+4:i+8])[0]
        if cid == b'fmt ':
            ch, rate = struct.unpack('<HI', data[i+10:i+16])
        if cid == b'data':
            body = data[i+8:i+8+size]
            break
        i += 8 + size
    return struct.unpack('<%df' % (len(body) // 4), body)[ch - 1::ch], rate

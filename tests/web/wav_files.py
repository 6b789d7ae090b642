"""WAV files for the page's tests, written byte by byte: every sample kind the page
reads exactly, with content in the bits below the plug-in's 16 so that a copy that is
not bit for bit shows, and the broken files a user may hand it."""
import random
import struct


def read_pcm16(path):
    """(rate, channels, samples) of a 16-bit PCM WAV with a plain fmt chunk."""
    with open(path, 'rb') as f:
        data = f.read()
    at, fmt, samples = 12, None, None
    while at + 8 <= len(data):
        cid, size = data[at:at + 4], struct.unpack_from('<I', data, at + 4)[0]
        if cid == b'fmt ':
            fmt = struct.unpack_from('<HHIIHH', data, at + 8)
        elif cid == b'data':
            body = data[at + 8:at + 8 + size]
            samples = list(struct.unpack('<%dh' % (len(body) // 2), body))
        at += 8 + size + (size & 1)
    assert fmt and fmt[0] == 1 and fmt[5] == 16, 'not 16-bit PCM'
    return fmt[2], fmt[1], samples


def wav_bytes(rate, channels, kind, payload, extensible=False):
    """A WAV file of `payload` (the data chunk's bytes) for a kind 'u8', 's16', 's24',
    's32', 'f32' or 'f64'."""
    bits = {'u8': 8, 's16': 16, 's24': 24, 's32': 32, 'f32': 32, 'f64': 64}[kind]
    tag = 3 if kind[0] == 'f' else 1
    block = channels * bits // 8
    if extensible:
        guid_tail = b'\x00\x00\x00\x00\x10\x00\x80\x00\x00\xaa\x00\x38\x9b\x71'
        fmt = struct.pack('<HHIIHHHHIH', 0xfffe, channels, rate, rate * block, block, bits, 22, bits, 0, tag) + guid_tail
    else:
        fmt = struct.pack('<HHIIHH', tag, channels, rate, rate * block, block, bits)
    body = b'fmt ' + struct.pack('<I', len(fmt)) + fmt + b'data' + struct.pack('<I', len(payload)) + payload
    if len(payload) & 1:
        body += b'\x00'
    return b'RIFF' + struct.pack('<I', 4 + len(body)) + b'WAVE' + body


def variant(rate, channels, samples, kind, seed=1):
    """The 16-bit `samples` in another kind, with noise below the top 16 bits (and, for
    floating point, a few values past full scale) so that every bit of the copy counts."""
    r = random.Random(seed)
    if kind == 'u8':
        payload = bytes((s >> 8) + 128 for s in samples)
    elif kind == 's16':
        payload = struct.pack('<%dh' % len(samples), *samples)
    elif kind == 's24':
        payload = b''.join(struct.pack('<i', (s << 8) | r.randrange(256))[:3] for s in samples)
    elif kind == 's32':
        payload = struct.pack('<%di' % len(samples), *((s << 16) | r.randrange(65536) for s in samples))
    else:
        values = [(s + r.uniform(-0.5, 0.5)) / 32768 for s in samples]
        for i in range(0, len(values), len(values) // 7):
            values[i] = 1.25 if i % 2 else -1.5
        payload = struct.pack('<%d%s' % (len(values), 'f' if kind == 'f32' else 'd'), *values)
    return wav_bytes(rate, channels, kind, payload, extensible=(kind == 's24'))


def zero_channel_header():
    """A WAV whose fmt chunk says 0 channels, with some data behind it."""
    return wav_bytes(48000, 0, 's16', b'\x00\x01' * 4800)

"""The overwrite stream at any offset, for checking stretches of big files.

Stepping a component is linear over GF(2), so jumping k steps applies the
step matrix raised to k (kept as the powers of two). Bytes come from the
double expression, as the tool's literal generator makes them."""

from wipeseed import seed_from_time  # noqa: F401 (the checks take the seed from here)

M = 0xFFFFFFFF


def _step(s1, s2, s3):
    s1 = ((s1 << 13) & M) ^ (((s1 >> 15) ^ (s1 >> 6)) & 0x1FFF)
    s2 = ((s2 << 20) & M) ^ (((s2 >> 9) ^ (s2 >> 7)) & 0xFFFFF)
    s3 = ((s3 << 17) & M) ^ (((s3 >> 14) ^ (s3 >> 8)) & 0x1FFFF)
    return s1, s2, s3


def _apply(cols, v):
    r = 0
    j = 0
    while v:
        if v & 1:
            r ^= cols[j]
        v >>= 1
        j += 1
    return r


def _powers():
    first = [[0] * 32 for _ in range(3)]
    for j in range(32):
        w = _step(1 << j, 1 << j, 1 << j)
        for c in range(3):
            first[c][j] = w[c]
    pw = [[m] for m in first]
    for c in range(3):
        for _ in range(1, 64):
            m = pw[c][-1]
            pw[c].append([_apply(m, col) for col in m])
    return pw


_POW = _powers()


def jump(state, k):
    s = list(state)
    i = 0
    while k:
        if k & 1:
            for c in range(3):
                s[c] = _apply(_POW[c][i], s[c])
        k >>= 1
        i += 1
    return tuple(s)


def take(state, offset, n):
    """n bytes of the stream starting offset bytes after state."""
    s1, s2, s3 = jump(state, offset)
    out = bytearray(n)
    for i in range(n):
        s1, s2, s3 = _step(s1, s2, s3)
        out[i] = int((s1 ^ s2 ^ s3) * 2.3283064365e-10 * 256.0)
    return bytes(out)


def windows(length, every=1 << 20, around=64):
    """(start, size) stretches: both ends, and around every multiple of
    `every` (lane and segment boundaries fall on those)."""
    spans = [(0, min(length, 4096)), (max(0, length - 4096), min(length, 4096))]
    for b in range(every, length, every):
        spans.append((b - around, min(2 * around, length - (b - around))))
    return spans

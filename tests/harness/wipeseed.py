"""The three generator words that Korwipe seeds from a given UTC moment,
computed independently of the program, for the tests that check its bytes."""

M = 0xFFFFFFFF


def seed_from_time(year, month, day, hour, minute, second):
    d = (((year % 100) * 12 + month) * 31 + day - 32) & M
    v = ((((d * 24 + hour) & M) * 60 + minute) & M) * 60 + second & M
    v |= 1
    r = []
    for _ in range(3):
        v = (v * 214013 + 2531011) & M
        r.append((v >> 16) & 0x7FFF)
    a, b, c = r[2], r[1], r[0]
    return (((a << 4) & M) ^ (((a >> 24) ^ (a >> 15)) & 0xF),
            ((b << 3) & M) ^ (((b >> 26) ^ (b >> 24)) & 0x7),
            ((c << 1) & M) ^ (((c >> 30) ^ (c >> 24)) & 0x1))

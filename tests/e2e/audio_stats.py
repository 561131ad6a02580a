"""What SDL's disk driver wrote: raw signed 16-bit little-endian stereo at
44100 Hz, the format Pagemoor opens its output in.

    audio_stats.py FILE [FROM_BYTE]

prints one line "seconds=S loud=L longest=R peak=P": the length of the
stretch from FROM_BYTE on, how many seconds of it are not silent, the longest
unbroken stretch that is not silent (in seconds) and the largest sample.
A 10 ms block counts as not silent when one of its samples is beyond +-64.
"""
import array
import sys

RATE = 44100
BLOCK = RATE // 100  # frames
THRESHOLD = 64


def main() -> None:
    path = sys.argv[1]
    start = int(sys.argv[2]) if len(sys.argv) > 2 else 0
    with open(path, "rb") as f:
        f.seek(start)
        data = f.read()
    data = data[: len(data) - len(data) % 4]
    samples = array.array("h")
    samples.frombytes(data)
    if sys.byteorder != "little":
        samples.byteswap()
    frames = len(samples) // 2
    loud_blocks = longest = run = peak = 0
    step = BLOCK * 2
    for at in range(0, len(samples), step):
        block = samples[at : at + step]
        top = max((abs(s) for s in block), default=0)
        peak = max(peak, top)
        if top > THRESHOLD:
            loud_blocks += 1
            run += 1
            longest = max(longest, run)
        else:
            run = 0
    print(
        f"seconds={frames / RATE:.2f} loud={loud_blocks * BLOCK / RATE:.2f} "
        f"longest={longest * BLOCK / RATE:.2f} peak={peak}"
    )


if __name__ == "__main__":
    main()

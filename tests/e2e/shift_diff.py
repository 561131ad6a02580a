"""How many pixels of two grey pictures of the same size differ, when the
second may be shifted up or down by up to RANGE rows: the least count over
the shifts, and the shift.

    shift_diff.py WIDTH RANGE FIRST.gray SECOND.gray

The files are raw 8-bit grey (ImageMagick's gray:), the same region of two
screenshots; the comparison leaves out RANGE rows at the top and bottom of
the first. A pixel differs when its values are more than 25 apart (10 %).
"""
import sys


def main() -> None:
    width, reach = int(sys.argv[1]), int(sys.argv[2])
    with open(sys.argv[3], "rb") as f:
        first = f.read()
    with open(sys.argv[4], "rb") as f:
        second = f.read()
    rows = len(first) // width
    a = [first[r * width : (r + 1) * width] for r in range(rows)]
    b = [second[r * width : (r + 1) * width] for r in range(rows)]
    best = (None, 0)
    for shift in range(-reach, reach + 1):
        count = 0
        for r in range(reach, rows - reach):
            x, y = a[r], b[r + shift]
            if x != y:
                count += sum(1 for p, q in zip(x, y) if abs(p - q) > 25)
            if best[0] is not None and count >= best[0]:
                break
        if best[0] is None or count < best[0]:
            best = (count, shift)
    print(best[0], best[1])


if __name__ == "__main__":
    main()

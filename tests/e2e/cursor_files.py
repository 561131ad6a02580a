"""The pictures of a Windows cursor file (.cur) or animated cursor (.ani),
one line per frame, in xcursor_probe's terms:

    size=WxH hotspot=X,Y opaque=N

N counts the pixels that are not fully transparent: the alpha of a 32-bit
frame, else the AND mask. Only what the demo's cursors use is read: ICO
directories of 32-bit or masked frames, and RIFF ACON with a "fram" list.
"""
import struct
import sys


def cursor_frames(data: bytes) -> list:
    _, kind, count = struct.unpack_from("<HHH", data, 0)
    if kind not in (1, 2):
        raise ValueError("not a cursor or icon directory")
    frames = []
    for i in range(count):
        width, height, _, _, hot_x, hot_y, size, offset = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
        width, height = width or 256, height or 256
        header = struct.unpack_from("<IiiHHIIiiII", data, offset)
        bits = header[4]
        pixels = offset + header[0] + (4 * (header[9] or (1 << bits)) if bits <= 8 else 0)
        if bits == 32:
            opaque = sum(1 for p in range(width * height) if data[pixels + 4 * p + 3])
        else:
            stride = ((width * bits + 31) // 32) * 4
            mask = pixels + stride * height
            mask_stride = ((width + 31) // 32) * 4
            opaque = sum(
                1
                for y in range(height)
                for x in range(width)
                if not (data[mask + y * mask_stride + x // 8] >> (7 - x % 8)) & 1
            )
        frames.append(f"size={width}x{height} hotspot={hot_x},{hot_y} opaque={opaque}")
    return frames


def ani_frames(data: bytes) -> list:
    frames = []

    def walk(start: int, end: int) -> None:
        at = start
        while at + 8 <= end:
            chunk, size = data[at : at + 4], struct.unpack_from("<I", data, at + 4)[0]
            body = at + 8
            if chunk == b"LIST":
                walk(body + 4, body + size)
            elif chunk == b"icon":
                frames.extend(cursor_frames(data[body : body + size]))
            at = body + size + (size & 1)

    walk(12, len(data))
    return frames


def main() -> None:
    with open(sys.argv[1], "rb") as f:
        data = f.read()
    frames = ani_frames(data) if data[:4] == b"RIFF" else cursor_frames(data)
    print("\n".join(frames))


if __name__ == "__main__":
    main()

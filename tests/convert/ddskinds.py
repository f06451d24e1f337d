#!/usr/bin/python3
"""Every kind of DDS copy that `morvane convert` writes, read back by other
decoders: Pillow for all of them (BC1 to BC5 under their FourCCs, plain
pixels), ImageMagick's convert too for BC1 to BC3 and plain pixels. One row a
kind: the header's FourCC or masks, the chain of mipmaps (count and total
size), and the top level against the source within a tolerance (PSNR or the
largest error); normal maps stay unit length and cut-outs keep their coverage
level by level, each mipmap cut out of the file and read by Pillow.
    ddskinds.py MORVANE
Skipped (77) without python3-pil and python3-numpy."""
import io
import os
import struct
import subprocess
import sys
import tempfile

try:
    import numpy as np
    from PIL import Image
except ImportError as missing:
    print(f"SKIP: python3-pil and python3-numpy are needed ({missing})")
    sys.exit(77)

MORVANE = sys.argv[1]
IM_CONVERT = "/usr/bin/convert"


def sources():
    """The pictures converted, made here with numpy and written by Pillow."""
    y, x = np.mgrid[0:36, 0:60].astype(float)
    colour = np.stack([x * 4, y * 7, 128 + 100 * np.sin(x / 5) * np.cos(y / 4)], -1)
    alpha = np.dstack([colour, (x * 40 + y * 20) % 256])  # neighbours far apart
    y, x = np.mgrid[0:64, 0:64].astype(float)
    leaves = np.clip(128 + 600 * (np.sin(x * 0.6) * np.cos(y * 0.5) - 0.3), 0, 255)  # soft edges
    cutout = np.dstack([np.full((64, 64, 2), 90.0), x * 3, leaves])
    h = 3 * np.sin(x / 3) * np.cos(y / 4)
    gy, gx = np.gradient(h)
    n = np.stack([-gx, -gy, np.ones_like(h)], -1)
    n /= np.linalg.norm(n, axis=-1, keepdims=True)
    pictures = {"colour": colour, "alpha": alpha, "cutout": cutout, "normal": (n + 1) * 127.5}
    return {k: np.clip(np.rint(v), 0, 255).astype(np.uint8) for k, v in pictures.items()}


# kind: FourCC or (bits, alpha mask), bytes per 4 x 4 block or per pixel, Image mode from Pillow.
KINDS = {
    "DXT1": (8, "block"), "DXT3": (16, "block"), "DXT5": (16, "block"),
    "ATI1": (8, "block"), "ATI2": (16, "block"), "BGRA": (4, "pixel"), "BGR": (3, "pixel"),
}


def level_sizes(width, height, levels):
    for _ in range(levels):
        yield width, height
        width, height = max(1, width // 2), max(1, height // 2)


def level_bytes(kind, width, height):
    size, unit = KINDS[kind]
    if unit == "block":
        return max(1, (width + 3) // 4) * max(1, (height + 3) // 4) * size
    return width * height * size


def header_kind(data):
    flags, fourcc, bits, r, g, b, a = struct.unpack_from("<I4s5I", data, 80)
    if flags & 0x4:
        return fourcc.decode()
    assert flags & 0x40 and (r, g, b) == (0xFF0000, 0xFF00, 0xFF), f"masks {r:x} {g:x} {b:x}"
    assert (bits, a) in ((32, 0xFF000000), (24, 0)), f"{bits} bits, alpha mask {a:x}"
    return "BGRA" if bits == 32 else "BGR"


def levels_of(data, kind):
    """Each level of the chain as a DDS file of its own, read by Pillow, as RGBA."""
    height, width, _, _, count = struct.unpack_from("<5I", data, 12)
    at = 128
    for w, h in level_sizes(width, height, count):
        size = level_bytes(kind, w, h)
        head = bytearray(data[:128])
        struct.pack_into("<5I", head, 12, h, w, size, 0, 1)
        yield np.asarray(Image.open(io.BytesIO(bytes(head) + data[at:at + size])).convert("RGBA")).astype(float)
        at += size


def psnr(a, b):
    mse = np.mean((a.astype(float) - b.astype(float)) ** 2)
    return 99.0 if mse == 0 else 10 * np.log10(255.0**2 / mse)


def by_imagemagick(path):
    png = subprocess.run([IM_CONVERT, path, "png:-"], check=True, capture_output=True).stdout
    return np.asarray(Image.open(io.BytesIO(png)).convert("RGBA")).astype(float)


def coverage(rgba, threshold=0.5):
    return float(np.mean(rgba[..., 3] > threshold * 255))


# name, source, options, kind, checks of the top level (source, decoded): (what, value, limit)
ROWS = [
    ("auto, opaque", "colour", [], "DXT1", lambda s, d: [("RGB PSNR", psnr(s, d[..., :3]), 32)]),
    ("auto, translucent", "alpha", [], "DXT5", lambda s, d: [("RGBA PSNR", psnr(s, d), 32)]),
    ("bc1", "alpha", ["--dds-format", "bc1"], "DXT1",
     lambda s, d: [("RGB PSNR", psnr(s[..., :3], d[..., :3]), 32), ("alpha error", -np.abs(255 - d[..., 3]).max(), 0)]),
    ("bc1a", "cutout", ["--dds-format", "bc1a"], "DXT1",
     lambda s, d: [("alpha error", -np.abs(np.where(s[..., 3] >= 128, 255, 0) - d[..., 3]).max(), 0),
                   ("RGB PSNR where opaque", psnr(s[s[..., 3] >= 128][:, :3], d[s[..., 3] >= 128][:, :3]), 32)]),
    ("bc2", "alpha", ["--dds-format", "bc2"], "DXT3",
     lambda s, d: [("RGB PSNR", psnr(s[..., :3], d[..., :3]), 32), ("alpha error", -np.abs(s[..., 3] - d[..., 3]).max(), -9)]),
    ("bc3", "alpha", ["--dds-format", "bc3"], "DXT5",
     lambda s, d: [("RGB PSNR", psnr(s[..., :3], d[..., :3]), 32), ("alpha error", -np.abs(s[..., 3] - d[..., 3]).max(), -20)]),
    ("bc4", "colour", ["--dds-format", "bc4"], "ATI1", lambda s, d: [("red PSNR", psnr(s[..., 0], d[..., 0]), 44)]),
    ("bc5", "colour", ["--dds-format", "bc5"], "ATI2", lambda s, d: [("red, green PSNR", psnr(s[..., :2], d[..., :2]), 44)]),
    ("bgra", "alpha", ["--dds-format", "bgra"], "BGRA", lambda s, d: [("error", -np.abs(s - d).max(), 0)]),
    ("bgr", "colour", ["--dds-format", "bgr"], "BGR", lambda s, d: [("error", -np.abs(s - d[..., :3]).max(), 0)]),
    ("no mipmaps", "colour", ["--mipmaps", "none"], "DXT1", lambda s, d: [("RGB PSNR", psnr(s, d[..., :3]), 32)]),
]
IM_READS = {"DXT1", "DXT3", "DXT5", "BGRA", "BGR"}


def convert(work, picture, options):
    folder = tempfile.mkdtemp(dir=work)
    Image.fromarray(picture).save(os.path.join(folder, "src.png"))
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", MALLOC_PERTURB_="165")
    subprocess.run([MORVANE, "convert", "--to", ".dds", *options, folder], check=True, env=env, capture_output=True)
    path = os.path.join(folder, "src.dds")
    with open(path, "rb") as f:
        return path, f.read()


def check_chain(data, kind, mipmaps, width, height):
    """The header's kind, level count and the file's size; the chain's levels."""
    assert data[:4] == b"DDS " and struct.unpack_from("<I", data, 4)[0] == 124
    got = header_kind(data)
    assert got == kind, f"kind {got}, not {kind}"
    count = struct.unpack_from("<I", data, 28)[0]
    levels = max(width, height).bit_length() if mipmaps else 1
    assert count == levels, f"{count} levels, not {levels}"
    size = 128 + sum(level_bytes(kind, w, h) for w, h in level_sizes(width, height, levels))
    assert len(data) == size, f"{len(data)} bytes, not {size}"
    return list(levels_of(data, kind))


def main():
    pictures = sources()
    failures = []
    with tempfile.TemporaryDirectory() as work:
        for name, source, options, kind, checks in ROWS:
            try:
                src = pictures[source].astype(float)
                path, data = convert(work, pictures[source], options)
                levels = check_chain(data, kind, "none" not in options, src.shape[1], src.shape[0])
                decoders = [("Pillow", levels[0])] + ([("ImageMagick", by_imagemagick(path))] if kind in IM_READS else [])
                for decoder, decoded in decoders:
                    assert decoded.shape[:2] == src.shape[:2], f"{decoder}: size {decoded.shape}"
                    for what, value, limit in checks(src, decoded):
                        assert value >= limit, f"{decoder}: {what} {abs(value):.2f}, limit {abs(limit)}"
            except (AssertionError, subprocess.CalledProcessError, OSError) as failure:
                failures.append(f"{name}: {failure}")

        # Normal maps: every level's texels are unit vectors.
        _, data = convert(work, pictures["normal"], ["--dds-format", "bgra", "--normal-map"])
        for i, level in enumerate(check_chain(data, "BGRA", True, 64, 64)):
            worst = np.abs(np.linalg.norm(level[..., :3] / 127.5 - 1, axis=-1) - 1).max()
            if worst > 0.02:
                failures.append(f"normal map: level {i} has a vector {worst:.3f} off unit length")

        # Cut-outs: with --alpha-test each level of 8 x 8 or more keeps the top
        # level's coverage; without it the leaves fade (the picture needs it).
        for options, kind, keeps in ((["bgra"], "BGRA", False), (["bgra", "--alpha-test"], "BGRA", True),
                                     (["bc3", "--alpha-test=0.5"], "DXT5", True)):
            _, data = convert(work, pictures["cutout"], ["--dds-format", *options])
            levels = check_chain(data, kind, True, 64, 64)
            drift = max(abs(coverage(level) - coverage(levels[0])) for level in levels if level.shape[0] >= 8)
            if (drift <= 0.04) != keeps:
                failures.append(f"cut-out, {' '.join(options)}: coverage drifts by {drift:.3f}")
    for failure in failures:
        print("FAIL:", failure)
    print(f"{len(ROWS) + 4 - len(failures)} of {len(ROWS) + 4} checks passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

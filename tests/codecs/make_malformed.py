#!/usr/bin/env python3
"""Writes the malformed-picture corpus into data/, one file per defect, named
for it. Run by hand when a case is added; the files are committed. The cut
files start from small pictures that ImageMagick makes (convert-im6.q16)."""
import os
import random
import struct
import subprocess
import tempfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "data")
rng = random.Random(20261206)
files = {}


def put(name, data):
    files[name] = bytes(data)


# --- PNG -------------------------------------------------------------------
def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))


def png(width, height, depth=8, colour=2, idat=None, end=True):
    sig = b"\x89PNG\r\n\x1a\n"
    ihdr = chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, colour, 0, 0, 0))
    if idat is None:
        idat = zlib.compress(b"")
    out = sig + ihdr + chunk(b"IDAT", idat)
    return out + chunk(b"IEND", b"") if end else out


def small_png():
    rows = b"".join(b"\0" + bytes(rng.randrange(256) for _ in range(16 * 3)) for _ in range(16))
    return png(16, 16, idat=zlib.compress(rows))


good_png = small_png()
put("png-60000x60000.png", png(60000, 60000))
put("png-16bit-rgba-16384x16384-over-1gib.png", png(16384, 16384, depth=16, colour=6))
put("png-16385x1-over-side-limit.png", png(16385, 1))
put("png-width-zero.png", png(0, 16))
put("png-truncated-in-idat.png", good_png[: len(good_png) - 40])
put("png-no-iend.png", good_png[: len(good_png) - 12])
put("png-bad-ihdr-crc.png", good_png[:29] + b"\0\0\0\0" + good_png[33:])
put("png-idat-length-2gib.png", good_png[:33] + struct.pack(">I", 0x7FFFFFFF) + good_png[37:])
put("png-idat-not-zlib.png", png(16, 16, idat=bytes(rng.randrange(256) for _ in range(200))))
put("png-idat-too-short-for-rows.png", png(16, 16, idat=zlib.compress(b"\0" * 20)))
put("png-bit-depth-7.png", png(16, 16, depth=7, colour=2))
put("png-palette-without-plte.png", png(16, 16, depth=8, colour=3, idat=zlib.compress(b"\0" * (17 * 16))))
put("random-after-png-signature.png", b"\x89PNG\r\n\x1a\n" + bytes(rng.randrange(256) for _ in range(4096)))


# --- BMP -------------------------------------------------------------------
def bmp(width, height, bits=24, compression=0, pixels=b"", header_size=40, offset=None,
        colours=0, extra=b""):
    info = struct.pack("<IiiHHIIiiII", header_size, width, height, 1, bits, compression,
                       len(pixels), 2835, 2835, colours, 0)
    info = info[:header_size] if header_size < 40 else info + b"\0" * (header_size - 40)
    if offset is None:
        offset = 14 + len(info) + len(extra)
    body = info + extra + pixels
    return b"BM" + struct.pack("<IHHI", 14 + len(body), 0, 0, offset) + body


good_bmp = bmp(16, 16, pixels=bytes(rng.randrange(256) for _ in range(16 * 48)))
put("bmp-60000x60000.bmp", bmp(60000, 60000))
put("bmp-60000x-60000-top-down.bmp", bmp(60000, -60000))
put("bmp-height-int-min.bmp", bmp(16, -2**31))
put("bmp-width-negative.bmp", bmp(-16, 16, pixels=b"\0" * 16 * 48))
put("bmp-width-zero.bmp", bmp(0, 16))
put("bmp-bits-0.bmp", bmp(16, 16, bits=0, pixels=b"\0" * 1024))
put("bmp-bits-7.bmp", bmp(16, 16, bits=7, pixels=b"\0" * 1024))
put("bmp-header-size-8.bmp", bmp(16, 16, header_size=8, pixels=b"\0" * 1024))
put("bmp-header-size-huge.bmp", good_bmp[:14] + struct.pack("<I", 0xFFFFFFF0) + good_bmp[18:])
put("bmp-pixels-truncated.bmp", good_bmp[: len(good_bmp) - 100])
put("bmp-offset-past-end.bmp", bmp(16, 16, offset=0x7FFFFFFF, pixels=b"\0" * 16 * 48))
put("bmp-palette-count-huge.bmp", bmp(16, 16, bits=8, colours=0xFFFFFFFF, pixels=b"\0" * 256))
put("bmp-bitfields-missing-masks.bmp", bmp(16, 16, bits=16, compression=3, pixels=b"\0" * 512))
# Run-length data: runs past the row and rows past the picture, then no end.
rle_runs = b"\xff\x01" * 40 + b"\x00\x00" * 40 + b"\x00\x02\xff\xff" + b"\x00\xff" + b"\x01" * 256
put("bmp-rle8-runs-past-picture.bmp", bmp(16, 16, bits=8, compression=1, pixels=rle_runs + b"\x00\x01",
                                          extra=b"\0\0\0\0" * 256))
put("bmp-rle8-no-end-marker.bmp", bmp(16, 16, bits=8, compression=1, pixels=b"\x10\x01" * 8,
                                      extra=b"\0\0\0\0" * 256))
put("bmp-rle4-absolute-run-past-end.bmp", bmp(16, 16, bits=4, compression=2, pixels=b"\x00\xf0\x12",
                                              extra=b"\0\0\0\0" * 16))
put("bmp-bitfields-all-masks-zero.bmp", bmp(4, 4, bits=16, compression=3, extra=b"\0" * 12, pixels=b"\x55" * 32))
put("bmp-alpha-bitfields-masks-truncated.bmp", bmp(4, 4, bits=32, compression=6, extra=b"\xff" * 16)[:60])
put("bmp-64bit-pixels-truncated.bmp", bmp(4, 4, bits=64, pixels=b"\x00\x20" * 30))
put("bmp-os2-rle24-truncated-in-run.bmp", bmp(4, 4, bits=24, compression=4, header_size=64, pixels=b"\x03\x10\x20"))
put("bmp-os2-huffman-1d.bmp", bmp(8, 8, bits=1, compression=3, header_size=64, extra=b"\0\0\0\0\xff\xff\xff\0",
                                 pixels=b"\0" * 32))
put("bmp-os2-header-size-20.bmp", bmp(4, 4, header_size=20, pixels=b"\x80" * 48))
put("bmp-height-zero.bmp", bmp(16, 0))
put("bmp-palette-overlapping-pixels.bmp", bmp(4, 4, bits=8, colours=256, offset=14 + 40 + 64,
                                              extra=b"\x10\x20\x30\0" * 16, pixels=b"\x0f\x00\x05\x03" * 4))
put("bmp-rle8-delta-past-picture.bmp", bmp(16, 16, bits=8, compression=1, extra=b"\0\0\0\0" * 256,
                                           pixels=b"\x00\x02\xff\xff" + b"\x05\x01" * 4 + b"\x00\x01"))


def bmp_v5(profile_at, profile, pixels=b"\x10\x20\x30\0"):
    """A 1 x 1 picture under a V5 header that says a profile is embedded."""
    info = struct.pack("<IiiHHIIiiII", 124, 1, 1, 1, 24, 0, len(pixels), 2835, 2835, 0, 0) + b"\0" * 16
    info += b"DEBM" + b"\0" * 48 + struct.pack("<IIII", 4, profile_at, len(profile), 0)
    body = info + pixels + profile
    return b"BM" + struct.pack("<IHHI", 14 + len(body), 0, 0, 14 + 124) + body


put("bmp-v5-profile-past-end.bmp", bmp_v5(0x7FFFFF00, b""))
put("bmp-v5-profile-not-icc.bmp", bmp_v5(128, bytes(random.Random(7).randrange(256) for _ in range(64))))


# --- GIF -------------------------------------------------------------------
def gif(screen, frame, code_size=2, data=b"\x02\x44\x01\x00", table=True, trailer=True):
    out = b"GIF89a" + struct.pack("<HHBBB", screen[0], screen[1], 0x80 if table else 0, 0, 0)
    if table:
        out += b"\0\0\0\xff\xff\xff"
    out += b"\x2c" + struct.pack("<HHHHB", 0, 0, frame[0], frame[1], 0)
    out += bytes([code_size]) + data
    return out + (b"\x3b" if trailer else b"")


put("gif-60000x60000-screen.gif", gif((60000, 60000), (1, 1)))
put("gif-60000x60000-frame-in-small-screen.gif", gif((1, 1), (60000, 60000)))
put("gif-lzw-code-size-12.gif", gif((16, 16), (16, 16), code_size=12))
put("gif-lzw-random-codes.gif", gif((16, 16), (16, 16), data=b"\xff" + bytes(rng.randrange(256) for _ in range(255)) + b"\0"))
put("gif-truncated-in-lzw-data.gif", gif((16, 16), (16, 16), data=b"\x40" + b"\x44" * 20, trailer=False))
put("gif-trailer-before-any-image.gif", b"GIF89a" + struct.pack("<HHBBB", 16, 16, 0, 0, 0) + b"\x3b")
put("gif-frame-outside-screen.gif", b"GIF89a" + struct.pack("<HHBBB", 4, 4, 0x80, 0, 0) + b"\0\0\0\xff\xff\xff"
    + b"\x2c" + struct.pack("<HHHHB", 65000, 65000, 4, 4, 0) + b"\x02\x02\x44\x01\x00\x3b")
put("gif-no-colour-table.gif", gif((16, 16), (16, 16), table=False))
put("gif-extension-runs-to-end.gif", b"GIF89a" + struct.pack("<HHBBB", 4, 4, 0, 0, 0) + b"\x21\xff\x0bNETSCAPE2.0\x03\x01")


# --- JPEG ------------------------------------------------------------------
def seg(marker, body):
    return b"\xff" + bytes([marker]) + struct.pack(">H", len(body) + 2) + body


def sof(kind, width, height, comps=1):
    body = struct.pack(">BHHB", 8, height, width, comps)
    for c in range(comps):
        body += bytes([c + 1, 0x11, 0])
    return seg(kind, body)


dqt = seg(0xDB, b"\x00" + b"\x01" * 64)
# DC table 0: a single one-bit code for category 0; AC table 0: one code for EOB.
dht = seg(0xC4, b"\x00" + b"\x01" + b"\0" * 15 + b"\x00") + seg(0xC4, b"\x10" + b"\x01" + b"\0" * 15 + b"\x00")
sos1 = seg(0xDA, b"\x01\x01\x00\x00\x3f\x00")
gray_jpeg = b"\xff\xd8" + dqt + sof(0xC0, 64, 64) + dht + sos1 + b"\x00" * 64 + b"\xff\xd9"
put("jpeg-60000x60000.jpg", b"\xff\xd8" + dqt + sof(0xC0, 60000, 60000, 3) + dht
    + seg(0xDA, b"\x03\x01\x00\x02\x00\x03\x00\x00\x3f\x00") + b"\xff\xd9")
put("jpeg-width-zero.jpg", b"\xff\xd8" + dqt + sof(0xC0, 0, 64) + dht + sos1 + b"\xff\xd9")
put("jpeg-truncated-in-entropy-data.jpg", gray_jpeg[: len(gray_jpeg) - 66 + 8])
put("jpeg-missing-end-marker.jpg", gray_jpeg[: len(gray_jpeg) - 2])
put("jpeg-no-frame-header.jpg", b"\xff\xd8" + dqt + dht + sos1 + b"\x00" * 64 + b"\xff\xd9")
put("jpeg-random-entropy-data.jpg", gray_jpeg[: len(gray_jpeg) - 66] + bytes(rng.randrange(255) for _ in range(4000)) + b"\xff\xd9")
put("jpeg-segment-length-past-end.jpg", b"\xff\xd8" + b"\xff\xe1\xff\xff" + b"Exif\0\0")
put("jpeg-exif-ifd-offset-past-end.jpg", gray_jpeg[:2] + seg(0xE1, b"Exif\0\0II*\0\xff\xff\xff\x7f") + gray_jpeg[2:])
put("jpeg-exif-entry-count-huge.jpg", gray_jpeg[:2] + seg(0xE1, b"Exif\0\0MM\0*\0\0\0\x08\xff\xff") + gray_jpeg[2:])
dc_scan = seg(0xDA, b"\x01\x01\x00\x00\x00\x00") + b"\x00" * 8
put("jpeg-progressive-600-scans.jpg", b"\xff\xd8" + dqt + sof(0xC2, 64, 64) + dht + dc_scan * 600 + b"\xff\xd9")
# Scans that stop at once: decoding them anyway would fill a 16384 x 16384
# picture from nothing, scan after scan.
empty_scan = seg(0xDA, b"\x01\x01\x00\x00\x00\x00")
put("jpeg-progressive-16384x16384-scans-without-data.jpg", b"\xff\xd8" + dqt + sof(0xC2, 16384, 16384) + dht + empty_scan * 60 + b"\xff\xd9")
put("jpeg-huffman-table-overfull.jpg", b"\xff\xd8" + dqt + sof(0xC0, 8, 8) + seg(0xC4, b"\x00" + b"\xff" * 16 + b"\x00" * 255) + sos1 + b"\x00\xff\xd9")
put("random-after-jpeg-soi.jpg", b"\xff\xd8\xff" + bytes(rng.randrange(256) for _ in range(4096)))


# --- TIFF ------------------------------------------------------------------
def tiff(entries, data=b"", ifd_offset=8):
    out = b"II*\0" + struct.pack("<I", ifd_offset)
    out += struct.pack("<H", len(entries))
    for tag, kind, count, value in sorted(entries):
        out += struct.pack("<HHII", tag, kind, count, value)
    return out + b"\0\0\0\0" + data


def tiff_gray(width, height, strip_offset=None, strip_bytes=None, bits=8, extra=()):
    n = 9 + len(extra)
    data_at = 8 + 2 + 12 * n + 4
    entries = [(256, 4, 1, width), (257, 4, 1, height), (258, 3, 1, bits), (259, 3, 1, 1), (262, 3, 1, 1),
               (273, 4, 1, data_at if strip_offset is None else strip_offset), (277, 3, 1, 1),
               (278, 4, 1, height), (279, 4, 1, width * height if strip_bytes is None else strip_bytes)]
    return tiff(entries + list(extra), bytes(rng.randrange(256) for _ in range(min(width * height, 256))))


put("tiff-60000x60000.tif", tiff_gray(60000, 60000))
put("tiff-strip-past-end.tif", tiff_gray(16, 16, strip_bytes=100000))
put("tiff-strip-offset-past-end.tif", tiff_gray(16, 16, strip_offset=0x7FFFFFF0))
put("tiff-ifd-offset-past-end.tif", b"II*\0\xff\xff\xff\x7f" + b"\0" * 32)
put("tiff-bits-per-sample-0.tif", tiff_gray(16, 16, bits=0))
put("tiff-bits-per-sample-64.tif", tiff_gray(16, 16, bits=64))
put("tiff-strip-count-huge.tif", tiff([(256, 4, 1, 16), (257, 4, 1, 16), (258, 3, 1, 8), (262, 3, 1, 1),
                                         (273, 4, 0x3FFFFFFF, 8), (278, 4, 1, 1), (279, 4, 0x3FFFFFFF, 8)]))
put("tiff-no-image-tags.tif", tiff([(259, 3, 1, 1)]))
put("tiff-ifd-entry-count-past-end.tif", b"II*\0\x08\0\0\0\xff\xff" + b"\0" * 30)


# --- WebP ------------------------------------------------------------------
def riff(body, declared=None):
    return b"RIFF" + struct.pack("<I", len(body) + 4 if declared is None else declared) + b"WEBP" + body


vp8l_1x1 = b"VP8L" + struct.pack("<I", 5) + b"\x2f\x00\x00\x00\x00\x00"
vp8x_big = b"VP8X" + struct.pack("<I", 10) + b"\0\0\0\0" + (59999).to_bytes(3, "little") * 2
put("webp-60000x60000-canvas.webp", riff(vp8x_big + vp8l_1x1))
put("webp-riff-size-past-end.webp", riff(vp8l_1x1, declared=100000))
put("webp-random-vp8-data.webp", riff(b"VP8 " + struct.pack("<I", 400) + bytes(rng.randrange(256) for _ in range(400))))
put("webp-chunk-size-huge.webp", riff(b"VP8L" + struct.pack("<I", 0xFFFFFFF0) + b"\x2f\0\0\0\0"))


# --- TGA -------------------------------------------------------------------
def tga(width, height, kind=2, bits=24, pixels=b""):
    header = struct.pack("<BBBHHBHHHHBB", 0, 0, kind, 0, 0, 0, 0, 0, width, height, bits, 0x20)
    return header + pixels + struct.pack("<II", 0, 0) + b"TRUEVISION-XFILE.\0"


put("tga-60000x60000.tga", tga(60000, 60000))
put("tga-pixels-truncated.tga", tga(16, 16, pixels=b"\x80" * 100))
put("tga-rle-runs-past-picture.tga", tga(4, 4, kind=10, pixels=b"\xff\x10\x20\x30" * 8))
put("tga-bits-7.tga", tga(4, 4, bits=7, pixels=b"\0" * 64))


# --- Anything --------------------------------------------------------------
put("empty-named.png", b"")
put("empty-named.jpg", b"")
put("random-bytes-4k.bin", bytes(rng.randrange(256) for _ in range(4096)))
put("text-named.gif", b"This is a note about textures, not a picture.\n" * 20)
put("one-byte.bmp", b"B")


def cut_from_imagemagick():
    """Pictures cut short inside their data, from ImageMagick's encoders."""
    tool = "/usr/bin/convert-im6.q16"
    if not os.path.exists(tool):
        return
    with tempfile.TemporaryDirectory() as tmp:
        for ext, name, cut in [("gif", "gif-cut-in-half.gif", 0.5), ("jpg", "jpeg-progressive-cut-in-half.jpg", 0.5),
                               ("tif", "tiff-cut-before-directory.tif", 0.6), ("webp", "webp-cut-in-half.webp", 0.5)]:
            path = os.path.join(tmp, "p." + ext)
            args = [tool, "-size", "32x32", "plasma:fractal", "-seed", "3"]
            if ext == "jpg":
                args += ["-interlace", "plane"]
            subprocess.run(args + [path], check=True)
            data = open(path, "rb").read()
            put(name, data[: int(len(data) * cut)])


cut_from_imagemagick()


# --- TGA without the footer, and colour maps -------------------------------
rng_tga = random.Random(20270112)


def tga_bare(width, height, kind=2, bits=24, pixels=b"", descriptor=0x20, map_entries=0, map_bits=0, map_first=0):
    header = struct.pack("<BBBHHBHHHHBB", 0, 1 if map_entries else 0, kind, map_first, map_entries, map_bits,
                         0, 0, width, height, bits, descriptor)
    return header + pixels


footer = struct.pack("<II", 0, 0) + b"TRUEVISION-XFILE.\0"
put("tga-no-footer-pixels-truncated.tga", tga_bare(16, 16, pixels=bytes(rng_tga.randrange(256) for _ in range(500))))
put("tga-no-footer-rle-truncated-in-packet.tga", tga_bare(8, 8, kind=10, pixels=b"\x83\x10\x20\x30\x05\x40\x50"))
put("tga-16384x16384-rle-truncated.tga", tga_bare(16384, 16384, kind=10, bits=32, pixels=b"\xff\x01\x02\x03\x04" * 4))
put("tga-colour-map-truncated.tga", tga_bare(4, 4, kind=1, bits=8, map_entries=256, map_bits=24, pixels=b"\0" * 10) + footer)
put("tga-colour-map-bits-7.tga", tga_bare(4, 4, kind=1, bits=8, map_entries=2, map_bits=7, pixels=b"\0" * 20) + footer)
put("tga-colour-mapped-without-map.tga", tga_bare(4, 4, kind=9, bits=8, pixels=b"\x8f\x00") + footer)
put("tga-no-footer-indices-past-map.tga", tga_bare(4, 4, kind=1, bits=8, map_entries=2, map_bits=24, map_first=5,
                                                   pixels=b"\0\0\xff\xff\0\0" + bytes(rng_tga.randrange(256) for _ in range(16))))


# --- DDS -------------------------------------------------------------------
rng_dds = random.Random(20270113)


def dds(width, height, fourcc=b"DXT1", mipmaps=1, data=b"", size=124, format_size=32, format_flags=0x4,
        rgb_bits=0, masks=(0, 0, 0, 0), pitch=None):
    if pitch is None:
        pitch = max(1, (width + 3) // 4) * max(1, (height + 3) // 4) * 8
    header = struct.pack("<7I", size, 0xA1007, height, width, pitch, 0, mipmaps) + b"\0" * 44
    header += struct.pack("<II4s5I", format_size, format_flags, fourcc, rgb_bits, *masks)
    header += struct.pack("<5I", 0x401008 if mipmaps > 1 else 0x1000, 0, 0, 0, 0)
    return b"DDS " + header + data


def blocks(count, size=8):
    return bytes(rng_dds.randrange(256) for _ in range(count * size))


good_dds = dds(16, 16, mipmaps=5, data=blocks(16 + 4 + 1 + 1 + 1))
put("dds-60000x60000.dds", dds(60000, 60000, data=blocks(4)))
put("dds-16384x16384-truncated.dds", dds(16384, 16384, data=blocks(64)))
put("dds-width-zero.dds", dds(0, 16, data=blocks(4)))
put("dds-header-size-0.dds", dds(16, 16, size=0, data=blocks(16)))
put("dds-pixel-format-size-0.dds", dds(16, 16, format_size=0, data=blocks(16)))
put("dds-header-truncated.dds", good_dds[:60])
put("dds-top-level-truncated.dds", good_dds[: 128 + 100])
put("dds-mipmaps-truncated.dds", good_dds[:-4])
put("dds-mipmap-count-40.dds", dds(16, 16, mipmaps=40, data=blocks(23)))
put("dds-mipmap-count-huge.dds", dds(16, 16, mipmaps=0xFFFFFFFF, data=blocks(23)))
put("dds-pitch-huge.dds", dds(16, 16, pitch=0xFFFFFFFF, data=blocks(16)))
put("dds-fourcc-ati2.dds", dds(16, 16, fourcc=b"ATI2", data=blocks(16, 16)))
put("dds-fourcc-not-text.dds", dds(16, 16, fourcc=b"\x01\x02\x03\xff", data=blocks(16, 16)))
put("dds-dx10-header.dds", dds(16, 16, fourcc=b"DX10", data=struct.pack("<5I", 71, 3, 0, 1, 0) + blocks(16)))
put("dds-rgb-bits-16.dds", dds(4, 4, fourcc=b"\0\0\0\0", format_flags=0x40, rgb_bits=16,
                               masks=(0xF800, 0x07E0, 0x001F, 0), data=blocks(4)))
put("dds-rgb-masks-overlapping.dds", dds(4, 4, fourcc=b"\0\0\0\0", format_flags=0x41, rgb_bits=32,
                                         masks=(0xFF0000, 0xFFFF00, 0xFF, 0xFF000000), data=blocks(8)))
put("dds-rgb-mask-past-pixel.dds", dds(4, 4, fourcc=b"\0\0\0\0", format_flags=0x40, rgb_bits=24,
                                       masks=(0xFF000000, 0xFF00, 0xFF, 0), data=blocks(6)))
put("dds-luminance.dds", dds(4, 4, fourcc=b"\0\0\0\0", format_flags=0x20000, rgb_bits=8,
                             masks=(0xFF, 0, 0, 0), data=blocks(2)))

# A placeable metafile whose box is 30000 units at 48 to the inch: 60000 pixels a side.
wmf_placeable = struct.pack("<IH4hHIH", 0x9AC6CDD7, 0, 0, 0, 30000, 30000, 48, 0, 0)
wmf_records = struct.pack("<IH", 3, 0)  # the EOF record
put("wmf-placeable-60000x60000.wmf", wmf_placeable
    + struct.pack("<HHHIHIH", 1, 9, 0x300, (18 + len(wmf_records)) // 2, 0, 3, 0) + wmf_records)

os.makedirs(OUT, exist_ok=True)
for name, data in files.items():
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(data)
print(f"{len(files)} files in {OUT}")

#!/usr/bin/python3
# Makes the DDS files of this folder and of ../../data (the malformed ones)
# with their reference pictures. Plain pixels are packed from plasma.png by
# the format's description, their references the packed levels scaled back
# to 8 bits; DXT1 and DXT5 blocks are ImageMagick's, BC4 to BC7 blocks are
# random; the references of blocks are python3-pil's decodes, except for the
# signed BC4 and BC5 forms, which python3-pil maps to [63, 191], and which
# are decoded here by the format's description.
#   cd tests/convert/pictures/dds && /usr/bin/python3 make.py
import os, random, struct, subprocess, tempfile
import numpy as np
from PIL import Image

here = os.path.dirname(os.path.abspath(__file__))
data = os.path.join(here, '..', '..', 'data')
random.seed(20261209)
src = np.array(Image.open(os.path.join(here, '..', 'plasma.png')).convert('RGB'), dtype=np.int64)
H, W = src.shape[:2]
alpha = (np.add.outer(np.arange(H) * 255 // (H - 1), np.zeros(W, dtype=np.int64)) ^ (np.arange(W) * 5 % 256)) & 255
rgba = np.dstack([src, alpha])

def header(w, h, flags, fourcc=0, bits=0, masks=(0, 0, 0, 0), mips=0, depth=0, caps2=0):
    cc = fourcc if isinstance(fourcc, int) else struct.unpack('<I', fourcc)[0]
    return (b'DDS ' + struct.pack('<7I', 124, 0x100f | (0x20000 if mips else 0), h, w, 0, depth, mips)
            + b'\0' * 44 + struct.pack('<8I', 32, flags, cc, bits, *masks)
            + struct.pack('<5I', 0x1000, caps2, 0, 0, 0))

def dx10(w, h, dxgi, dim=3, misc=0, array=1, depth=0):
    return header(w, h, 4, b'DX10', depth=depth) + struct.pack('<5I', dxgi, dim, misc, array, 0)

def save(name, head, body, ref=None, folder=here):
    with open(os.path.join(folder, name), 'wb') as f:
        f.write(head + body)
    if ref is not None:
        ref.save(os.path.join(here, name[:-4] + '.png'))

def pack(picture, masks, nbytes):
    """Pixels packed by masks (r, g, b, a) from an H x W x 4 array; the levels each keeps, scaled back."""
    word = np.zeros(picture.shape[:2], dtype=np.int64)
    back = np.zeros(picture.shape, dtype=np.int64)
    for c, m in enumerate(masks):
        if m == 0:
            continue
        shift = (m & -m).bit_length() - 1
        top = m >> shift
        q = (picture[..., c] * top + 127) // 255
        word |= q << shift
        back[..., c] = (q * 255 + top // 2) // top
    raw = word.astype('<u4').tobytes()
    return b''.join(raw[i:i + nbytes] for i in range(0, len(raw), 4)), back

def img(array, mode):
    return Image.fromarray(array.astype(np.uint8), mode)

RGB, LUM, ALPHA, ALPHAPIX = 0x40, 0x20000, 0x2, 0x1
plain = [  # name, flags, bits, masks (r, g, b, a)
    ('rgb24', RGB, 24, (0xff0000, 0xff00, 0xff, 0)),
    ('argb32', RGB | ALPHAPIX, 32, (0xff0000, 0xff00, 0xff, 0xff000000)),
    ('xrgb32', RGB, 32, (0xff0000, 0xff00, 0xff, 0)),
    ('abgr32', RGB | ALPHAPIX, 32, (0xff, 0xff00, 0xff0000, 0xff000000)),
    ('rgb565', RGB, 16, (0xf800, 0x7e0, 0x1f, 0)),
    ('argb1555', RGB | ALPHAPIX, 16, (0x7c00, 0x3e0, 0x1f, 0x8000)),
    ('xrgb1555', RGB, 16, (0x7c00, 0x3e0, 0x1f, 0)),
    ('argb4444', RGB | ALPHAPIX, 16, (0xf00, 0xf0, 0xf, 0xf000)),
    ('rgb332', RGB, 8, (0xe0, 0x1c, 0x3, 0)),
    ('l8', LUM, 8, (0xff, 0, 0, 0)),
    ('l16', LUM, 16, (0xffff, 0, 0, 0)),
    ('a8l8', LUM | ALPHAPIX, 16, (0xff, 0, 0, 0xff00)),
    ('a4l4', LUM | ALPHAPIX, 8, (0xf, 0, 0, 0xf0)),
    ('a8', ALPHA, 8, (0, 0, 0, 0xff)),
]
grey = np.dstack([src.mean(axis=2).astype(np.int64)] * 3 + [alpha])
for name, flags, bits, masks in plain:
    picture = grey if flags & (LUM | ALPHA) else rgba
    body, back = pack(picture, masks, bits // 8)
    if flags & ALPHA:
        ref = img(back[..., 3], 'L')
    elif flags & LUM:
        ref = img(np.dstack([back[..., 0], back[..., 3]]), 'LA') if masks[3] else img(back[..., 0], 'L')
    else:
        ref = img(back, 'RGBA') if masks[3] else img(back[..., :3], 'RGB')
    save(name + '.dds', header(W, H, flags, 0, bits, masks), body, ref)

dxgi_plain = [  # name, DXGI format, bytes, masks, signed
    ('dx10-r8g8b8a8-unorm', 28, 4, (0xff, 0xff00, 0xff0000, 0xff000000), False),
    ('dx10-r8g8b8a8-srgb', 29, 4, (0xff, 0xff00, 0xff0000, 0xff000000), False),
    ('dx10-r8g8b8a8-typeless', 27, 4, (0xff, 0xff00, 0xff0000, 0xff000000), False),
    ('dx10-r8g8b8a8-snorm', 31, 4, (0xff, 0xff00, 0xff0000, 0xff000000), True),
    ('dx10-r10g10b10a2-unorm', 24, 4, (0x3ff, 0xffc00, 0x3ff00000, 0xc0000000), False),
    ('dx10-b8g8r8a8-unorm', 87, 4, (0xff0000, 0xff00, 0xff, 0xff000000), False),
    ('dx10-b8g8r8x8-srgb', 93, 4, (0xff0000, 0xff00, 0xff, 0), False),
    ('dx10-b5g6r5-unorm', 85, 2, (0xf800, 0x7e0, 0x1f, 0), False),
    ('dx10-b5g5r5a1-unorm', 86, 2, (0x7c00, 0x3e0, 0x1f, 0x8000), False),
    ('dx10-b4g4r4a4-unorm', 115, 2, (0xf00, 0xf0, 0xf, 0xf000), False),
    ('dx10-r8g8-unorm', 49, 2, (0xff, 0xff00, 0, 0), False),
    ('dx10-r8g8-snorm', 51, 2, (0xff, 0xff00, 0, 0), True),
    ('dx10-r8-unorm', 61, 1, (0xff, 0, 0, 0), False),
    ('dx10-r8-snorm', 63, 1, (0xff, 0, 0, 0), True),
    ('dx10-a8-unorm', 65, 1, (0, 0, 0, 0xff), False),
]
def snorm(levels):
    s = np.where(levels >= 128, levels - 256, levels)
    return (np.maximum(s, -127) + 127) * 255 // 254
for name, code, nbytes, masks, signed in dxgi_plain:
    body, back = pack(rgba, masks, nbytes)
    if signed:
        for c, m in enumerate(masks):
            if m:
                back[..., c] = snorm(back[..., c])
    if masks[3] and not any(masks[:3]):
        ref = img(back[..., 3], 'L')
    elif not masks[1]:
        ref = img(back[..., 0], 'L')
    else:
        ref = img(back, 'RGBA') if masks[3] else img(back[..., :3], 'RGB')
    save(name + '.dds', dx10(W, H, code), body, ref)

# DXT1 and DXT5 as ImageMagick writes them; the same blocks under the DX10 header.
def magick(picture, compression):
    with tempfile.TemporaryDirectory() as tmp:
        png, dds = os.path.join(tmp, 'in.png'), os.path.join(tmp, 'out.dds')
        picture.save(png)
        subprocess.run(['/usr/bin/convert', png, '-define', 'dds:compression=' + compression,
                        '-define', 'dds:mipmaps=0', dds], check=True)
        return open(dds, 'rb').read()[128:]

def pil(name, mode=None):
    picture = Image.open(os.path.join(here, name))
    picture.load()
    if mode is None and picture.mode == 'RGBA' and picture.getextrema()[3] == (255, 255):
        mode = 'RGB'
    return picture.convert(mode) if mode else picture

dxt1 = magick(img(src, 'RGB'), 'dxt1')
save('dxt1.dds', header(W, H, 4, b'DXT1'), dxt1)
pil('dxt1.dds').save(os.path.join(here, 'dxt1.png'))
dxt5 = magick(img(rgba, 'RGBA'), 'dxt5')
save('dxt5.dds', header(W, H, 4, b'DXT5'), dxt5)
pil('dxt5.dds').save(os.path.join(here, 'dxt5.png'))
save('dx10-bc1-unorm.dds', dx10(W, H, 71), dxt1)
save('dx10-bc3-unorm-srgb.dds', dx10(W, H, 78), dxt5)
bc2 = open(os.path.join(here, 'dxt3.dds'), 'rb').read()
save('dx10-bc2-typeless.dds', dx10(8, 4, 73), bc2[128:])

# DXT4 and DXT2: blocks of colours multiplied by their opacity.
premultiplied = np.dstack([rgba[..., :3] * alpha[..., None] // 255, alpha])
dxt4 = magick(img(premultiplied, 'RGBA'), 'dxt5')
save('dxt4.dds', header(W, H, 4, b'DXT4'), dxt4)
explicit = (alpha * 15 + 127) // 255
dxt2 = b''
for by in range(0, H, 4):
    for bx in range(0, W, 4):
        nibbles = explicit[by:by + 4, bx:bx + 4].flatten()
        dxt2 += bytes(int(nibbles[i]) | int(nibbles[i + 1]) << 4 for i in range(0, 16, 2))
        i = (by // 4 * (W // 4) + bx // 4) * 16
        dxt2 += dxt4[i + 8:i + 16]
save('dxt2.dds', header(W, H, 4, b'DXT2'), dxt2)
for name, fourcc, body in (('dxt4', b'DXT5', dxt4), ('dxt2', b'DXT3', dxt2)):
    save('tmp.dds', header(W, H, 4, fourcc), body)
    p = np.array(pil('tmp.dds', 'RGBA'), dtype=np.int64)
    a = p[..., 3:4]
    straight = np.where(a == 0, 0, np.minimum(255, (p[..., :3] * 255 + a // 2) // np.maximum(a, 1)))
    img(np.dstack([straight, p[..., 3]]), 'RGBA').save(os.path.join(here, name + '.png'))
os.remove(os.path.join(here, 'tmp.dds'))

# BC4 to BC7: random blocks, 12 x 8 of them.
blocks8 = bytes(random.getrandbits(8) for _ in range(W * H // 2))
blocks16 = bytes(random.getrandbits(8) for _ in range(W * H))
# Signed BC6H only in the two modes whose endpoints are not deltas: python3-pil
# does not extend the sign of endpoints made from deltas.
untransformed = bytes(b & 0xe0 | (0x03 if i % 32 else 0x1e) if i % 16 == 0 else b for i, b in enumerate(blocks16))
for name, head, body, ref in (
        ('ati1', header(W, H, 4, b'ATI1'), blocks8, 'ati1'),
        ('bc4u', header(W, H, 4, b'BC4U'), blocks8, 'ati1'),
        ('dx10-bc4-unorm', dx10(W, H, 80), blocks8, 'ati1'),
        ('ati2', header(W, H, 4, b'ATI2'), blocks16, 'ati2'),
        ('bc5u', header(W, H, 4, b'BC5U'), blocks16, 'ati2'),
        ('dx10-bc5-typeless', dx10(W, H, 82), blocks16, 'ati2'),
        ('dx10-bc6h-uf16', dx10(W, H, 95), blocks16, 'dx10-bc6h-uf16'),
        ('dx10-bc6h-sf16', dx10(W, H, 96), untransformed, 'dx10-bc6h-sf16'),
        ('dx10-bc7-unorm', dx10(W, H, 98), blocks16, 'dx10-bc7-unorm'),
        ('dx10-bc7-unorm-srgb', dx10(W, H, 99), blocks16, 'dx10-bc7-unorm'),
        ('dx10-bc7-typeless', dx10(W, H, 97), blocks16, 'dx10-bc7-unorm')):
    save(name + '.dds', head, body)
    if ref == name:
        picture = pil(name + '.dds')
        (picture.convert('RGB') if picture.mode == 'RGBA' and name.startswith('dx10-bc6h') else picture).save(
            os.path.join(here, name + '.png'))

def signed_values(block):
    """A BC4 block's 16 values by the format's description, signed."""
    a, b = (x - 256 if x >= 128 else x for x in block[:2])
    if a > b:
        values = [a, b] + [((7 - i) * a + i * b) // 7 if (7 - i) * a + i * b >= 0 else -((-((7 - i) * a + i * b)) // 7) for i in range(1, 7)]
    else:
        values = [a, b] + [int(((5 - i) * a + i * b) / 5) for i in range(1, 5)] + [-127, 127]
    bits = int.from_bytes(block[2:8], 'little')
    return [(max(values[bits >> (3 * i) & 7], -127) + 127) * 255 // 254 for i in range(16)]

def signed_picture(body, channels):
    out = np.zeros((H, W, 3), dtype=np.int64)
    step = 8 * channels
    for n in range(len(body) // step):
        by, bx = n // (W // 4) * 4, n % (W // 4) * 4
        for c in range(channels):
            out[by:by + 4, bx:bx + 4, c] = np.array(signed_values(body[n * step + 8 * c:n * step + 8 * c + 8])).reshape(4, 4)
    return out
img(signed_picture(blocks8, 1)[..., 0], 'L').save(os.path.join(here, 'bc4s.png'))
img(signed_picture(blocks16, 2), 'RGB').save(os.path.join(here, 'bc5s.png'))
save('bc4s.dds', header(W, H, 4, b'BC4S'), blocks8)
save('dx10-bc4-snorm.dds', dx10(W, H, 81), blocks8)
save('bc5s.dds', header(W, H, 4, b'BC5S'), blocks16)
save('dx10-bc5-snorm.dds', dx10(W, H, 84), blocks16)

# Several surfaces: the first face, layer or slice is the picture.
rgb24 = pack(rgba, (0xff0000, 0xff00, 0xff, 0), 3)[0]
other = pack(255 - rgba, (0xff0000, 0xff00, 0xff, 0), 3)[0]
def chain(picture_bytes, levels):  # a level's bytes repeated at the sizes of a chain, as filler
    w, h, out = W, H, b''
    for _ in range(levels):
        out += (picture_bytes * 2)[:w * h * 3]
        w, h = max(1, w // 2), max(1, h // 2)
    return out
save('cube-mipmaps.dds', header(W, H, RGB, 0, 24, (0xff0000, 0xff00, 0xff, 0), mips=6, caps2=0xfe00),
     rgb24 + chain(rgb24, 6)[W * H * 3:] + chain(other, 6) * 5)
save('volume.dds', header(W, H, RGB, 0, 24, (0xff0000, 0xff00, 0xff, 0), depth=3, caps2=0x200000), rgb24 + other * 2)
save('dx10-array.dds', dx10(W, H, 71, array=3), dxt1 + bytes(reversed(dxt1)) * 2)
save('dx10-cube.dds', dx10(W, H, 71, misc=4), dxt1 + bytes(reversed(dxt1)) * 5)

# Malformed: the DX10 header's fields, and the other refusals of the reader.
one = dxt1[:W * H // 2]
save('dds-dx10-array-size-0.dds', dx10(W, H, 71, array=0), one, folder=data)
save('dds-dx10-dimension-buffer.dds', dx10(W, H, 71, dim=1), one, folder=data)
save('dds-dx10-volume-cube.dds', dx10(W, H, 71, dim=4, misc=4, depth=1), one, folder=data)
save('dds-dx10-format-unknown.dds', dx10(W, H, 200), one, folder=data)
save('dds-dx10-format-float.dds', dx10(W, H, 10), one, folder=data)
save('dds-dx10-array-truncated.dds', dx10(W, H, 71, array=2), one, folder=data)
save('dds-dx10-array-size-huge.dds', dx10(W, H, 71, array=0xffffffff), one, folder=data)
save('dds-dx10-header-truncated.dds', dx10(W, H, 71)[:140], b'', folder=data)
save('dds-cube-faces-truncated.dds', header(W, H, RGB, 0, 24, (0xff0000, 0xff00, 0xff, 0), caps2=0xfe00), rgb24 * 5, folder=data)
save('dds-cube-no-faces.dds', header(W, H, RGB, 0, 24, (0xff0000, 0xff00, 0xff, 0), caps2=0x200), rgb24, folder=data)
save('dds-volume-depth-huge.dds', header(W, H, RGB, 0, 24, (0xff0000, 0xff00, 0xff, 0), depth=0xffffffff, caps2=0x200000), rgb24, folder=data)
save('dds-fourcc-d3d-half-float.dds', header(W, H, 4, 113), one, folder=data)
save('dds-yuv.dds', header(W, H, 0x200, 0, 16, (0, 0, 0, 0)), one, folder=data)
save('dds-rgb-bits-12.dds', header(W, H, RGB, 0, 12, (0xf00, 0xf0, 0xf, 0)), one, folder=data)
save('dds-luminance-mask-zero.dds', header(W, H, LUM, 0, 8, (0, 0, 0, 0)), one, folder=data)
save('dds-dx10-cube-truncated.dds', dx10(W, H, 71, misc=4), one * 5, folder=data)
save('dds-volume-truncated.dds', header(W, H, RGB, 0, 24, (0xff0000, 0xff00, 0xff, 0), depth=4, caps2=0x200000), rgb24 * 3, folder=data)

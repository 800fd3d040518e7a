#!/bin/bash
# Regenerates the xiyao artwork (PNG files) in this directory.
#
# Everything is drawn procedurally; there are no source images.
# Requirements (Debian 12):
#   apt-get install -y python3-pil python3-numpy fonts-wqy-microhei \
#                      fonts-arphic-uming fonts-urw-base35
#
# All pictures except the icons are drawn at twice their logical size; the
# program scales them down/stretches them. Each picture the program shows also
# comes as NAME@2x.png, drawn again at twice the size of NAME.png, for screens
# of device pixel ratio 2 and more (resources/Artwork.h picks it).
set -euo pipefail
cd "$(dirname "$0")"

PY=""
for c in /usr/bin/python3 python3; do
    if command -v "$c" >/dev/null 2>&1 && "$c" -c 'import PIL, numpy' 2>/dev/null; then
        PY="$c"; break
    fi
done
if [ -z "$PY" ]; then
    echo "make-artwork.sh: needs python3 with PIL and numpy (python3-pil, python3-numpy)" >&2
    exit 1
fi

exec "$PY" - <<'PYEOF'
import os
import numpy as np
from PIL import Image, ImageDraw, ImageFont

# ---------------------------------------------------------------- fonts
def first_existing(*paths):
    for p in paths:
        if os.path.exists(p):
            return p
    raise SystemExit("missing font, tried: " + ", ".join(paths))

HEI = first_existing("/usr/share/fonts/truetype/wqy/wqy-microhei.ttc",
                     "/usr/share/fonts/truetype/wqy/wqy-zenhei.ttc")
MING = first_existing("/usr/share/fonts/truetype/arphic/uming.ttc",
                      "/usr/share/fonts/truetype/arphic/ukai.ttc")
LATIN = first_existing("/usr/share/fonts/opentype/urw-base35/P052-Roman.otf",
                       "/usr/share/fonts/opentype/urw-base35/C059-Roman.otf",
                       "/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf")

def font(path, size, index=0):
    return ImageFont.truetype(path, size, index=index)

# ---------------------------------------------------------------- colors
def hexc(s):
    s = s.lstrip("#")
    return np.array([int(s[i:i + 2], 16) for i in (0, 2, 4)], dtype=np.float64)

INK = hexc("#1a2a4a")          # deep blue-black used for all lettering
WHITE = np.array([255.0, 255.0, 255.0])

# ---------------------------------------------------------------- helpers
def circ_blur(a, length, axis):
    """Box blur with wrap-around (keeps textures tileable)."""
    n = a.shape[axis]
    k = np.zeros(n)
    idx = (np.arange(length) - length // 2) % n
    np.add.at(k, idx, 1.0 / length)
    shape = [1, 1]
    shape[axis] = n
    kf = np.fft.fft(k).reshape(shape)
    return np.real(np.fft.ifft(np.fft.fft(a, axis=axis) * kf, axis=axis))

def normalise(a):
    a = a - a.mean()
    return a / (a.std() + 1e-9)

def finer(noise, s, detail, axes=(0, 1)):
    """White noise s times finer along the given axes whose s-pixel blocks
    average to the given noise: the @2x picture keeps the 1x picture's grain
    and adds its own fine detail. Unit variance, uncorrelated, like the input."""
    if s == 1:
        return noise
    reps = [s if axis in axes else 1 for axis in (0, 1)]
    def spread(a):
        return np.repeat(np.repeat(a, reps[0], 0), reps[1], 1)
    h, w = noise.shape
    e = detail.standard_normal((h * reps[0], w * reps[1]))
    block_mean = e.reshape(h, reps[0], w, reps[1]).mean(axis=(1, 3))
    return spread(noise) / np.sqrt(reps[0] * reps[1]) + e - spread(block_mean)

def brushed_field(w, h, seed, fine=28, coarse=150, s=1):
    """Zero-mean, unit-variance field of horizontal brushed streaks, w x h
    pixels at 1x and s times that in each direction at scale s.
    Periodic in both directions, so it tiles seamlessly."""
    rng = np.random.default_rng(seed)
    detail = np.random.default_rng([seed, s])   # drawn from only at s > 1
    f1 = normalise(circ_blur(finer(rng.standard_normal((h, w)), s, detail), min(fine, w) * s, 1))
    f2 = normalise(circ_blur(finer(rng.standard_normal((h, w)), s, detail), min(coarse, w) * s, 1))
    rows = normalise(circ_blur(finer(rng.standard_normal((h, 1)), s, detail, axes=(0,)), 3 * s, 0))
    f = f1 + 0.7 * f2 + 0.45 * rows
    # a touch of vertical softening so streaks are not 1 px hard lines: a
    # triangle two 1x pixels wide ([1, 2, 1] / 4 at 1x), summed in the order
    # that keeps the 1x pictures the same to the last bit
    f = sum((2 * s - abs(d)) / (4 * s * s) * np.roll(f, d, 0) for d in range(2 * s - 1, -2 * s, -1))
    return normalise(f)

def shift(a, dx, dy):
    """Shift a 2-D array by whole pixels, filling with zeros."""
    out = np.zeros_like(a)
    h, w = a.shape
    xs0, xs1 = max(0, -dx), min(w, w - dx)
    ys0, ys1 = max(0, -dy), min(h, h - dy)
    out[ys0 + dy:ys1 + dy, xs0 + dx:xs1 + dx] = a[ys0:ys1, xs0:xs1]
    return out

def rrect_mask(w, h, box, radius, ss=4):
    """Anti-aliased rounded-rectangle coverage mask (floats 0..1).
    box = (x0, y0, x1, y1) in pixel-edge coordinates."""
    img = Image.new("L", (w * ss, h * ss), 0)
    d = ImageDraw.Draw(img)
    x0, y0, x1, y1 = box
    d.rounded_rectangle((x0 * ss, y0 * ss, x1 * ss - 1, y1 * ss - 1),
                        radius=radius * ss, fill=255)
    img = img.resize((w, h), Image.BOX)
    return np.asarray(img, dtype=np.float64) / 255.0

def ellipse_mask(w, h, box, ss=4):
    img = Image.new("L", (w * ss, h * ss), 0)
    d = ImageDraw.Draw(img)
    x0, y0, x1, y1 = box
    d.ellipse((x0 * ss, y0 * ss, x1 * ss - 1, y1 * ss - 1), fill=255)
    img = img.resize((w, h), Image.BOX)
    return np.asarray(img, dtype=np.float64) / 255.0

def blend(rgb, color, alpha):
    """rgb: HxWx3 float, color: 3-vector or HxWx3, alpha: HxW."""
    a = np.clip(alpha, 0.0, 1.0)[..., None]
    return rgb * (1.0 - a) + np.asarray(color, dtype=np.float64) * a

def vgrad(h, top, bottom, w=1):
    t = np.linspace(0.0, 1.0, h)[:, None, None]
    return (np.asarray(top) * (1 - t) + np.asarray(bottom) * t) * np.ones((1, w, 1))

def blur(a, r):
    """Small separable box blur (not wrapping)."""
    if r <= 0:
        return a
    k = 2 * r + 1
    p = np.pad(a, r, mode="edge")
    c = np.cumsum(np.cumsum(p, 0), 1)
    c = np.pad(c, ((1, 0), (1, 0)))
    return (c[k:, k:] - c[:-k, k:] - c[k:, :-k] + c[:-k, :-k]) / (k * k)

def text_mask(text, fnt, stroke=0, spacing=0):
    """Tight ink mask (float 0..1) of a string, optional extra letter spacing."""
    chars = list(text) if spacing else [text]
    pieces = []
    for ch in chars:
        if ch == " " and spacing:
            pieces.append(None)
            continue
        big = Image.new("L", (fnt.size * (len(ch) + 2) + 40, fnt.size * 3), 0)
        ImageDraw.Draw(big).text((20, fnt.size), ch, font=fnt, fill=255,
                                 stroke_width=stroke, stroke_fill=255)
        pieces.append(big)
    if not spacing:
        img = pieces[0]
        bb = img.getbbox()
        return np.asarray(img.crop(bb), dtype=np.float64) / 255.0
    # per-glyph layout using advance widths so the baseline is shared
    x = 20
    total = Image.new("L", (int(sum(fnt.getlength(c) + spacing for c in text)) + 80 + 4 * stroke * len(text),
                            fnt.size * 3), 0)
    d = ImageDraw.Draw(total)
    for ch in text:
        d.text((x, fnt.size), ch, font=fnt, fill=255, stroke_width=stroke, stroke_fill=255)
        x += fnt.getlength(ch) + spacing
    bb = total.getbbox()
    return np.asarray(total.crop(bb), dtype=np.float64) / 255.0

def place(mask, w, h, cx, cy):
    """Put a small mask into a w x h canvas, centred at (cx, cy)."""
    out = np.zeros((h, w))
    mh, mw = mask.shape
    x0 = int(round(cx - mw / 2.0))
    y0 = int(round(cy - mh / 2.0))
    out[y0:y0 + mh, x0:x0 + mw] = mask
    return out

def to_image(rgb, alpha=None):
    rgb = np.clip(np.round(rgb), 0, 255).astype(np.uint8)
    if alpha is None:
        return Image.fromarray(rgb, "RGB")
    a = np.clip(np.round(alpha * 255), 0, 255).astype(np.uint8)
    return Image.fromarray(np.dstack([rgb, a]), "RGBA")

def at_scale(name, s):
    """background.png at 1x, background@2x.png at 2x."""
    return name if s == 1 else name[:-len(".png")] + "@%dx.png" % s

def save(img, name, palette=False):
    if palette and img.mode == "RGB":
        n = len(img.getcolors(1 << 16) or [])
        if 0 < n <= 256:
            img = img.quantize(colors=n, method=Image.Quantize.MEDIANCUT,
                               dither=Image.Dither.NONE)
    img.save(name, optimize=True)
    print("wrote %-24s %dx%d" % (name, img.size[0], img.size[1]))

# ---------------------------------------------------------------- silver plate
def silver_plate(w1, h1, radius, seed, top="#eef0f2", bottom="#c3c8ce",
                 border="#5d646d", streak=3.2, bevel=2, s=1):
    """Raised brushed-steel plate with a bevelled edge, w1 x h1 at 1x.
    Returns (rgb float HxWx3, alpha HxW, inner-face mask HxW)."""
    w, h, b = w1 * s, h1 * s, bevel * s
    outer = rrect_mask(w, h, (0, 0, w, h), radius * s)
    inner = rrect_mask(w, h, (b, b, w - b, h - b), max(1, radius - bevel) * s)
    f = brushed_field(w1, h1, seed, fine=24, coarse=min(120, w1), s=s)
    face = vgrad(h, hexc(top), hexc(bottom), w) + streak * f[..., None]
    # soft horizontal sheen band a third of the way down
    y = np.linspace(0, 1, h)[:, None]
    sheen = np.exp(-((y - 0.30) / 0.22) ** 2)
    face = blend(face, WHITE, 0.22 * sheen * np.ones((1, w)))
    rgb = np.ones((h, w, 3)) * hexc(border)
    rgb = blend(rgb, face, inner)
    # bevel: bright top/left rim, dark bottom/right rim, in two softness steps
    for k, a_hi, a_lo in ((2 * s, 0.85, 0.55), (4 * s, 0.30, 0.22)):
        hi = inner * (1.0 - shift(inner, k, k))
        lo = inner * (1.0 - shift(inner, -k, -k))
        rgb = blend(rgb, WHITE, a_hi * hi)
        rgb = blend(rgb, hexc("#6f767f"), a_lo * lo)
    return rgb, outer, inner

def stamp_text(rgb, mask, color=INK, light=0.75, shadow=0.0, s=1):
    """Dark lettering pressed into metal: a light lip below-right, optional
    faint shadow above-left, then the ink itself."""
    if shadow:
        rgb = blend(rgb, hexc("#5a6068"), shadow * shift(mask, -s, -s) * (1 - mask))
    rgb = blend(rgb, WHITE, light * shift(mask, s, 2 * s) * (1 - mask))
    return blend(rgb, color, mask)

# ================================================================ 1. background
def make_background(s=1):
    W = H = 512
    f = brushed_field(W, H, 11, fine=36, coarse=220, s=s)
    # extra micro-grain
    rng = np.random.default_rng(12)
    g = normalise(circ_blur(finer(rng.standard_normal((H, W)), s, np.random.default_rng([12, s])), 9 * s, 1))
    f = normalise(f + 0.35 * g)
    lo, hi = hexc("#d4d8dc"), hexc("#e6e9ec")
    t = np.clip((f + 2.6) / 5.2, 0, 1)
    # quantise to a small set of steps along the lo..hi ramp: keeps the file small
    steps = 24
    t = np.round(t * (steps - 1)) / (steps - 1)
    rgb = lo * (1 - t[..., None]) + hi * t[..., None]
    save(to_image(rgb), at_scale("background.png", s), palette=True)

# ================================================================ 2. buttons
BUTTONS = [
    ("button_chazhao.png", "查找"),
    ("button_dayin.png", "打印"),
    ("button_tuichu.png", "退出"),
    ("button_jiaru.png", "加入"),
    ("button_xiugai.png", "修改"),
    ("button_shanchu.png", "删除"),
    ("button_shangfan.png", "上翻"),
    ("button_xiafan.png", "下翻"),
    ("button_bianji.png", "编辑"),
]

def make_buttons(s=1):
    W, H = 162 * s, 62 * s
    fnt = font(HEI, 31 * s)
    for i, (name, word) in enumerate(BUTTONS):
        rgb, alpha, inner = silver_plate(162, 62, 7, 100 + i, s=s)
        # the two characters are set with a space between them
        m = text_mask(word[0] + " " + word[1], fnt, stroke=s, spacing=4 * s)
        m = place(m, W, H, W / 2.0, H / 2.0 + 0.5 * s)
        rgb = stamp_text(rgb, m, light=0.8, shadow=0.12, s=s)
        save(to_image(rgb, alpha), at_scale(name, s))

# ================================================================ 3. product name
def erode(m, s):
    """Shrink a mask by s pixels (a diamond of radius s)."""
    for _ in range(s):
        m = np.minimum.reduce([m, shift(m, 1, 0), shift(m, -1, 0), shift(m, 0, 1), shift(m, 0, -1)])
    return m

def green_cross_emblem(rgb, w, h, cx, cy, r, s=1):
    """Recessed round medallion holding a raised green pharmacy cross.
    w, h, cx, cy and r are at scale s already."""
    disc = ellipse_mask(w, h, (cx - r, cy - r, cx + r, cy + r))
    rim_in = ellipse_mask(w, h, (cx - r + 4 * s, cy - r + 4 * s, cx + r - 4 * s, cy + r - 4 * s))
    yy, xx = np.mgrid[0:h, 0:w].astype(np.float64)
    # outer ring: polished steel, lit from top
    ring = vgrad(h, hexc("#f4f6f8"), hexc("#9aa1a9"), w)
    rgb = blend(rgb, ring, disc)
    rgb = blend(rgb, hexc("#4b525b"), 0.9 * (disc - ellipse_mask(w, h, (cx - r + 1.5 * s, cy - r + 1.5 * s, cx + r - 1.5 * s, cy + r - 1.5 * s))))
    # recessed well: darker at top-left (shadow), lighter at bottom-right
    well = vgrad(h, hexc("#c9ced4"), hexc("#e9ecef"), w)
    rgb = blend(rgb, well, rim_in)
    inner_sh = rim_in * (1 - shift(rim_in, 3 * s, 3 * s))
    rgb = blend(rgb, hexc("#6d747d"), 0.7 * inner_sh)
    inner_hi = rim_in * (1 - shift(rim_in, -2 * s, -2 * s))
    rgb = blend(rgb, WHITE, 0.8 * inner_hi)
    # the cross
    a = r * 0.62          # half length
    b = r * 0.22          # half thickness
    ss = 4
    img = Image.new("L", (w * ss, h * ss), 0)
    d = ImageDraw.Draw(img)
    rr = 3 * s * ss
    d.rounded_rectangle(((cx - a) * ss, (cy - b) * ss, (cx + a) * ss, (cy + b) * ss), radius=rr, fill=255)
    d.rounded_rectangle(((cx - b) * ss, (cy - a) * ss, (cx + b) * ss, (cy + a) * ss), radius=rr, fill=255)
    cross = np.asarray(img.resize((w, h), Image.BOX), dtype=np.float64) / 255.0
    # drop shadow of the cross inside the well
    sh = blur(shift(cross, 2 * s, 3 * s), 2 * s)
    rgb = blend(rgb, hexc("#3d444c"), 0.45 * sh * rim_in)
    # green gradient spanning the cross from top to bottom
    t = np.clip((yy - (cy - a)) / (2 * a), 0, 1)[..., None]
    green = hexc("#4ccf78") * (1 - t) + hexc("#0c6e33") * t
    rgb = blend(rgb, hexc("#0a4d24"), cross)                      # dark outline
    ins = erode(cross, s)
    ins2 = erode(ins, s)
    rgb = blend(rgb, green, ins)
    # bevel on the cross: highlight top-left, shade bottom-right
    rgb = blend(rgb, hexc("#c8f5d6"), 0.85 * ins * (1 - shift(ins2, 2 * s, 2 * s)) * (1 - shift(ins, -2 * s, -2 * s)) )
    rgb = blend(rgb, hexc("#0a5a2a"), 0.6 * ins * (1 - shift(ins, -2 * s, -2 * s)))
    # shiny glint
    glint = ellipse_mask(w, h, (cx - a * 0.9, cy - b * 0.75, cx - a * 0.2, cy - b * 0.1))
    rgb = blend(rgb, WHITE, 0.35 * glint * ins2)
    return rgb

def make_product_name(s=1):
    W, H = 402 * s, 130 * s
    rgb, alpha, inner = silver_plate(402, 130, 12, 300, top="#f1f3f5", bottom="#bfc5cc",
                                     border="#4f5660", bevel=3, s=s)
    # engraved frame groove inset from the edge
    g_out = rrect_mask(W, H, (9 * s, 9 * s, W - 9 * s, H - 9 * s), 7 * s)
    groove = np.clip(g_out - rrect_mask(W, H, (11 * s, 11 * s, W - 11 * s, H - 11 * s), 6 * s), 0, 1)
    rgb = blend(rgb, hexc("#7b828b"), 0.75 * groove)
    lip = np.clip(rrect_mask(W, H, (11 * s, 11 * s, W - 11 * s, H - 11 * s), 6 * s)
                  - rrect_mask(W, H, (12.5 * s, 12.5 * s, W - 12.5 * s, H - 12.5 * s), 5 * s), 0, 1)
    rgb = blend(rgb, WHITE, 0.55 * lip)

    # emblem
    ecx, ecy, er = 66 * s, 65 * s, 44 * s
    rgb = green_cross_emblem(rgb, W, H, ecx, ecy, er, s)

    # title  西药手册  in a Song/Ming face, thickened a little
    tf = font(MING, 58 * s)
    tm = text_mask("西药手册", tf, stroke=s, spacing=9 * s)
    tx = (122 * s + W - 18 * s) / 2.0
    tl = int(round(tx - tm.shape[1] / 2.0))
    tr = tl + tm.shape[1]
    tm = place(tm, W, H, tx, 53 * s)
    ink = vgrad(H, hexc("#2a4270"), hexc("#101c34"), W)
    rgb = stamp_text(rgb, tm, color=ink, light=0.9, shadow=0.25, s=s)

    # engraved rule under the title, then the English line
    ry = 88 * s
    line = np.zeros((H, W))
    line[ry:ry + s, tl:tr] = 1.0
    rgb = blend(rgb, hexc("#6a727c"), 0.8 * line)
    rgb = blend(rgb, WHITE, 0.9 * shift(line, 0, s))

    sf = font(LATIN, 16 * s)
    sm = text_mask("WESTERN DRUG HANDBOOK", sf, stroke=0, spacing=1.2 * s)
    sm = place(sm, W, H, tx, 104 * s)
    rgb = stamp_text(rgb, sm, color=hexc("#23355a"), light=0.8, s=s)
    save(to_image(rgb, alpha), at_scale("product_name.png", s))

# ================================================================ 4. thumb
def make_thumb(s=1):
    N = 24                     # at 1x; every 1x pixel below is s x s pixels
    rgb = vgrad(N * s, hexc("#f2f4f6"), hexc("#b9bfc6"), N * s)
    f = brushed_field(N, N, 400, fine=8, coarse=20, s=s)
    rgb = rgb + 2.5 * f[..., None]

    def box(y0, y1, x0, x1):
        """Rows y0..y1-1 and columns x0..x1-1 of the 1x picture."""
        return slice(y0 * s, y1 * s), slice(x0 * s, x1 * s)

    def lighten(region, amount):
        rgb[region] = blend(rgb[region], WHITE, np.full(rgb[region].shape[:2], amount))

    # bevel (1 px light top/left, 1 px dark bottom/right) inside a 1 px border
    lighten(box(1, 2, 1, N - 1), 0.9)
    lighten(box(1, N - 1, 1, 2), 0.9)
    rgb[box(N - 2, N - 1, 2, N - 1)] = hexc("#8a929b")
    rgb[box(2, N - 1, N - 2, N - 1)] = hexc("#8a929b")
    # thin dark border
    for edge in (box(0, 1, 0, N), box(N - 1, N, 0, N), box(0, N, 0, 1), box(0, N, N - 1, N)):
        rgb[edge] = hexc("#3a424e")
    # arrows: up triangle rows y=4..8, down triangle rows y=15..19 at 1x;
    # at 2x the sides step every row, half as coarse
    ink = hexc("#1a2a4a")
    for i in range(5 * s):
        half = i + 1
        rgb[4 * s + i, 12 * s - half:12 * s + half] = ink
        rgb[20 * s - 1 - i, 12 * s - half:12 * s + half] = ink
    # light lip under each triangle for a stamped look, as wide as the row above it
    lighten(box(9, 10, 7, 17), 0.7)
    lighten((slice(20 * s, 21 * s), slice(12 * s - 1, 12 * s + 1)), 0.7)
    # stem between the heads
    rgb[box(10, 14, 11, 13)] = ink
    save(to_image(rgb), at_scale("thumb.png", s))

# ================================================================ 5. arrows
def make_arrows(s=1):
    W, H = 34 * s, 18 * s
    ss = 8
    img = Image.new("L", (W * ss, H * ss), 0)
    d = ImageDraw.Draw(img)
    # triangle 28 wide x 14 high at 1x, centred
    x0, x1, yt, yb = 3 * s, 31 * s, 2 * s, 16 * s
    d.polygon([(x0 * ss, yb * ss), (x1 * ss, yb * ss), ((x0 + x1) / 2 * ss, yt * ss)], fill=255)
    up = np.asarray(img.resize((W, H), Image.BOX), dtype=np.float64) / 255.0
    col = vgrad(H, hexc("#34507e"), hexc("#14213b"), W)
    save(to_image(col, up), at_scale("arrow_up.png", s))
    down = up[::-1, :]
    col = vgrad(H, hexc("#2a4168"), hexc("#111c33"), W)
    save(to_image(col, down), at_scale("arrow_down.png", s))

# ================================================================ 6. keypad
def make_keypad(s=1):
    W, H = 466, 356
    f = brushed_field(W, H, 500, fine=40, coarse=200, s=s)
    t = np.clip((f + 2.5) / 5.0, 0, 1)
    steps = 6
    t = np.round(t * (steps - 1)) / (steps - 1)
    lo, hi = hexc("#d5d6d8"), hexc("#dddee0")
    rgb = lo * (1 - t[..., None]) + hi * t[..., None]
    save(to_image(rgb), at_scale("keypad_background.png", s), palette=True)

# ================================================================ 7. icon
def icon(N, look=None):
    """The icon N pixels wide, drawn as the icon of size look (N by default):
    the 32 px icon has bolder lines than the larger ones, and so has its @2x."""
    look = look or N
    ss = 8
    M = N * ss
    yy, xx = (np.mgrid[0:M, 0:M].astype(np.float64) + 0.5) / M   # 0..1
    # rounded square
    pad = 0.03 if look <= 32 else 0.04
    r = 0.21
    qx = np.abs(xx - 0.5) - (0.5 - pad - r)
    qy = np.abs(yy - 0.5) - (0.5 - pad - r)
    dist = np.hypot(np.maximum(qx, 0), np.maximum(qy, 0)) + np.minimum(np.maximum(qx, qy), 0) - r
    sq = (dist <= 0).astype(np.float64)
    edge = ((dist <= 0) & (dist > -0.035 if look > 32 else dist > -1.0 / look)).astype(np.float64)
    t = yy[..., None]
    blue = hexc("#4a9be8") * (1 - t) + hexc("#134a92") * t
    rgb = blue.copy()
    # gloss on the upper half
    gloss = ((yy < 0.48) & (dist <= -0.05)).astype(np.float64) * (0.28 * (1 - yy / 0.48))
    rgb = blend(rgb, WHITE, gloss)
    rgb = blend(rgb, hexc("#0b2a56"), 0.9 * edge)
    # capsule, diagonal from lower-left to upper-right
    ax, ay, bx, by = 0.30, 0.70, 0.70, 0.30
    rad = 0.155
    dx, dy = bx - ax, by - ay
    L2 = dx * dx + dy * dy
    u = np.clip(((xx - ax) * dx + (yy - ay) * dy) / L2, 0, 1)
    px, py = ax + u * dx, ay + u * dy
    dd = np.hypot(xx - px, yy - py)
    cap = (dd <= rad).astype(np.float64)
    outline_w = 0.045 if look <= 32 else 0.03
    cap_o = (dd <= rad + outline_w).astype(np.float64)
    # shadow
    sh = ((np.hypot(xx - np.clip(ax + np.clip(((xx - 0.03 - ax) * dx + (yy - 0.04 - ay) * dy) / L2, 0, 1) * dx, 0, 1) - 0.03,
                    yy - (ay + np.clip(((xx - 0.03 - ax) * dx + (yy - 0.04 - ay) * dy) / L2, 0, 1) * dy) - 0.04)
           <= rad + outline_w)).astype(np.float64)
    rgb = blend(rgb, hexc("#0a2246"), 0.45 * sh * sq)
    rgb = blend(rgb, hexc("#0d2a55"), cap_o)
    # signed position across the capsule (perpendicular), for cylinder shading
    nx, ny = -dy / np.sqrt(L2), dx / np.sqrt(L2)
    across = ((xx - px) * nx + (yy - py) * ny) / rad       # -1..1
    shade = 1.0 - 0.35 * np.clip(across, -1, 1) ** 2
    hl = np.exp(-((across + 0.45) / 0.22) ** 2)
    white_half = (u < 0.5)
    c_white = np.array([246.0, 248.0, 250.0])
    c_red = hexc("#e8453c")
    body = np.where(white_half[..., None], c_white, c_red) * shade[..., None]
    body = blend(body, WHITE, 0.75 * hl)
    rgb = blend(rgb, body, cap)
    # seam between the halves
    seam = (np.abs(u - 0.5) * np.sqrt(L2) < (0.012 if look > 32 else 0.02)).astype(np.float64) * cap
    rgb = blend(rgb, hexc("#8a2a24"), 0.7 * seam)
    # small white cross in the upper-left corner (medical mark)
    if look >= 32:
        cx, cy = 0.25, 0.25
        arm, th = 0.105, 0.04
        cr = ((np.abs(xx - cx) <= arm) & (np.abs(yy - cy) <= th)) | ((np.abs(xx - cx) <= th) & (np.abs(yy - cy) <= arm))
        rgb = blend(rgb, WHITE, cr.astype(np.float64) * 0.95)
    alpha = sq
    img = to_image(rgb, alpha)
    # premultiply before box downsampling to avoid dark fringes
    arr = np.asarray(img, dtype=np.float64)
    a = arr[..., 3:4] / 255.0
    pm = np.dstack([arr[..., :3] * a, arr[..., 3:4]])
    small = pm.reshape(N, ss, N, ss, 4).mean(axis=(1, 3))
    aa = small[..., 3:4] / 255.0
    col = np.where(aa > 0, small[..., :3] / np.maximum(aa, 1e-6), 0)
    return to_image(col, small[..., 3] / 255.0)

def make_icons():
    save(icon(32), "icon.png")
    save(icon(64, look=32), "icon@2x.png")     # QIcon takes it on its own
    save(icon(64), "icon64.png")
    save(icon(256), "icon256.png")

for s in (1, 2):
    make_background(s)
    make_buttons(s)
    make_product_name(s)
    make_thumb(s)
    make_arrows(s)
    make_keypad(s)
make_icons()
PYEOF

#!/usr/bin/env python3
"""Builds the HEIF fixtures that heif-enc cannot make (grids, transforms, damaged files) from HEVC
pictures encoded with ffmpeg/libx265. Run from this folder; see README.md.

    make_fixtures.py [SOURCE.png]         the test fixtures of this folder
    make_fixtures.py --dense-grid OUT     the benchmark's dense 12-megapixel phone-photo grid"""
import os
import struct
import subprocess
import sys
import tempfile


def box(kind, payload):
    return struct.pack(">I", 8 + len(payload)) + kind.encode() + payload


def full_box(kind, version, flags, payload):
    return box(kind, struct.pack(">I", (version << 24) | flags) + payload)


def encode_hevc(png, crop=None, matrix="bt601", crf=12):
    """Encodes one picture with libx265 (4:2:0, 8-bit, limited range) and returns its NAL units."""
    vf = ["scale=out_color_matrix=%s:out_range=tv" % matrix, "format=yuv420p"]
    if crop:
        vf.insert(0, "crop=%d:%d:%d:%d" % crop)
    out = subprocess.run(["ffmpeg", "-v", "error", "-i", png, "-vf", ",".join(vf), "-frames:v", "1",
                          "-c:v", "libx265", "-x265-params", "log-level=none:crf=%g" % crf, "-f", "hevc", "-"],
                         check=True, capture_output=True).stdout
    nals, i = [], 0
    starts = []
    while True:
        j = out.find(b"\x00\x00\x01", i)
        if j < 0:
            break
        starts.append(j + 3)
        i = j + 3
    for k, s in enumerate(starts):
        e = len(out) if k + 1 == len(starts) else starts[k + 1] - 3
        nal = out[s:e].rstrip(b"\x00")
        nals.append(nal)
    return nals


def hvcc_and_data(nals):
    arrays = {32: [], 33: [], 34: []}
    data = b""
    for nal in nals:
        t = (nal[0] >> 1) & 0x3F
        if t in arrays:
            arrays[t].append(nal)
        elif t < 32:
            data += struct.pack(">I", len(nal)) + nal
    # Header fields beyond the NAL length size are informative for decoders; profile Main, level 3.
    rec = bytes([1, 0x01, 0x60, 0, 0, 0, 0x90, 0, 0, 0, 0, 0, 90, 0xF0, 0x00, 0xFC, 0xFD, 0xF8, 0xF8, 0, 0, 0x0F])
    rec += bytes([3])
    for t in (32, 33, 34):
        rec += bytes([0x80 | t]) + struct.pack(">H", len(arrays[t]))
        for nal in arrays[t]:
            rec += struct.pack(">H", len(nal)) + nal
    return rec, data


def ispe(w, h):
    return full_box("ispe", 0, 0, struct.pack(">II", w, h))


def nclx(matrix=6, full=False):
    return box("colr", b"nclx" + struct.pack(">HHHB", 1, 13, matrix, 0x80 if full else 0))


def write_heif(path, items, properties, primary, refs):
    """items: list of (id, type, data, in_idat, [property indexes 1-based]); refs: list of (type, from, [to])."""
    def build(mdat_offset):
        hidden = {x for _, _, to in refs for x in to}
        infe = b"".join(full_box("infe", 2, 1 if i in hidden else 0, struct.pack(">HH", i, 0) + t.encode() + b"\x00")
                        for i, t, _, _, _ in items)
        iinf = full_box("iinf", 0, 0, struct.pack(">H", len(items)) + infe)
        idat_payload = b""
        mdat_payload = b""
        locs = b""
        for i, _, data, in_idat, _ in items:
            if in_idat:
                off = len(idat_payload)
                idat_payload += data
                locs += struct.pack(">HHHH", i, 1, 0, 1) + struct.pack(">II", off, len(data))
            else:
                off = mdat_offset + 8 + len(mdat_payload)
                mdat_payload += data
                locs += struct.pack(">HHHH", i, 0, 0, 1) + struct.pack(">II", off, len(data))
        iloc = full_box("iloc", 1, 0, bytes([0x44, 0x00]) + struct.pack(">H", len(items)) + locs)
        iref = full_box("iref", 0, 0, b"".join(box(t, struct.pack(">HH", f, len(to)) + b"".join(
            struct.pack(">H", x) for x in to)) for t, f, to in refs)) if refs else b""
        ipco = box("ipco", b"".join(properties))
        entries = b"".join(struct.pack(">HB", i, len(p)) + bytes(0x80 | x if x < 0x80 else 0 for x in p)
                           for i, _, _, _, p in items)
        ipma = full_box("ipma", 0, 0, struct.pack(">I", len(items)) + entries)
        meta = full_box("meta", 0, 0, full_box("hdlr", 0, 0, b"\x00" * 4 + b"pict" + b"\x00" * 13) +
                        full_box("pitm", 0, 0, struct.pack(">H", primary)) + iinf + iloc + iref +
                        box("iprp", ipco + ipma) + (box("idat", idat_payload) if idat_payload else b""))
        ftyp = box("ftyp", b"heic" + struct.pack(">I", 0) + b"mif1heic")
        return ftyp + meta, box("mdat", mdat_payload)

    head, _ = build(0)
    head, mdat = build(len(head))
    with open(path, "wb") as f:
        f.write(head + mdat)


def grid_file(path, png, tile_w, tile_h, cols, rows, out_w, out_h, tiles_listed=None, odd_tile=None,
              transforms=(), same_tile=False, crf=12):
    items, props, refs = [], [nclx()], []
    tile_ids = []
    for r in range(rows):
        for c in range(cols):
            tw, th = (odd_tile if odd_tile and (r, c) == (rows - 1, cols - 1) else (tile_w, tile_h))
            nals = encode_hevc(png, (tw, th, 0, 0) if same_tile else (tw, th, c * tile_w, r * tile_h), crf=crf)
            rec, data = hvcc_and_data(nals)
            props.append(box("hvcC", rec))
            props.append(ispe(tw, th))
            tid = 2 + len(tile_ids)
            tile_ids.append(tid)
            items.append((tid, "hvc1", data, False, [len(props) - 1, len(props), 1]))
    props.append(ispe(out_w, out_h))
    grid_props = [len(props), 1]
    for t in transforms:
        props.append(t)
        grid_props.append(len(props))
    grid = bytes([0, 0, rows - 1, cols - 1]) + struct.pack(">HH", out_w, out_h)
    items.insert(0, (1, "grid", grid, True, grid_props))
    refs.append(("dimg", 1, tile_ids[:tiles_listed] if tiles_listed else tile_ids))
    write_heif(path, items, props, 1, refs)


def single_file(path, png, w, h, transforms=(), claimed=None, corrupt_slice=False, bt709=False):
    nals = encode_hevc(png, (w, h, 0, 0), "bt709" if bt709 else "bt601")
    rec, data = hvcc_and_data(nals)
    if corrupt_slice:
        # Overwrite the slice header after the NAL unit header: the picture refers to parameter sets
        # that do not exist.
        data = data[:6] + b"\xff" * 8 + data[14:]
    props = [box("hvcC", rec), ispe(*(claimed or (w, h))), nclx(1 if bt709 else 6)]
    props += list(transforms)
    write_heif(path, [(1, "hvc1", data, False, list(range(1, len(props) + 1)))], props, 1, [])


def clap(cw, ch, dx, dy):
    return box("clap", struct.pack(">IIIIiIiI", cw, 1, ch, 1, dx, 1, dy, 1))


def dense_grid(path):
    """A grid like a recent phone's 12-megapixel photo: 8x6 tiles of 512x512 cropped to 4032x3024, coded
    at a high quality from a picture with fine detail everywhere (a fractal over a gradient, with grain),
    about 4 MB."""
    with tempfile.TemporaryDirectory() as folder:
        png = os.path.join(folder, "dense.png")
        subprocess.run(["ffmpeg", "-v", "error", "-f", "lavfi", "-i",
                        "mandelbrot=size=4096x3072:end_pts=1:maxiter=200,format=rgb24", "-f", "lavfi", "-i",
                        "gradients=s=4096x3072:c0=0x203040:c1=0xd0b090:nb_colors=4:speed=0.01,format=rgb24",
                        "-filter_complex", "[0][1]blend=all_mode=overlay,noise=alls=14:allf=u,format=rgb24",
                        "-frames:v", "1", png], check=True)
        grid_file(path, png, 512, 512, 8, 6, 4032, 3024, crf=10)


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--dense-grid":
        dense_grid(sys.argv[2])
        return
    png = sys.argv[1] if len(sys.argv) > 1 else "source_256x192.png"
    grid_file("grid_overhang.heic", png, 128, 96, 2, 2, 200, 150)
    grid_file("grid_rotated.heic", png, 128, 96, 2, 2, 200, 150,
              transforms=[box("irot", bytes([1])), box("imir", bytes([1]))])
    grid_file("wide_grid.heic", png, 256, 16, 34, 1, 8640, 16, same_tile=True)
    single_file("transforms.heic", png, 128, 96,
                [clap(100, 80, 4, -2), box("irot", bytes([1])), box("imir", bytes([0]))])
    single_file("nclx709_limited.heic", png, 128, 96, bt709=True)
    single_file("rotate270.heic", png, 128, 96, [box("irot", bytes([3]))])
    grid_file("hostile_grid_count.heic", png, 128, 96, 2, 2, 200, 150, tiles_listed=3)
    grid_file("hostile_grid_tile_size.heic", png, 128, 96, 2, 2, 200, 150, odd_tile=(64, 96))
    grid_file("hostile_grid_layout.heic", png, 64, 48, 2, 2, 200, 150)
    single_file("hostile_huge_ispe.heic", png, 128, 96, claimed=(100000, 100000))
    single_file("hostile_wrong_ispe.heic", png, 128, 96, claimed=(96, 64))
    single_file("hostile_corrupt_slice.heic", png, 128, 96, corrupt_slice=True)
    with open("grid_overhang.heic", "rb") as f:
        whole = f.read()
    with open("hostile_truncated_file.heic", "wb") as f:
        f.write(whole[:len(whole) * 2 // 3])


if __name__ == "__main__":
    main()

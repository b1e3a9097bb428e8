#!/usr/bin/python3
"""How close a video is to its GIF: the PSNR (dB, RGB) of what the video
shows against what the GIF shows over white, sampled every 20 ms of one play
of the GIF. Both are decoded by ffmpeg to their own pixel formats; the video's
YUV becomes RGB here, by the matrix and range its stream says (BT.601 when it
says none, as ffmpeg itself assumes) and with the chroma bilinear, so every
file is read as it asks to be.
A video that ends early holds its last frame.

    fidelity.py VIDEO GIF
"""
import json
import subprocess
import sys

import numpy as np

STEP_MS = 20
MATRICES = {"bt709": (0.2126, 0.0722), "bt470bg": (0.299, 0.114), "smpte170m": (0.299, 0.114)}


def probe(path, *entries):
    out = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v:0", *entries, "-of", "json", path],
                         check=True, capture_output=True, text=True).stdout
    return json.loads(out)


def frames(path, pix_fmt, decoder=()):
    """(start ms, raw frame bytes) of each frame as decoded, in order."""
    times = [float(f.get("pts_time", f.get("best_effort_timestamp_time", 0))) * 1000
             for f in probe(path, "-show_entries", "frame=pts_time,best_effort_timestamp_time")["frames"]]
    stream = probe(path, "-show_entries", "stream=width,height")["streams"][0]
    w, h = stream["width"], stream["height"]
    size = {"rgba": w * h * 4, "yuv420p": w * h + 2 * ((w + 1) // 2) * ((h + 1) // 2),
            "yuva420p": 2 * w * h + 2 * ((w + 1) // 2) * ((h + 1) // 2)}[pix_fmt]
    proc = subprocess.Popen(["ffmpeg", "-v", "error", *decoder, "-i", path, "-fps_mode", "passthrough", "-f", "rawvideo",
                             "-pix_fmt", pix_fmt, "-"], stdout=subprocess.PIPE)
    for start in times:
        data = proc.stdout.read(size)
        if len(data) < size:
            break
        yield start, data
    proc.stdout.close()
    proc.wait()


def gif_rgb(data, w, h):
    rgba = np.frombuffer(data, np.uint8).reshape(h, w, 4).astype(np.float64)
    a = rgba[:, :, 3:4] / 255
    return rgba[:, :, :3] * a + 255 * (1 - a)


def upsample(c, w, h):
    """A 4:2:0 chroma plane at full size, bilinear, sited as H.264 and VP9 site
    it by default: on the even columns, between the rows."""
    ch, cw = c.shape
    right = np.concatenate([c[:, 1:], c[:, -1:]], axis=1)
    wide = np.empty((ch, cw * 2))
    wide[:, 0::2] = c
    wide[:, 1::2] = (c + right) / 2
    up = np.concatenate([wide[:1], wide[:-1]], axis=0)
    down = np.concatenate([wide[1:], wide[-1:]], axis=0)
    tall = np.empty((ch * 2, cw * 2))
    tall[0::2] = 0.75 * wide + 0.25 * up
    tall[1::2] = 0.75 * wide + 0.25 * down
    return tall[:h, :w]


def video_rgb(data, w, h, pix_fmt, kr, kb):
    cw, ch = (w + 1) // 2, (h + 1) // 2
    buf = np.frombuffer(data, np.uint8)
    y = buf[:w * h].reshape(h, w).astype(np.float64)
    u = buf[w * h:w * h + cw * ch].reshape(ch, cw).astype(np.float64)
    v = buf[w * h + cw * ch:w * h + 2 * cw * ch].reshape(ch, cw).astype(np.float64)
    u, v = upsample(u, w, h), upsample(v, w, h)
    y = (y - 16) * 255 / 219
    pb, pr = (u - 128) * 255 / 224, (v - 128) * 255 / 224
    kg = 1 - kr - kb
    r = y + 2 * (1 - kr) * pr
    b = y + 2 * (1 - kb) * pb
    g = (y - kr * r - kb * b) / kg
    rgb = np.clip(np.rint(np.stack([r, g, b], axis=2)), 0, 255)
    if pix_fmt == "yuva420p":
        a = buf[w * h + 2 * cw * ch:].reshape(h, w, 1).astype(np.float64) / 255
        rgb = rgb * a + 255 * (1 - a)
    return rgb


def main(video, gif):
    gs = probe(gif, "-show_entries", "stream=width,height,duration")["streams"][0]
    gw, gh = gs["width"], gs["height"]
    vs = probe(video, "-show_entries", "stream=width,height,codec_name,color_space,pix_fmt:stream_tags=alpha_mode")
    vs = vs["streams"][0]
    vw, vh = vs["width"], vs["height"]
    alpha = any(k.lower() == "alpha_mode" and v == "1" for k, v in vs.get("tags", {}).items())
    decoder = ("-c:v", "libvpx-vp9") if alpha else ()
    pix_fmt = "yuva420p" if alpha else "yuv420p"
    kr, kb = MATRICES.get(vs.get("color_space", ""), MATRICES["bt470bg"])
    g_iter, v_iter = frames(gif, "rgba"), frames(video, pix_fmt, decoder)
    g_next, v_next = next(g_iter, None), next(v_iter, None)
    g_cur = v_cur = None
    # The GIF's play ends after its last frame's time.
    packets = probe(gif, "-show_entries", "packet=duration_time")["packets"]
    total = sum(float(p["duration_time"]) * 1000 for p in packets)
    squared, count, t = 0.0, 0, 0.0
    while t < total:
        while g_next and g_next[0] <= t + 1e-6:
            g_cur, g_next = g_next, next(g_iter, None)
        while v_next and v_next[0] <= t + 1e-6:
            v_cur, v_next = v_next, next(v_iter, None)
        if g_cur and v_cur:
            ref = gif_rgb(g_cur[1], gw, gh)
            out = video_rgb(v_cur[1], vw, vh, pix_fmt, kr, kb)[:gh, :gw]
            squared += float(((out - ref) ** 2).sum())
            count += ref.size
        t += STEP_MS
    mse = squared / count if count else float("inf")
    print("inf" if mse == 0 else "%.2f" % (10 * np.log10(255 ** 2 / mse)))


if __name__ == "__main__":
    main(*sys.argv[1:3])

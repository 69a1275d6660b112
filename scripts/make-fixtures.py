#!/usr/bin/env python3
"""Writes the small WAV files the tests, the fuzzer seeds and `tavrin-cli info`
checks use. Every byte is decided here, so the files are the same on every
machine; the tests compare the committed copies with a fresh run.

Usage: scripts/make-fixtures.py [OUTPUT_DIR...]
       (default: tests/fixtures and the fuzzer's seed corpus fuzz/corpus/wav_readers)
"""
import os
import struct
import sys

PCM, GSM = 0x0001, 0x0031


def chunk(cid, payload, claimed=None):
    size = len(payload) if claimed is None else claimed
    return cid + struct.pack("<I", size) + payload


def pcm_record(rate, bits, channels, extra=b""):
    return struct.pack("<HHIIHH", PCM, channels, rate, rate * bits * channels // 8, bits * channels // 8, bits) + extra


def gsm_record(channels=1):
    return struct.pack("<HHIIHHHH", GSM, channels, 8000, 1625, 65, 0, 2, 320)


def riff(chunks, riff_delta=0):
    body = b"WAVE" + b"".join(chunks)
    return b"RIFF" + struct.pack("<I", len(body) + riff_delta) + body


def pcm_audio(frames, bits, channels):
    # A slow sawtooth: varied bytes, yet a file whose content anyone can predict.
    out = bytearray()
    for i in range(frames * channels):
        if bits == 8:
            out.append((128 + (i * 7) % 64 - 32) & 0xFF)
        else:
            out += struct.pack("<h", ((i * 331) % 8192) - 4096)
    return bytes(out)


def gsm_audio(blocks):
    return bytes(((i * 37 + 11) & 0xFF) for i in range(blocks * 65))


def pcm_file(rate, bits, frames, channels=1):
    return riff([chunk(b"fmt ", pcm_record(rate, bits, channels)),
                 chunk(b"data", pcm_audio(frames, bits, channels))])


def interchange_fixtures(fmt, data, info):
    """Layouts other writers use: chunks before, between and after the audio."""
    files = {}
    blocks = 25
    gsm_fmt, gsm_data = chunk(b"fmt ", gsm_record()), chunk(b"data", gsm_audio(blocks))
    fact = chunk(b"fact", struct.pack("<I", blocks))
    files["ffmpeg-pcm-list.wav"] = riff([fmt, chunk(b"LIST", info), data])
    files["ffmpeg-gsm-list.wav"] = riff([gsm_fmt, fact, chunk(b"LIST", info), gsm_data])
    files["gsm-list-between.wav"] = riff([gsm_fmt, chunk(b"LIST", info), fact, gsm_data])
    files["bext-first.wav"] = riff([chunk(b"bext", bytes((i * 13) & 0xFF for i in range(602))), fmt, data])
    odd = chunk(b"LIST", b"INFOINAM" + struct.pack("<I", 3) + b"abc")  # 15 bytes
    files["odd-chunk-pad.wav"] = riff([fmt, odd + b"\0", data])
    files["odd-chunk-nopad.wav"] = riff([fmt, odd, data])
    files["list-after-data.wav"] = riff([fmt, data, chunk(b"LIST", info)])
    files["pcm8-odd-pad-list-after.wav"] = riff([chunk(b"fmt ", pcm_record(8000, 8, 1)),
                                                 chunk(b"data", pcm_audio(333, 8, 1)) + b"\0", chunk(b"LIST", info)])
    guid_pcm = bytes.fromhex("0100000000001000800000aa00389b71")
    ext = struct.pack("<HHIIHHHHI", 0xFFFE, 1, 8000, 16000, 2, 16, 22, 16, 4) + guid_pcm
    files["extensible-pcm.wav"] = riff([chunk(b"fmt ", ext), fact_of(400), data])
    gsm11k = struct.pack("<HHIIHHHH", GSM, 1, 11025, 2239, 65, 0, 2, 320)
    files["gsm-11k.wav"] = riff([chunk(b"fmt ", gsm11k), fact, gsm_data])
    return files


def cue_point(cue_id, position, block_start, sample_offset):
    return struct.pack("<II4sIII", cue_id, position, b"data", 0, block_start, sample_offset)


def cue_chunk(points):
    return chunk(b"cue ", struct.pack("<I", len(points)) + b"".join(points))


def adtl(texts):
    """texts: (id, cue id, bytes); each sub-chunk word-aligned."""
    body = b"adtl"
    for cid, cue_id, text in texts:
        sub = chunk(cid, struct.pack("<I", cue_id) + text)
        body += sub + (b"\0" if len(sub) % 2 else b"")
    return chunk(b"LIST", body)


def marked_fixtures(fmt, data, info):
    """Cue points as other programs write them, made by hand from the chunk layout."""
    files = {}
    # After the audio, the whole offset in both fields; labels for two of three, a note, tags too.
    points = [cue_point(1, 80, 0, 80), cue_point(2, 200, 0, 200), cue_point(7, 399, 0, 399)]
    texts = [(b"labl", 1, b"Intro\0"), (b"labl", 7, b"End\0"), (b"note", 2, b"said twice\0")]
    files["cue-after-data.wav"] = riff([fmt, data, chunk(b"LIST", info), cue_chunk(points), adtl(texts)])
    # Before the audio, points only in their position field, out of order, one beyond the audio.
    points = [cue_point(3, 300, 0, 0), cue_point(1, 100, 0, 0), cue_point(2, 5000, 0, 0)]
    files["cue-before-data.wav"] = riff([fmt, cue_chunk(points), data])
    # GSM counted from the start of the block that holds the point, a label without its zero.
    blocks = 25
    points = [cue_point(1, 0, 65 * 10, 0), cue_point(2, 0, 65 * 20, 160)]
    files["gsm-cue-block-start.wav"] = riff([chunk(b"fmt ", gsm_record()), fact_of(blocks),
                                             chunk(b"data", gsm_audio(blocks)), cue_chunk(points),
                                             adtl([(b"labl", 2, b"late")])])
    return files


def fact_of(value):
    return chunk(b"fact", struct.pack("<I", value))


def fixtures():
    files = {}
    for rate in (8000, 11025, 22050):
        for bits in (8, 16):
            # A tenth of a second keeps even the largest one at a few kilobytes.
            files[f"pcm-{rate // 1000}k-{bits}bit.wav"] = pcm_file(rate, bits, rate // 10)
    files["pcm-8k-8bit-odd.wav"] = pcm_file(8000, 8, 801)
    blocks = 25  # one second of GSM
    files["gsm-fact.wav"] = riff([chunk(b"fmt ", gsm_record()), chunk(b"fact", struct.pack("<I", blocks)),
                                  chunk(b"data", gsm_audio(blocks))])
    files["gsm-nofact.wav"] = riff([chunk(b"fmt ", gsm_record()), chunk(b"data", gsm_audio(blocks))])
    files["gsm-stereo.wav"] = riff([chunk(b"fmt ", gsm_record(channels=2)), chunk(b"data", gsm_audio(4))])
    files["pcm-stereo.wav"] = pcm_file(8000, 16, 400, channels=2)
    files["pcm-12bit.wav"] = riff([chunk(b"fmt ", pcm_record(8000, 12, 1)), chunk(b"data", pcm_audio(400, 16, 1))])
    files["adpcm.wav"] = riff([chunk(b"fmt ", struct.pack("<HHIIHHHH", 0x0011, 1, 8000, 4055, 256, 4, 2, 505)),
                               chunk(b"data", bytes(512))])
    info = chunk(b"INFO", b"ISFT" + struct.pack("<I", 6) + b"tavrin")
    fmt = chunk(b"fmt ", pcm_record(8000, 16, 1))
    data = chunk(b"data", pcm_audio(400, 16, 1))
    files["list-upper-before-data.wav"] = riff([fmt, chunk(b"LIST", info), data])
    files["list-lower-before-data.wav"] = riff([fmt, chunk(b"list", info), data])
    files["pcm-fmt18.wav"] = riff([chunk(b"fmt ", pcm_record(8000, 16, 1, extra=struct.pack("<H", 0))), data])
    files.update(interchange_fixtures(fmt, data, info))
    files.update(marked_fixtures(fmt, data, info))
    whole = pcm_file(8000, 16, 800)
    files["truncated.wav"] = whole[:len(whole) // 2]
    files["header-43.wav"] = whole[:43]
    odd = riff([chunk(b"fmt ", pcm_record(8000, 8, 1)), chunk(b"data", pcm_audio(333, 8, 1))])
    files["riff-minus7.wav"] = riff([chunk(b"fmt ", pcm_record(8000, 8, 1)), chunk(b"data", pcm_audio(333, 8, 1))],
                                    riff_delta=1)
    files["riff-minus6.wav"] = odd[:4] + struct.pack("<I", len(odd) - 6) + odd[8:]
    return files


def main():
    root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    outs = sys.argv[1:] or [os.path.join(root, "tests", "fixtures"),
                            os.path.join(root, "fuzz", "corpus", "wav_readers")]
    for out in outs:
        os.makedirs(out, exist_ok=True)
        for name, content in sorted(fixtures().items()):
            with open(os.path.join(out, name), "wb") as f:
                f.write(content)
    return 0


if __name__ == "__main__":
    sys.exit(main())

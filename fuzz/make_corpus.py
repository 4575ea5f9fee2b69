#!/usr/bin/env python3
"""Writes the seed corpus: real TUIO 1.x datagrams, laid out by hand (not with
the codec under test). Run from this directory: ./make_corpus.py"""
import os
import struct


def osc_string(text):
    raw = text.encode("utf-8")
    return raw + b"\0" * (4 - len(raw) % 4)


def message(address, tags, *args):
    out = osc_string(address) + osc_string(tags)
    for tag, value in zip(tags[1:], args):
        if tag == "s":
            out += osc_string(value)
        elif tag == "i":
            out += struct.pack(">i", value)
        elif tag == "f":
            out += struct.pack(">f", value)
    return out


def bundle(*messages):
    out = osc_string("#bundle") + struct.pack(">Q", 1)
    for m in messages:
        out += struct.pack(">i", len(m)) + m
    return out


cur_set = message("/tuio/2Dcur", ",sifffff", "set", 7, 0.5, 0.25, 0.0, 0.0, 0.0)
obj_set = message("/tuio/2Dobj", ",siiffffffff", "set", 3, 12, 0.1, 0.9, 1.5708,
                  0.0, 0.0, 0.0, 0.0, 0.0)
seeds = {
    "cur_set": cur_set,
    "cur_alive_empty": message("/tuio/2Dcur", ",s", "alive"),
    "cur_alive_ids": message("/tuio/2Dcur", ",siii", "alive", 1, 2, 7),
    "cur_fseq": message("/tuio/2Dcur", ",si", "fseq", 4711),
    "cur_source": message("/tuio/2Dcur", ",ss", "source", "tracker@127.0.0.1"),
    "obj_set": obj_set,
    "obj_alive": message("/tuio/2Dobj", ",sii", "alive", 3, -1),
    "bundle": bundle(message("/tuio/2Dcur", ",si", "alive", 7), cur_set,
                     message("/tuio/2Dcur", ",si", "fseq", 1)),
    "cur_set_truncated": cur_set[:38],
    "cur_set_negative_nan": message("/tuio/2Dcur", ",sifffff", "set", -2147483648,
                                    float("nan"), float("-inf"), -0.0, 1e-45, 3.4e38),
    "blb_set": message("/tuio/2Dblb", ",sifffffffffff", "set", 5, 0.5, 0.5, 1.5, 0.2, 0.1,
                       0.02, 0.0, 0.0, 0.0, 0.0, 0.0),
    "cur25_bundle": bundle(message("/tuio/25Dcur", ",sii", "alive", 9, 10),
                           message("/tuio/25Dcur", ",sifffffff", "set", 9, 0.1, 0.2, 0.8,
                                   0.0, 0.0, 0.0, 0.0),
                           message("/tuio/25Dcur", ",si", "fseq", 2)),
    "blb3_set": message("/tuio/3Dblb", ",si" + "f" * 18, "set", 2, *([0.25] * 18)),
    "obj3_set_short": message("/tuio/3Dobj", ",sii" + "f" * 13, "set", 4, 7, *([0.5] * 13)),
}

os.makedirs("corpus", exist_ok=True)
for name, data in seeds.items():
    with open(os.path.join("corpus", name), "wb") as f:
        f.write(data)

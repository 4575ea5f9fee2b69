#!/usr/bin/env python3
"""Writes the capture reader's seed corpus: small pcap and pcapng files laid out by hand (not with
libpcap or the writer under test). Run from this directory: ./make_capture_corpus.py"""
import os
import struct

OSC = b"/tuio/2Dcur\0,si\0fseq\0\0\0\0\0\0\0\x07"


def udp(payload, port=3333):
    return struct.pack(">HHHH", 5000, port, 8 + len(payload), 0) + payload


def ipv4(body, proto=17, frag=0):
    return struct.pack(">BBHHHBBH4s4s", 0x45, 0, 20 + len(body), 0, frag, 64, proto, 0,
                       bytes([127, 0, 0, 1]), bytes([127, 0, 0, 1])) + body


def ipv6(body, nxt=17):
    return struct.pack(">IHBB16s16s", 0x60000000, len(body), nxt, 64, b"\0" * 15 + b"\1",
                       b"\0" * 15 + b"\1") + body


def pcap(link, packets, magic=0xA1B2C3D4):
    out = struct.pack("<IHHiIII", magic, 2, 4, 0, 0, 65535, link)
    for i, p in enumerate(packets):
        out += struct.pack("<IIII", i, 250, len(p), len(p)) + p
    return out


def block(kind, body):
    body += b"\0" * (-len(body) % 4)
    return struct.pack("<II", kind, len(body) + 12) + body + struct.pack("<I", len(body) + 12)


def pcapng(link, packets):
    out = block(0x0A0D0D0A, struct.pack("<IHHq", 0x1A2B3C4D, 1, 0, -1))
    out += block(1, struct.pack("<HHI", link, 0, 65535))
    for i, p in enumerate(packets):
        out += block(6, struct.pack("<IIIII", 0, 0, i * 1000, len(p), len(p)) + p)
    return out


ether = b"\0" * 12
seeds = {
    "raw_ipv4.pcap": pcap(101, [ipv4(udp(OSC)), ipv4(udp(OSC), proto=6)]),
    "ethernet_vlan_ipv6.pcap": pcap(1, [ether + b"\x81\0\0\5\x86\xdd" + ipv6(udp(OSC))]),
    "sll2_fragment.pcap": pcap(276, [b"\x08\0" + b"\0" * 18 + ipv4(udp(OSC), frag=0x2000)]),
    "null_nanosecond.pcap": pcap(0, [b"\x1e\0\0\0" + ipv6(udp(OSC, 4444))], 0xA1B23C4D),
    "sll_ethernet.pcapng": pcapng(113, [b"\0" * 14 + b"\x08\0" + ipv4(udp(OSC))]),
}
os.makedirs("capture-corpus", exist_ok=True)
for name, data in seeds.items():
    with open(os.path.join("capture-corpus", name), "wb") as f:
        f.write(data)

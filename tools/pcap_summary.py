#!/usr/bin/env python3
"""Prints a classic pcap file of raw IPv4 or IPv6 packets (as Wirelark exports) one packet a line:
number, time since the first, addresses and ports, protocol, TCP sequence number, payload
length and, when short and printable, the payload. Usage: pcap_summary.py FILE"""
import ipaddress
import struct
import sys

data = open(sys.argv[1], 'rb').read()
magic, _, _, _, _, _, link = struct.unpack('<IHHiIII', data[:24])
assert magic == 0xA1B2C3D4, 'not a little-endian microsecond pcap file'
print(f'link type {link}')
at, number, first = 24, 0, None
while at + 16 <= len(data):
    sec, usec, length, _ = struct.unpack('<IIII', data[at:at + 16])
    packet = data[at + 16:at + 16 + length]
    at += 16 + length
    number += 1
    moment = sec * 1000000 + usec
    first = moment if first is None else first
    if packet[0] >> 4 == 6:
        ihl, proto = 40, packet[6]
        src = f'[{ipaddress.IPv6Address(packet[8:24])}]'
        dst = f'[{ipaddress.IPv6Address(packet[24:40])}]'
    else:
        ihl, proto = (packet[0] & 15) * 4, packet[9]
        src = '.'.join(map(str, packet[12:16]))
        dst = '.'.join(map(str, packet[16:20]))
    sport, dport = struct.unpack('>HH', packet[ihl:ihl + 4])
    header = (packet[ihl + 12] >> 4) * 4 if proto == 6 else 8
    payload = packet[ihl + header:]
    seq = f'seq {struct.unpack(">I", packet[ihl + 4:ihl + 8])[0]:<8}' if proto == 6 else ' ' * 12
    delta = moment - first
    shown = payload.decode('ascii', 'replace') if len(payload) <= 16 and payload.isascii() else ''
    print(f'{number:<3} +{delta / 1e6:.6f}s  {src}:{sport} -> {dst}:{dport}  '
          f'{"TCP" if proto == 6 else "UDP"} {seq} len {len(payload):<6} {shown!r}'.rstrip())

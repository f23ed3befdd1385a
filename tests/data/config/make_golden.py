#!/usr/bin/env python3
"""Writes golden.cfg: the configuration block of the settings ConfigTest.cpp
sets, laid out field by field from the block's documented layout (independent
of the program's writer)."""
import os
import struct

block = bytearray(1791)


def put(offset, data):
    block[offset:offset + len(data)] = data


def text(offset, size, s):
    raw = s.encode()
    assert len(raw) < size
    put(offset, raw)


put(0, b"Configuration File Rev2.8i. \x1a")
block[30] = 2            # WordMode
block[31] = 0xA5         # FillByte
block[32] = 3            # PortIndex
put(33, struct.pack("<H", 0x278))   # PortBase, low byte first
block[35] = 1            # LastSocketIndex
put(36, struct.pack(">H", 0x1234))  # spare word, high byte first
block[38] = 0            # DeviceSection
block[39] = 20           # PortDelayCount
# TimerPrescale, BufferClearBeforeLoad, BlankCheckBeforeProgram,
# VerifyAfterRead, VerifyAfterProgram, 4 unused, ByteSwap, DeviceInsertTest,
# AutoRepeatEnabled
put(40, bytes([2, 1, 0, 1, 0, 100, 0, 0, 1, 1, 0, 0]))

# The device record (bytes 0-91): names, name offset, section, maker, then
# the parameter bytes from 51 (field k at 52 + k, big-endian).
record = bytearray(92)
record[0:13] = b"AMD\0Am27C256\0"
record[48] = 4           # device name offset
record[49] = 0           # section EPROM
record[50] = 2           # maker AMD


def field(k, size, value):
    record[52 + k:52 + k + size] = value.to_bytes(size, "big")


field(0, 2, 0)           # algorithm
field(6, 2, 5)           # logic image
field(8, 2, 0x041F)      # operations
field(10, 1, 0x1F)       # file formats
field(11, 2, 0x0030)     # flags: gang allowed
field(15, 1, 2)          # variant 3
field(16, 2, 13)         # package DIP28
field(18, 4, 32768)      # size
field(22, 1, 8)          # width
field(23, 2, 25)         # page
field(25, 2, 625)        # Vccp
field(27, 2, 1275)       # Vpp
field(29, 2, 100)        # pulse
field(33, 2, 0x01)       # maker id
field(35, 2, 0x10)       # device id
field(37, 1, 50)         # read VCC
field(38, 1, 45)         # low verify VCC
field(39, 1, 55)         # high verify VCC
put(52, record)
put(144, b"\xff" * 5)    # the 27 bytes after the record
text(171, 80, "/opt/vexlor")
text(251, 79, "/home/User/Data/Image.BIN")
block[330] = 0           # binary
text(331, 80, "/home/User/Out.hex")
for i, name in enumerate(["AMD Am27C256", "ATMEL AT28C64", "MICROCHIP 24LC16"]):
    text(571 + 80 * i, 80, name)
text(1291, 100, "Tester")
text(1391, 400, "Golden block\r\nsecond line")

with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "golden.cfg"), "wb") as f:
    f.write(block)

# Library entries 178-198: each program with its assembly-time parameters.
# ORG: where the part's loader puts the download (0050h for 176 bytes, 0020h
# for 224); KIND: 0 addressed, 1 sequential, 2 nibble; BLANK: the EPROM's
# erased value (no burn for it); EEPROM 1 with EEHIGH the EEPROM's high
# address byte; BURN, EEWRITE, EEERASE, SECTIME in 100 us; SECAT/SECBIT the
# option byte and its security bit; SEQ*: the sequential walk's ranges.
# BURN and SECTIME: the 2 ms EPROM programming time the simulated parts'
# facts hold (sim/Boot05Parts.cpp: no datasheet confirming it was found).
set(HC05_TIMES BURN=20 EEWRITE=100 EEERASE=100 SECTIME=20)
set(HC05_NO_EEPROM EEPROM=0 EEHIGH=0)
set(HC05_EEPROM EEPROM=1 EEHIGH=0x01)

# Rows 132 and 131 (tables by variant).
chip_side_hc05(178 read.s ORG=0x50 KIND=0)
chip_side_hc05(179 program.s ORG=0x50 KIND=0 BLANK=0x00 ${HC05_NO_EEPROM} ${HC05_TIMES})
chip_side_hc05(180 secure.s ORG=0x50 KIND=0 SECAT=0x1FDF SECBIT=0x08 ${HC05_TIMES})
chip_side_hc05(181 program.s ORG=0x50 KIND=0 BLANK=0xFF ${HC05_NO_EEPROM} ${HC05_TIMES})
chip_side_hc05(182 secure.s ORG=0x50 KIND=0 SECAT=0x3FDF SECBIT=0x08 ${HC05_TIMES})
chip_side_hc05(191 program.s ORG=0x50 KIND=0 BLANK=0x00 ${HC05_NO_EEPROM} ${HC05_TIMES})
chip_side_hc05(198 secure.s ORG=0x50 KIND=0 SECAT=0x7FDF SECBIT=0x08 ${HC05_TIMES})
# Rows 137 and 140.
chip_side_hc05(183 read.s ORG=0x50 KIND=0)
chip_side_hc05(184 program.s ORG=0x50 KIND=0 BLANK=0x00 ${HC05_EEPROM} ${HC05_TIMES})
chip_side_hc05(185 erase.s ORG=0x50 KIND=0 ${HC05_EEPROM} ${HC05_TIMES})
chip_side_hc05(186 program.s ORG=0x50 KIND=0 BLANK=0x00 ${HC05_EEPROM} ${HC05_TIMES})
# Row 139.
chip_side_hc05(187 read.s ORG=0x50 KIND=0)
chip_side_hc05(188 program.s ORG=0x50 KIND=0 BLANK=0x00 ${HC05_NO_EEPROM} ${HC05_TIMES})
# Row 138: no address; the walk of its two EPROM ranges.
set(HC05_WALK_138 SEQ1F=0x0F00 SEQ1L=0x1F00 SEQ2F=0x1FF0 SEQ2L=0x1FFF)
chip_side_hc05(189 read.s ORG=0x50 KIND=1 ${HC05_WALK_138})
chip_side_hc05(190 program.s ORG=0x50 KIND=1 BLANK=0x00 ${HC05_NO_EEPROM} ${HC05_TIMES} ${HC05_WALK_138})
# Row 141.
chip_side_hc05(192 read.s ORG=0x50 KIND=0)
chip_side_hc05(193 program.s ORG=0x50 KIND=0 BLANK=0x00 ${HC05_EEPROM} ${HC05_TIMES})
chip_side_hc05(194 erase.s ORG=0x50 KIND=0 ${HC05_EEPROM} ${HC05_TIMES})
# Row 136: nibbles, a 224-byte download.
chip_side_hc05(195 read.s ORG=0x20 KIND=2)
chip_side_hc05(196 program.s ORG=0x20 KIND=2 BLANK=0x00 ${HC05_NO_EEPROM} ${HC05_TIMES})
chip_side_hc05(197 secure.s ORG=0x20 KIND=2 SECAT=0x1FDF SECBIT=0x08 ${HC05_TIMES})

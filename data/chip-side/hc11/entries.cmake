# Library entries 149-177 of the 68HC711 bootstrap row: each program with its
# assembly-time parameters. MIN and SIZE: the least and the most any variant
# sends of it (its download, the part's RAM); RANGES and R<n>F/R<n>L: the memory walked after CONFIG,
# ascending; K<n>: 1 for EEPROM, 0 for EPROM; EEF: an EEPROM address the
# bulk erase latches.
set(HC11_E9_MAP RANGES=2 R1F=0xB600 R1L=0xB7FF K1=1 R2F=0xD000 R2L=0xFFFF K2=0)

chip_side_hc11(149 read.s MIN=256 SIZE=512 ${HC11_E9_MAP})
chip_side_hc11(150 program.s MIN=256 SIZE=512 ${HC11_E9_MAP})
chip_side_hc11(151 erase.s MIN=256 SIZE=768 EEF=0xB600)
chip_side_hc11(152 read.s MIN=192 SIZE=192 RANGES=1 R1F=0xF000 R1L=0xFFFF K1=0)
chip_side_hc11(153 program.s MIN=192 SIZE=192 RANGES=1 R1F=0xF000 R1L=0xFFFF K1=0)
chip_side_hc11(154 read.s MIN=768 SIZE=768 RANGES=2 R1F=0xD80 R1L=0xFFF K1=1 R2F=0xA000 R2L=0xFFFF K2=0)
chip_side_hc11(155 program.s MIN=768 SIZE=768 RANGES=2 R1F=0xD80 R1L=0xFFF K1=1 R2F=0xA000 R2L=0xFFFF K2=0)
chip_side_hc11(156 erase.s MIN=768 SIZE=1024 EEF=0xD80)
chip_side_hc11(157 read.s MIN=512 SIZE=512 RANGES=2 R1F=0xB600 R1L=0xB7FF K1=1 R2F=0xC000 R2L=0xFFFF K2=0)
chip_side_hc11(158 program.s MIN=512 SIZE=512 RANGES=2 R1F=0xB600 R1L=0xB7FF K1=1 R2F=0xC000 R2L=0xFFFF K2=0)
chip_side_hc11(159 read.s MIN=256 SIZE=256 RANGES=1 R1F=0xF800 R1L=0xFFFF K1=1)
chip_side_hc11(160 program.s MIN=256 SIZE=256 RANGES=1 R1F=0xF800 R1L=0xFFFF K1=1)
chip_side_hc11(161 erase.s MIN=256 SIZE=256 EEF=0xF800)
set(HC11_E20_MAP RANGES=3 R1F=0x9000 R1L=0xAFFF K1=0 R2F=0xB600 R2L=0xB7FF K2=1 R3F=0xD000 R3L=0xFFFF K3=0)
chip_side_hc11(162 read.s MIN=768 SIZE=768 ${HC11_E20_MAP})
chip_side_hc11(163 program.s MIN=768 SIZE=768 ${HC11_E20_MAP})
chip_side_hc11(164 read.s MIN=1024 SIZE=1024 RANGES=2 R1F=0xD80 R1L=0xFFF K1=1 R2F=0x8000 R2L=0xFFFF K2=0)
chip_side_hc11(165 program.s MIN=1024 SIZE=1024 RANGES=2 R1F=0xD80 R1L=0xFFF K1=1 R2F=0x8000 R2L=0xFFFF K2=0)
chip_side_hc11(166 config-erase.s MIN=1024 SIZE=1024)
chip_side_hc11(168 config-erase.s MIN=256 SIZE=768)
chip_side_hc11(169 config-read.s MIN=256 SIZE=768)
chip_side_hc11(170 config-program.s MIN=256 SIZE=768)
chip_side_hc11(171 read.s MIN=1024 SIZE=1024 RANGES=1 R1F=0xFE00 R1L=0xFFFF K1=1)
chip_side_hc11(172 program.s MIN=1024 SIZE=1024 RANGES=1 R1F=0xFE00 R1L=0xFFFF K1=1)
chip_side_hc11(173 erase.s MIN=1024 SIZE=1024 EEF=0xFE00)
chip_side_hc11(174 config-read.s MIN=1024 SIZE=1024)
chip_side_hc11(175 config-program.s MIN=1024 SIZE=1024)
# The EEPROM-only map with 768 bytes of RAM (variant 11): CONFIG, then
# B600h-B7FFh.
set(HC11_EE768_MAP RANGES=1 R1F=0xB600 R1L=0xB7FF K1=1)
chip_side_hc11(176 read.s MIN=768 SIZE=768 ${HC11_EE768_MAP})
chip_side_hc11(177 program.s MIN=768 SIZE=768 ${HC11_EE768_MAP})

# Row 146's loaders: 128 bytes each (the part's bootstrap runs them once 128
# have arrived).
chip_side_hc11(199 loader-read.s MIN=128 SIZE=128)
chip_side_hc11(200 loader-program.s MIN=128 SIZE=128)

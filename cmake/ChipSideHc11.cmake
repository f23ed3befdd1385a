# The 68HC11 chip-side programs: assembly sources under data/chip-side/hc11,
# assembled at build time with m68hc11-as, -ld and -objcopy into
# ${CHIP_SIDE_DIR}, where the librarian takes them for the block lines that
# name them ("entry=N file=NAME size=S"). Each appends its image to
# CHIP_SIDE_OUTPUTS.
if(NOT DEFINED CHIP_SIDE_DIR)
  set(CHIP_SIDE_DIR ${CMAKE_BINARY_DIR}/chip-side)
  set(CHIP_SIDE_OUTPUTS "")
endif()
file(MAKE_DIRECTORY ${CHIP_SIDE_DIR})

find_program(M68HC11_AS m68hc11-as REQUIRED)
find_program(M68HC11_LD m68hc11-ld REQUIRED)
find_program(M68HC11_OBJCOPY m68hc11-objcopy REQUIRED)

# chip_side_hc11(<entry> <source> NAME=VALUE ...): the 68HC11 program
# <source> of data/chip-side/hc11 assembled with its parameters into
# hc11-<entry>.bin, linked to run from RAM at 0000h with the download's end
# mark at the last byte of each download size from MIN to SIZE (of 192, 256,
# 512, 768 and 1024 bytes), the code below the stack under the first.
function(chip_side_hc11 entry source)
  set(dir ${CMAKE_SOURCE_DIR}/data/chip-side/hc11)
  set(base ${CHIP_SIDE_DIR}/hc11-${entry})
  set(text "; entry ${entry}: ${source} with its parameters\n")
  set(size 0)
  set(min 0)
  foreach(p ${ARGN})
    if(p MATCHES "^SIZE=([0-9]+)$")
      set(size ${CMAKE_MATCH_1})
    elseif(p MATCHES "^MIN=([0-9]+)$")
      set(min ${CMAKE_MATCH_1})
    endif()
    string(REPLACE "=" ", " assign "${p}")
    string(APPEND text "        .set    ${assign}\n")
  endforeach()
  string(APPEND text "        .include \"${source}\"\n")
  file(CONFIGURE OUTPUT ${base}.s CONTENT "${text}" @ONLY)
  math(EXPR limit "${min} - 7" OUTPUT_FORMAT HEXADECIMAL)
  set(marks "")
  foreach(ram 192 256 512 768 1024)
    if(ram GREATER_EQUAL min AND ram LESS_EQUAL size)
      math(EXPR last "${ram} - 1" OUTPUT_FORMAT HEXADECIMAL)
      string(APPEND marks "    . = ${last};\n    BYTE(0xA5)\n")
    endif()
  endforeach()
  configure_file(${dir}/ram.ld.in ${base}.ld @ONLY)
  add_custom_command(
    OUTPUT ${base}.bin
    COMMAND ${M68HC11_AS} -I${dir} -o ${base}.o ${base}.s
    COMMAND ${M68HC11_LD} -T ${base}.ld -o ${base}.elf ${base}.o
    COMMAND ${M68HC11_OBJCOPY} -O binary ${base}.elf ${base}.bin
    DEPENDS ${base}.s ${base}.ld ${dir}/${source} ${dir}/common.inc ${dir}/loader.inc
    WORKING_DIRECTORY ${CHIP_SIDE_DIR}
    COMMENT "Assembling chip-side program hc11-${entry}"
    VERBATIM)
  set(CHIP_SIDE_OUTPUTS ${CHIP_SIDE_OUTPUTS} ${base}.bin PARENT_SCOPE)
endfunction()

include(${CMAKE_SOURCE_DIR}/data/chip-side/hc11/entries.cmake)

# Chip-side programs: assembly sources under data/chip-side/<family>/,
# assembled at build time into ${CHIP_SIDE_DIR}, where the librarian takes
# them for the block lines that name them ("entry=N file=NAME size=S").
# A family adds its entries in data/chip-side/<family>/entries.cmake with its
# own function below; each appends its image to CHIP_SIDE_OUTPUTS.
set(CHIP_SIDE_DIR ${CMAKE_BINARY_DIR}/chip-side)
set(CHIP_SIDE_OUTPUTS "")
file(MAKE_DIRECTORY ${CHIP_SIDE_DIR})

find_program(SDAS6808 sdas6808 REQUIRED)
find_program(SDLD sdld REQUIRED)
find_program(SDOBJCOPY sdobjcopy REQUIRED)

# chip_side_hc05(<entry> <source> NAME=VALUE ...): the 68HC05 program
# <source> of data/chip-side/hc05 assembled with its parameters into
# hc05-<entry>.bin.
function(chip_side_hc05 entry source)
  set(dir ${CMAKE_SOURCE_DIR}/data/chip-side/hc05)
  set(base ${CHIP_SIDE_DIR}/hc05-${entry})
  set(text "; entry ${entry}: ${source} with its parameters\n")
  foreach(p ${ARGN})
    string(REPLACE "=" " = " assign "${p}")
    string(APPEND text "${assign}\n")
  endforeach()
  string(APPEND text "        .include \"${source}\"\n")
  file(CONFIGURE OUTPUT ${base}.s CONTENT "${text}" @ONLY)
  add_custom_command(
    OUTPUT ${base}.bin
    COMMAND ${SDAS6808} -I${dir} -o ${base}.rel ${base}.s
    COMMAND ${SDLD} -i ${base}.ihx ${base}.rel
    COMMAND ${SDOBJCOPY} -I ihex -O binary ${base}.ihx ${base}.bin
    DEPENDS ${base}.s ${dir}/${source} ${dir}/common.inc
    WORKING_DIRECTORY ${CHIP_SIDE_DIR}
    COMMENT "Assembling chip-side program hc05-${entry}"
    VERBATIM)
  set(CHIP_SIDE_OUTPUTS ${CHIP_SIDE_OUTPUTS} ${base}.bin PARENT_SCOPE)
endfunction()

include(${CMAKE_SOURCE_DIR}/data/chip-side/hc05/entries.cmake)

# Checks a firmware image in its text form and writes the C++ source that carries it:
#
#   cmake -DIMAGE=<image file> -DSAMPLE=<sample image> -DOUTPUT=<generated .cpp> -P firmware_image.cmake
#
# The text form (README.md, "Firmware image"): '#' starts a comment, blank lines are ignored,
# hex digits in either case, and three kinds of line:
#   selector N            0: verify 8 bytes of each code record, 1: verify all 16
#   info AA: 16 bytes     information-area record, AA = 40, 50, ... F0 in this order
#   code AAAA: 16 bytes   code record at loader word address AAAA = 0800, 0808, ... 0D40
# Any fault in the layout stops the script with the file, the line and what is wrong, so a
# bad image fails the build instead of reaching a unit. The image is marked as the sample
# when its lines are the sample's once comments, blanks and case are set aside; the sample's
# information bytes 0x40..0x7F, by which a unit running the sample firmware is recognised, are
# carried whatever the image. Runs in CMake
# alone (no host tool), so the cross build checks and embeds the image the same way.
cmake_minimum_required(VERSION 3.20)

if(NOT DEFINED IMAGE OR NOT DEFINED SAMPLE OR NOT DEFINED OUTPUT)
  message(FATAL_ERROR "usage: cmake -DIMAGE=<image file> -DSAMPLE=<sample image> -DOUTPUT=<file.cpp> -P firmware_image.cmake")
endif()

set(INFO_COUNT 12)
set(INFO_FIRST 64)      # 0x40: the records cover information-area bytes 0x40 to 0xFF
set(INFO_STEP 16)
set(CODE_COUNT 169)
set(CODE_FIRST 2048)    # 0x0800: 16 bytes span 8 word addresses
set(CODE_STEP 8)

# The banner at information-area bytes 0x80 to 0xDB, as the unit reports it and the firmware
# view splits it: each piece starts at a fixed offset, found by its first word.
set(BANNER_OFFSET 128)
set(BANNER_DESCRIPTION "MQ-6 LSU 4.2 Controller. ")
set(NOTICE_OFFSET 153)  # 0x99, "Copy..."
set(RIGHTS_OFFSET 186)  # 0xBA, "All..."
set(VERSION_OFFSET 207) # 0xCF, "Version: D.DD"
set(BANNER_END 220)     # 0xDC, the NUL
set(FILLER_BYTE 85)     # 0x55, bytes 0xDD to 0xFE
set(UNIT_MODE_OFFSET 255)

# The reason goes out unwrapped on a line of its own, so it reads (and greps) whole.
function(fail what)
  file(REMOVE "${OUTPUT}")
  message("firmware image ${IMAGE}: ${what}")
  message(FATAL_ERROR "firmware image refused")
endfunction()

function(fail_line number what)
  fail("line ${number}: ${what}")
endfunction()

function(hex_of value digits out)
  math(EXPR hex "${value}" OUTPUT_FORMAT HEXADECIMAL)
  string(SUBSTRING "${hex}" 2 -1 hex)
  string(TOUPPER "${hex}" hex)
  string(LENGTH "${hex}" length)
  while(length LESS digits)
    string(PREPEND hex "0")
    math(EXPR length "${length} + 1")
  endwhile()
  set(${out} "${hex}" PARENT_SCOPE)
endfunction()

if(NOT EXISTS "${IMAGE}" OR IS_DIRECTORY "${IMAGE}")
  fail("no such file (set MQ6_FIRMWARE_IMAGE to the image file)")
endif()

# One list element per line. Characters that CMake lists treat specially can only be in
# comments (or in lines that are wrong anyway), so they are neutralised first.
file(READ "${IMAGE}" content)
string(REPLACE "\r" "" content "${content}")
string(REPLACE "\\" "/" content "${content}")
string(REPLACE ";" "," content "${content}")
string(REPLACE "[" "(" content "${content}")
string(REPLACE "]" ")" content "${content}")
string(REPLACE "\n" ";" lines "${content}")

set(selector "")
set(info_index 0)
set(code_index 0)
set(info_bytes "")   # the information area 0x40..0xFF, one "HH" per element
set(info_table "")   # generated C++ lines
set(code_table "")
set(number 0)
foreach(line IN LISTS lines)
  math(EXPR number "${number} + 1")
  string(REGEX REPLACE "#.*$" "" text "${line}")
  string(STRIP "${text}" text)
  if(text STREQUAL "")
    continue()
  endif()

  if(text MATCHES "^selector[ \t]+([0-9]+)$")
    if(NOT selector STREQUAL "")
      fail_line(${number} "a second selector line")
    endif()
    set(selector "${CMAKE_MATCH_1}")
    if(NOT selector STREQUAL "0" AND NOT selector STREQUAL "1")
      fail_line(${number} "selector ${selector}: must be 0 (verify 8 bytes) or 1 (verify 16)")
    endif()
    continue()
  endif()

  if(NOT text MATCHES "^(info|code)[ \t]+([0-9A-Fa-f]+)[ \t]*:(.*)$")
    fail_line(${number} "expected 'selector N', 'info AA: 16 bytes' or 'code AAAA: 16 bytes'")
  endif()
  set(kind "${CMAKE_MATCH_1}")
  set(address_text "${CMAKE_MATCH_2}")
  string(STRIP "${CMAKE_MATCH_3}" data)
  string(REGEX REPLACE "[ \t]+" ";" data "${data}")
  list(LENGTH data count)
  if(NOT count EQUAL 16)
    fail_line(${number} "${kind} record has ${count} data bytes, expected 16")
  endif()
  foreach(byte IN LISTS data)
    if(NOT byte MATCHES "^[0-9A-Fa-f][0-9A-Fa-f]$")
      fail_line(${number} "'${byte}' is not a byte in two hex digits")
    endif()
  endforeach()
  string(TOUPPER "${data}" data)
  string(LENGTH "${address_text}" address_digits)
  math(EXPR address "0x${address_text}")

  if(kind STREQUAL "info")
    if(info_index EQUAL INFO_COUNT)
      fail_line(${number} "more than ${INFO_COUNT} info records")
    endif()
    math(EXPR expected "${INFO_FIRST} + ${INFO_STEP} * ${info_index}")
    hex_of(${expected} 2 expected_hex)
    if(NOT address EQUAL expected OR address_digits GREATER 2)
      fail_line(${number} "info record ${info_index} has address ${address_text}, expected ${expected_hex}")
    endif()
    list(APPEND info_bytes ${data})
    list(TRANSFORM data PREPEND "0x")
    list(JOIN data ", " joined)
    string(APPEND info_table "    0x${expected_hex}, ${joined},\n")
    math(EXPR info_index "${info_index} + 1")
  else()
    if(code_index EQUAL CODE_COUNT)
      fail_line(${number} "more than ${CODE_COUNT} code records")
    endif()
    math(EXPR expected "${CODE_FIRST} + ${CODE_STEP} * ${code_index}")
    hex_of(${expected} 4 expected_hex)
    if(NOT address EQUAL expected OR address_digits GREATER 4)
      fail_line(${number} "code record ${code_index} has address ${address_text}, expected ${expected_hex}")
    endif()
    list(TRANSFORM data PREPEND "0x")
    list(JOIN data ", " joined)
    string(SUBSTRING "${expected_hex}" 0 2 high)
    string(SUBSTRING "${expected_hex}" 2 2 low)
    string(APPEND code_table "    0x${high}, 0x${low}, ${joined},\n")
    math(EXPR code_index "${code_index} + 1")
  endif()
endforeach()

if(selector STREQUAL "")
  fail("no selector line")
endif()
if(NOT info_index EQUAL INFO_COUNT)
  fail("${info_index} info records, expected ${INFO_COUNT}")
endif()
if(NOT code_index EQUAL CODE_COUNT)
  fail("${code_index} code records, expected ${CODE_COUNT}")
endif()

# Information-area byte at offset (0x40..0xFF), as a number.
function(area_byte offset out)
  math(EXPR index "${offset} - ${INFO_FIRST}")
  list(GET info_bytes ${index} byte)
  math(EXPR value "0x${byte}")
  set(${out} ${value} PARENT_SCOPE)
endfunction()

# The banner must be printable text up to its NUL: the unit's text ends at the first NUL.
set(banner_codes "")
math(EXPR banner_last "${BANNER_END} - 1")
foreach(offset RANGE ${BANNER_OFFSET} ${banner_last})
  area_byte(${offset} value)
  if(value LESS 32 OR value GREATER 126)
    hex_of(${offset} 2 where)
    hex_of(${value} 2 what)
    fail("banner byte at 0x${where} is 0x${what}, not printable text")
  endif()
  list(APPEND banner_codes ${value})
endforeach()
string(ASCII ${banner_codes} banner)

function(expect_piece word offset)
  math(EXPR expected "${offset} - ${BANNER_OFFSET}")
  string(FIND "${banner}" "${word}" found)
  if(NOT found EQUAL expected)
    hex_of(${offset} 2 where)
    if(found EQUAL -1)
      fail("banner has no \"${word}\"; it must first appear at 0x${where}")
    endif()
    math(EXPR found "${found} + ${BANNER_OFFSET}")
    hex_of(${found} 2 actual)
    fail("\"${word}\" first appears at 0x${actual} in the banner, expected 0x${where}")
  endif()
endfunction()

string(LENGTH "${BANNER_DESCRIPTION}" description_length)
string(SUBSTRING "${banner}" 0 ${description_length} description)
if(NOT description STREQUAL BANNER_DESCRIPTION)
  fail("banner must start with \"${BANNER_DESCRIPTION}\" at 0x80, found \"${description}\"")
endif()
expect_piece("Copy" ${NOTICE_OFFSET})
expect_piece("All" ${RIGHTS_OFFSET})
expect_piece("Version" ${VERSION_OFFSET})
math(EXPR version_at "${VERSION_OFFSET} - ${BANNER_OFFSET}")
string(SUBSTRING "${banner}" ${version_at} -1 version_text)
if(NOT version_text MATCHES "^Version: ([0-9])\\.([0-9][0-9])$")
  fail("banner version piece is \"${version_text}\", expected \"Version: D.DD\" up to 0xDB")
endif()
math(EXPR version_major "${CMAKE_MATCH_1}")
math(EXPR version_minor "${CMAKE_MATCH_2}")

area_byte(${BANNER_END} value)
if(NOT value EQUAL 0)
  fail("no NUL ending the banner at 0xDC")
endif()
math(EXPR filler_first "${BANNER_END} + 1")
math(EXPR filler_last "${UNIT_MODE_OFFSET} - 1")
foreach(offset RANGE ${filler_first} ${filler_last})
  area_byte(${offset} value)
  if(NOT value EQUAL FILLER_BYTE)
    hex_of(${offset} 2 where)
    fail("byte 0x${where} must be the filler 0x55")
  endif()
endforeach()
area_byte(${UNIT_MODE_OFFSET} value)
if(NOT value EQUAL 0)
  fail("unit mode byte 0xFF must be 0 in the image")
endif()

# The records without comments, blank space and case, to compare with the sample's.
function(image_records file out)
  file(READ "${file}" text)
  string(REGEX REPLACE "#[^\n]*" "" text "${text}")
  string(REGEX REPLACE "[ \t\r\n]+" "" text "${text}")
  string(TOUPPER "${text}" text)
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

if(NOT EXISTS "${SAMPLE}" OR IS_DIRECTORY "${SAMPLE}")
  message(FATAL_ERROR "firmware image: no sample image ${SAMPLE}")
endif()
image_records("${IMAGE}" image_text)
image_records("${SAMPLE}" sample_text)
set(is_sample false)
if(image_text STREQUAL sample_text)
  set(is_sample true)
endif()
string(REPEAT "[0-9A-F]" 32 record)
if(NOT sample_text MATCHES "INFO40:(${record})INFO50:(${record})INFO60:(${record})INFO70:(${record})INFO80:")
  message(FATAL_ERROR "firmware image: sample ${SAMPLE} lacks its info records 40 to 70")
endif()
set(sample_area "${CMAKE_MATCH_1}${CMAKE_MATCH_2}${CMAKE_MATCH_3}${CMAKE_MATCH_4}")
string(REGEX REPLACE "([0-9A-F][0-9A-F])" "0x\\1, " sample_area "${sample_area}")
string(STRIP "${sample_area}" sample_area)
get_filename_component(file_name "${IMAGE}" NAME)
string(REPLACE "\\" "\\\\" file_name "${file_name}")
string(REPLACE "\"" "\\\"" file_name "${file_name}")

file(WRITE "${OUTPUT}" "\
// Generated by cmake/firmware_image.cmake from ${IMAGE}.
// Do not edit: change the image file (MQ6_FIRMWARE_IMAGE) instead.
#include \"firmware/firmware_image.h\"

const std::array<uint8_t, FIRMWARE_IMAGE_A_SIZE> FirmwareImageA = {{
    0x0${selector}, 0x00, 0x00, 0x00, // verify-length selector, little-endian
    0x00, 0x00, 0x00, 0x00,
${info_table}    0x00, 0x00, 0x00, 0x00,
${code_table}}};

const std::array<uint8_t, FIRMWARE_IMAGE_B_SIZE> FirmwareImageB = {{
${info_table}    0x00, 0x00, 0x00, 0x00,
${code_table}}};

const int CARRIED_VERSION_MAJOR = ${version_major};
const int CARRIED_VERSION_MINOR = ${version_minor};

const bool FIRMWARE_IMAGE_IS_SAMPLE = ${is_sample};
const char FIRMWARE_IMAGE_FILE[] = \"${file_name}\";

const std::array<uint8_t, SAMPLE_INFO_SIZE> SampleInfoArea = {{${sample_area}}};
")

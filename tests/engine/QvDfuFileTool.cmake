# Packs an image with qvdfufile, inspects the result and checks what the tool reports; then
# checks that a file without a suffix is refused with exit status 1.
#   cmake -DTOOL=<qvdfufile> -DWORK=<folder> -P QvDfuFileTool.cmake
file(MAKE_DIRECTORY ${WORK})
file(WRITE ${WORK}/image.bin "0123456789abcdef0123456789abcdef")
execute_process(COMMAND ${TOOL} pack -i ${WORK}/image.bin -o ${WORK}/kx.dfu -v 1209 -p 4b58
                        -r 0102 -c "QUORVANE KX-V5 V1.02"
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "pack failed (${status}): ${out}")
endif()
execute_process(COMMAND ${TOOL} inspect ${WORK}/kx.dfu RESULT_VARIABLE status OUTPUT_VARIABLE out)
foreach(expected "vendor:      0x1209" "product:     0x4B58" "release:     0x0102"
                 "payload:     32 bytes at offset 28" "comment:     QUORVANE KX-V5 V1.02"
                 "status:      valid")
    string(FIND "${out}" "${expected}" at)
    if(at EQUAL -1 OR NOT status EQUAL 0)
        message(FATAL_ERROR "inspect (${status}) lacks '${expected}':\n${out}")
    endif()
endforeach()
# A file without a suffix (the raw image) is refused, with the check it fails and what it found.
execute_process(COMMAND ${TOOL} inspect ${WORK}/image.bin RESULT_VARIABLE status OUTPUT_VARIABLE out)
if(NOT status EQUAL 1 OR NOT out MATCHES "no valid DFU 1.1 suffix"
   OR NOT out MATCHES "failed:      suffix signature: \"89a\" at offset 24")
    message(FATAL_ERROR "a file without suffix was not refused (${status}):\n${out}")
endif()
# The file fits the device it was packed for, and not another.
execute_process(COMMAND ${TOOL} inspect ${WORK}/kx.dfu -v 1209 -p 4B58 RESULT_VARIABLE status
                OUTPUT_VARIABLE out)
if(NOT status EQUAL 0 OR NOT out MATCHES "status:      valid")
    message(FATAL_ERROR "inspect for its own device gave ${status}:\n${out}")
endif()
execute_process(COMMAND ${TOOL} inspect ${WORK}/kx.dfu -p 0x1 RESULT_VARIABLE status
                OUTPUT_VARIABLE out)
if(NOT status EQUAL 1 OR NOT out MATCHES "status:      does not fit the device"
   OR NOT out MATCHES "failed:      product: the file is for 0x4B58, the device is 0x0001")
    message(FATAL_ERROR "inspect for another product gave ${status}:\n${out}")
endif()

# Bad command lines and unusable input: each refused with its reason and the exit status, and
# the file packed above left as it was.
file(READ ${WORK}/kx.dfu packed HEX)
file(WRITE ${WORK}/empty.bin "")
# Each case: exit status|text in the output|arguments..., all separated by "|".
set(pack "pack|-o|${WORK}/kx.dfu|-v|1209|-p|4b58|-r|0103")
set(image "-i|${WORK}/image.bin")
string(REPEAT "A" 128 long_comment)
set(cases
    "2|unknown command: pak|pak"
    "2|pack or inspect?"
    "2|inspect takes one file|inspect"
    "2|inspect takes one file|inspect|${WORK}/kx.dfu|${WORK}/kx.dfu"
    "2|-v: not a hexadecimal number from 0 to FFFF: 1209x|inspect|${WORK}/kx.dfu|-v|1209x"
    "2|-p needs a value|inspect|${WORK}/kx.dfu|-p"
    "2|-v: not a hexadecimal number from 0 to FFFF: 12x4|${pack}|${image}|-c|V|-v|12x4"
    "2|-r: not a hexadecimal number from 0 to FFFF: 10000|${pack}|${image}|-c|V|-r|10000"
    "2|-c needs a value|${pack}|${image}|-c"
    "2|unknown option: -x|${pack}|-x|1"
    "2|pack needs -c COMMENT|${pack}|${image}"
    "2|pack needs -i IMAGE|${pack}|-c|V"
    "2|the comment must be 1 to 127 printable ASCII characters: it has 128|${pack}|${image}|-c|${long_comment}"
    "2|it has 4, and character 3 is the byte 0x09|${pack}|${image}|-c|V1\t3"
    "1|empty.bin is empty: there is no firmware to pack|${pack}|-i|${WORK}/empty.bin|-c|V"
    "1|cannot read ${WORK}/missing.bin|${pack}|-i|${WORK}/missing.bin|-c|V"
    "1|cannot read ${WORK}\n|${pack}|-i|${WORK}|-c|V"
    "1|too large: the engine takes files of at most 64 MiB|inspect|/dev/zero")
foreach(case IN LISTS cases)
    string(REPLACE "|" ";" fields "${case}")
    list(GET fields 0 expected_status)
    list(GET fields 1 expected_text)
    set(arguments)
    list(LENGTH fields count)
    if(count GREATER 2)
        list(SUBLIST fields 2 -1 arguments)
    endif()
    execute_process(COMMAND ${TOOL} ${arguments} RESULT_VARIABLE status OUTPUT_VARIABLE out
                    ERROR_VARIABLE out)
    string(FIND "${out}" "${expected_text}" at)
    if(NOT status EQUAL expected_status OR at EQUAL -1)
        message(FATAL_ERROR "'${arguments}' gave ${status}, not ${expected_status} with "
                            "'${expected_text}':\n${out}")
    endif()
endforeach()
file(READ ${WORK}/kx.dfu after HEX)
if(NOT after STREQUAL packed)
    message(FATAL_ERROR "a refused pack changed the existing output file")
endif()

# A comment without the maker's mark is packed, with a note that the program refuses it.
execute_process(COMMAND ${TOOL} pack -i ${WORK}/image.bin -o ${WORK}/other.dfu -v 1 -p 2 -r 3
                        -c "Acme KX-V5 V1.03"
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0 OR NOT err MATCHES "names no maker" OR NOT EXISTS ${WORK}/other.dfu)
    message(FATAL_ERROR "pack without maker's mark gave ${status}:\n${out}${err}")
endif()
execute_process(COMMAND ${TOOL} pack -i ${WORK}/image.bin -o ${WORK}/other.dfu -v 1 -p 2 -r 3
                        -c "quor vane KX-V5 V1.03" ERROR_VARIABLE err)
if(err MATCHES "names no maker")
    message(FATAL_ERROR "the maker's mark in lower case was not found:\n${err}")
endif()

# Help goes to the standard output and is no error.
execute_process(COMMAND ${TOOL} --help RESULT_VARIABLE status OUTPUT_VARIABLE out)
if(NOT status EQUAL 0 OR NOT out MATCHES "usage: qvdfufile pack")
    message(FATAL_ERROR "--help gave ${status}:\n${out}")
endif()

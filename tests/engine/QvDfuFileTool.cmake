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
# A file without a suffix (the raw image) is refused.
execute_process(COMMAND ${TOOL} inspect ${WORK}/image.bin RESULT_VARIABLE status OUTPUT_VARIABLE out)
if(NOT status EQUAL 1 OR NOT out MATCHES "no valid DFU 1.1 suffix")
    message(FATAL_ERROR "a file without suffix was not refused (${status}):\n${out}")
endif()

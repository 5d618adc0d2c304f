# The main window (its code spread over the subsystems it belongs to) and the program.

add_library(qv_mainform STATIC
    ${CMAKE_CURRENT_SOURCE_DIR}/Mainform.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/MainformLayout.cpp
    ${PROJECT_SOURCE_DIR}/device/MainformControlStates.cpp
    ${PROJECT_SOURCE_DIR}/device/MainformPortList.cpp
    ${PROJECT_SOURCE_DIR}/device/MainformExchange.cpp
    ${PROJECT_SOURCE_DIR}/device/MainformSettingsPages.cpp
    ${PROJECT_SOURCE_DIR}/device/DeviceConfigLine.cpp
    ${PROJECT_SOURCE_DIR}/upgrade/MainformFirmwareFile.cpp
    ${PROJECT_SOURCE_DIR}/upgrade/MainformUpgrade.cpp
)
target_link_libraries(qv_mainform PUBLIC
    qv_app_core qv_tool_shared qv_ui qv_ports qv_protocol qv_serial qv_usbwalk qv_engine_names qv_firmware_name qv_bridge_headers qv_options)

if(WIN32 AND TARGET DfuBridge AND TARGET qv_ui_win32)
    add_executable(QVDFUUpgrade WIN32 ${CMAKE_CURRENT_SOURCE_DIR}/Program.cpp)
    qv_add_text_resources(QVDFUUpgrade MANIFEST)
    target_link_libraries(QVDFUUpgrade PRIVATE qv_mainform qv_ui_win32 DfuBridge qv_options)
    # The program runs with its two DLLs beside it.
    set_target_properties(QVDFUUpgrade PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)
    add_custom_command(TARGET QVDFUUpgrade POST_BUILD
        COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:DfuBridge> $<TARGET_FILE:DFUEngine>
                ${PROJECT_BINARY_DIR}/bin/
        VERBATIM)
endif()

# The window layer over Qt 6: message pump, message boxes, dialog templates and the embedded
# resources (images, menu and accelerator data from res/).
add_library(wl_platform_qt STATIC
    qt_message_pump.cpp
    message_box.cpp
    resources.cpp
    dialog_template.cpp
    dialog_templates_data.cpp
    send_box.cpp
)
target_link_libraries(wl_platform_qt PUBLIC wl_platform_core Qt6::Widgets PRIVATE wl_warnings)
set_target_properties(wl_platform_qt PROPERTIES AUTOMOC ON)

# Resources of a static library: Qt builds them as an object library and passes its objects on
# to every executable that links wl_platform_qt, so they are registered at start-up without
# Q_INIT_RESOURCE.
file(GLOB_RECURSE WIRELARK_RESOURCE_FILES CONFIGURE_DEPENDS
    RELATIVE ${CMAKE_SOURCE_DIR}/res
    ${CMAKE_SOURCE_DIR}/res/bitmap/*.png
    ${CMAKE_SOURCE_DIR}/res/icon/*.png
    ${CMAKE_SOURCE_DIR}/res/menu/*.bin
    ${CMAKE_SOURCE_DIR}/res/accelerator/*.bin)
if(WIRELARK_RESOURCE_FILES)
    list(TRANSFORM WIRELARK_RESOURCE_FILES PREPEND ${CMAKE_SOURCE_DIR}/res/
         OUTPUT_VARIABLE WIRELARK_RESOURCE_PATHS)
    qt_add_resources(wl_platform_qt wirelark_resources
        PREFIX /res
        BASE ${CMAKE_SOURCE_DIR}/res
        FILES ${WIRELARK_RESOURCE_PATHS})
endif()

# zelmora_core_library(NAME SOURCES... [DEPENDS libs...] [PUBLIC_DEPENDS libs...])
# Adds the static library zelmora_NAME for one folder of the tree and records it
# in the global list ZELMORA_CORE_LIBS, in the order the folders were added.
function(zelmora_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
    add_library(zelmora_${name} STATIC ${ARG_SOURCES})
    target_include_directories(zelmora_${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(zelmora_${name} PUBLIC ${ARG_DEPENDS})
    set_property(GLOBAL APPEND PROPERTY ZELMORA_CORE_LIBS zelmora_${name})
endfunction()

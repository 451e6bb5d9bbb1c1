# The desktop layer: skinned windows over Qt 6 Widgets, X11 platform services, the resource folder.
find_package(Qt6 REQUIRED COMPONENTS Widgets UiTools Test)
pkg_check_modules(XCB REQUIRED IMPORTED_TARGET xcb xcb-keysyms)

file(GLOB VELMORA_UI_SOURCES CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/ui/skin/*.cpp
  ${PROJECT_SOURCE_DIR}/ui/*.cpp
  ${PROJECT_SOURCE_DIR}/platform/*.cpp)
file(GLOB VELMORA_UI_HEADERS CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/ui/skin/*.h
  ${PROJECT_SOURCE_DIR}/ui/*.h
  ${PROJECT_SOURCE_DIR}/platform/*.h)

add_library(velmora_ui STATIC ${VELMORA_UI_SOURCES} ${VELMORA_UI_HEADERS})
set_target_properties(velmora_ui PROPERTIES AUTOMOC ON)
target_link_libraries(velmora_ui PUBLIC velmora_core Qt6::Widgets Qt6::UiTools PkgConfig::XCB)

# Windows load their layouts and images at run time from the "resource" folder beside the
# executable. velmora_copy_resources(target) keeps a copy of the folder beside `target`, refreshed
# whenever a file of the folder changes (one copy per output folder).
file(GLOB_RECURSE VELMORA_RESOURCE_FILES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/resource/*)
function(velmora_copy_resources target)
  get_target_property(out_dir ${target} RUNTIME_OUTPUT_DIRECTORY)
  if(NOT out_dir)
    set(out_dir ${CMAKE_CURRENT_BINARY_DIR})
  endif()
  file(RELATIVE_PATH rel ${PROJECT_BINARY_DIR} ${out_dir})
  string(MAKE_C_IDENTIFIER "velmora_resources_${rel}" copy_target)
  if(NOT TARGET ${copy_target})
    set(stamp ${out_dir}/resource.stamp)
    add_custom_command(OUTPUT ${stamp}
      COMMAND ${CMAKE_COMMAND} -E remove_directory ${out_dir}/resource
      COMMAND ${CMAKE_COMMAND} -E copy_directory ${PROJECT_SOURCE_DIR}/resource ${out_dir}/resource
      COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
      DEPENDS ${VELMORA_RESOURCE_FILES}
      COMMENT "Copying resource/ to ${rel}"
      VERBATIM)
    add_custom_target(${copy_target} DEPENDS ${stamp})
  endif()
  add_dependencies(${target} ${copy_target})
endfunction()

# The program. It finds its resource folder, settings file and log folder beside itself.
add_executable(velmora-translator ${PROJECT_SOURCE_DIR}/logic/main.cpp ${PROJECT_SOURCE_DIR}/logic/main_utils.cpp)
target_link_libraries(velmora-translator PRIVATE velmora_ui)
velmora_copy_resources(velmora-translator)

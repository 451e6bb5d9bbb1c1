# The desktop layer: skinned windows over Qt 6 Widgets, X11 platform services, the resource folder.
find_package(Qt6 REQUIRED COMPONENTS Widgets UiTools DBus Network Test)
pkg_check_modules(XCB REQUIRED IMPORTED_TARGET xcb xcb-keysyms xcb-shm)

set(VELMORA_UI_SOURCES
  ${PROJECT_SOURCE_DIR}/platform/capture_source.cpp
  ${PROJECT_SOURCE_DIR}/platform/display.cpp
  ${PROJECT_SOURCE_DIR}/platform/dpi_source.cpp
  ${PROJECT_SOURCE_DIR}/platform/hotkey.cpp
  ${PROJECT_SOURCE_DIR}/platform/instance_channel.cpp
  ${PROJECT_SOURCE_DIR}/platform/portal.cpp
  ${PROJECT_SOURCE_DIR}/platform/quit_signals.cpp
  ${PROJECT_SOURCE_DIR}/platform/screen_capture.cpp
  ${PROJECT_SOURCE_DIR}/platform/tray_icon.cpp
  ${PROJECT_SOURCE_DIR}/platform/x11.cpp
  ${PROJECT_SOURCE_DIR}/ui/capture_geometry.cpp
  ${PROJECT_SOURCE_DIR}/ui/choice_page.cpp
  ${PROJECT_SOURCE_DIR}/ui/common_msgbox2_wnd.cpp
  ${PROJECT_SOURCE_DIR}/ui/common_msgbox_wnd.cpp
  ${PROJECT_SOURCE_DIR}/ui/layout_window.cpp
  ${PROJECT_SOURCE_DIR}/ui/link.cpp
  ${PROJECT_SOURCE_DIR}/ui/login_wnd.cpp
  ${PROJECT_SOURCE_DIR}/ui/main_contact_wnd.cpp
  ${PROJECT_SOURCE_DIR}/ui/main_effect_wnd.cpp
  ${PROJECT_SOURCE_DIR}/ui/main_engine_wnd.cpp
  ${PROJECT_SOURCE_DIR}/ui/main_login_wnd.cpp
  ${PROJECT_SOURCE_DIR}/ui/main_logout_wnd.cpp
  ${PROJECT_SOURCE_DIR}/ui/main_noupdate_wnd.cpp
  ${PROJECT_SOURCE_DIR}/ui/main_region_wnd.cpp
  ${PROJECT_SOURCE_DIR}/ui/main_services_wnd.cpp
  ${PROJECT_SOURCE_DIR}/ui/main_settings_wnd.cpp
  ${PROJECT_SOURCE_DIR}/ui/main_shortcut_wnd.cpp
  ${PROJECT_SOURCE_DIR}/ui/main_update_wnd.cpp
  ${PROJECT_SOURCE_DIR}/ui/main_user_wnd.cpp
  ${PROJECT_SOURCE_DIR}/ui/main_wnd.cpp
  ${PROJECT_SOURCE_DIR}/ui/pay_ali_wnd.cpp
  ${PROJECT_SOURCE_DIR}/ui/pay_done_wnd.cpp
  ${PROJECT_SOURCE_DIR}/ui/pay_good.cpp
  ${PROJECT_SOURCE_DIR}/ui/pay_order_wnd.cpp
  ${PROJECT_SOURCE_DIR}/ui/pay_retry_wnd.cpp
  ${PROJECT_SOURCE_DIR}/ui/pay_wechat_wnd.cpp
  ${PROJECT_SOURCE_DIR}/ui/pay_wnd.cpp
  ${PROJECT_SOURCE_DIR}/ui/posted_msgbox.cpp
  ${PROJECT_SOURCE_DIR}/ui/result_float_wnd.cpp
  ${PROJECT_SOURCE_DIR}/ui/result_wnd.cpp
  ${PROJECT_SOURCE_DIR}/ui/session_notice.cpp
  ${PROJECT_SOURCE_DIR}/ui/skin/attribute_list.cpp
  ${PROJECT_SOURCE_DIR}/ui/skin/button.cpp
  ${PROJECT_SOURCE_DIR}/ui/skin/combo.cpp
  ${PROJECT_SOURCE_DIR}/ui/skin/container.cpp
  ${PROJECT_SOURCE_DIR}/ui/skin/control.cpp
  ${PROJECT_SOURCE_DIR}/ui/skin/edit.cpp
  ${PROJECT_SOURCE_DIR}/ui/skin/fonts.cpp
  ${PROJECT_SOURCE_DIR}/ui/skin/hit_test.cpp
  ${PROJECT_SOURCE_DIR}/ui/skin/icon_registry.cpp
  ${PROJECT_SOURCE_DIR}/ui/skin/image_descriptor.cpp
  ${PROJECT_SOURCE_DIR}/ui/skin/input_messages.cpp
  ${PROJECT_SOURCE_DIR}/ui/skin/keep_above.cpp
  ${PROJECT_SOURCE_DIR}/ui/skin/label.cpp
  ${PROJECT_SOURCE_DIR}/ui/skin/layout_loader.cpp
  ${PROJECT_SOURCE_DIR}/ui/skin/option.cpp
  ${PROJECT_SOURCE_DIR}/ui/skin/paint_manager.cpp
  ${PROJECT_SOURCE_DIR}/ui/skin/qt_message_loop.cpp
  ${PROJECT_SOURCE_DIR}/ui/skin/resource_path.cpp
  ${PROJECT_SOURCE_DIR}/ui/skin/result_zlabel.cpp
  ${PROJECT_SOURCE_DIR}/ui/skin/run_modal.cpp
  ${PROJECT_SOURCE_DIR}/ui/skin/skin_app.cpp
  ${PROJECT_SOURCE_DIR}/ui/skin/state_images.cpp
  ${PROJECT_SOURCE_DIR}/ui/skin/text.cpp
  ${PROJECT_SOURCE_DIR}/ui/skin/window.cpp
  ${PROJECT_SOURCE_DIR}/ui/skin/window_widget.cpp
)
set(VELMORA_UI_HEADERS
  ${PROJECT_SOURCE_DIR}/platform/capture_source.h
  ${PROJECT_SOURCE_DIR}/platform/display.h
  ${PROJECT_SOURCE_DIR}/platform/dpi_source.h
  ${PROJECT_SOURCE_DIR}/platform/hotkey.h
  ${PROJECT_SOURCE_DIR}/platform/instance_channel.h
  ${PROJECT_SOURCE_DIR}/platform/portal.h
  ${PROJECT_SOURCE_DIR}/platform/quit_signals.h
  ${PROJECT_SOURCE_DIR}/platform/rect.h
  ${PROJECT_SOURCE_DIR}/platform/screen_capture.h
  ${PROJECT_SOURCE_DIR}/platform/tray_icon.h
  ${PROJECT_SOURCE_DIR}/platform/x11.h
  ${PROJECT_SOURCE_DIR}/ui/capture_geometry.h
  ${PROJECT_SOURCE_DIR}/ui/choice_page.h
  ${PROJECT_SOURCE_DIR}/ui/common_msgbox2_wnd.h
  ${PROJECT_SOURCE_DIR}/ui/common_msgbox_wnd.h
  ${PROJECT_SOURCE_DIR}/ui/layout_window.h
  ${PROJECT_SOURCE_DIR}/ui/link.h
  ${PROJECT_SOURCE_DIR}/ui/login_wnd.h
  ${PROJECT_SOURCE_DIR}/ui/main_contact_wnd.h
  ${PROJECT_SOURCE_DIR}/ui/main_effect_wnd.h
  ${PROJECT_SOURCE_DIR}/ui/main_engine_wnd.h
  ${PROJECT_SOURCE_DIR}/ui/main_login_wnd.h
  ${PROJECT_SOURCE_DIR}/ui/main_logout_wnd.h
  ${PROJECT_SOURCE_DIR}/ui/main_noupdate_wnd.h
  ${PROJECT_SOURCE_DIR}/ui/main_region_wnd.h
  ${PROJECT_SOURCE_DIR}/ui/main_services_wnd.h
  ${PROJECT_SOURCE_DIR}/ui/main_settings_wnd.h
  ${PROJECT_SOURCE_DIR}/ui/main_shortcut_wnd.h
  ${PROJECT_SOURCE_DIR}/ui/main_update_wnd.h
  ${PROJECT_SOURCE_DIR}/ui/main_user_wnd.h
  ${PROJECT_SOURCE_DIR}/ui/main_wnd.h
  ${PROJECT_SOURCE_DIR}/ui/page_window.h
  ${PROJECT_SOURCE_DIR}/ui/pay_ali_wnd.h
  ${PROJECT_SOURCE_DIR}/ui/pay_done_wnd.h
  ${PROJECT_SOURCE_DIR}/ui/pay_good.h
  ${PROJECT_SOURCE_DIR}/ui/pay_order_wnd.h
  ${PROJECT_SOURCE_DIR}/ui/pay_retry_wnd.h
  ${PROJECT_SOURCE_DIR}/ui/pay_wechat_wnd.h
  ${PROJECT_SOURCE_DIR}/ui/pay_wnd.h
  ${PROJECT_SOURCE_DIR}/ui/posted_msgbox.h
  ${PROJECT_SOURCE_DIR}/ui/result_float_wnd.h
  ${PROJECT_SOURCE_DIR}/ui/result_wnd.h
  ${PROJECT_SOURCE_DIR}/ui/session_notice.h
  ${PROJECT_SOURCE_DIR}/ui/skin/attribute_list.h
  ${PROJECT_SOURCE_DIR}/ui/skin/button.h
  ${PROJECT_SOURCE_DIR}/ui/skin/combo.h
  ${PROJECT_SOURCE_DIR}/ui/skin/container.h
  ${PROJECT_SOURCE_DIR}/ui/skin/control.h
  ${PROJECT_SOURCE_DIR}/ui/skin/edit.h
  ${PROJECT_SOURCE_DIR}/ui/skin/fonts.h
  ${PROJECT_SOURCE_DIR}/ui/skin/hit_test.h
  ${PROJECT_SOURCE_DIR}/ui/skin/icon_registry.h
  ${PROJECT_SOURCE_DIR}/ui/skin/image_descriptor.h
  ${PROJECT_SOURCE_DIR}/ui/skin/input_messages.h
  ${PROJECT_SOURCE_DIR}/ui/skin/keep_above.h
  ${PROJECT_SOURCE_DIR}/ui/skin/label.h
  ${PROJECT_SOURCE_DIR}/ui/skin/layout_loader.h
  ${PROJECT_SOURCE_DIR}/ui/skin/notify.h
  ${PROJECT_SOURCE_DIR}/ui/skin/option.h
  ${PROJECT_SOURCE_DIR}/ui/skin/paint_manager.h
  ${PROJECT_SOURCE_DIR}/ui/skin/qt_message_loop.h
  ${PROJECT_SOURCE_DIR}/ui/skin/rect.h
  ${PROJECT_SOURCE_DIR}/ui/skin/resource_path.h
  ${PROJECT_SOURCE_DIR}/ui/skin/result_zlabel.h
  ${PROJECT_SOURCE_DIR}/ui/skin/run_modal.h
  ${PROJECT_SOURCE_DIR}/ui/skin/skin_app.h
  ${PROJECT_SOURCE_DIR}/ui/skin/state_images.h
  ${PROJECT_SOURCE_DIR}/ui/skin/text.h
  ${PROJECT_SOURCE_DIR}/ui/skin/window.h
  ${PROJECT_SOURCE_DIR}/ui/skin/window_widget.h
)

add_library(velmora_ui STATIC ${VELMORA_UI_SOURCES} ${VELMORA_UI_HEADERS})
set_target_properties(velmora_ui PROPERTIES AUTOMOC ON)
target_link_libraries(velmora_ui PUBLIC velmora_core Qt6::Widgets Qt6::UiTools Qt6::DBus Qt6::Network
  PkgConfig::XCB)

# Windows load their layouts and images at run time from the "resource" folder beside the
# executable. velmora_copy_resources(target) keeps a copy of the folder beside `target`, refreshed
# whenever a file of the folder changes (one copy per output folder).
# The copy is refreshed when a file of the folder changes; the folder's listing is read at configure
# time (a new resource file needs a reconfigure, as a new source does).
file(GLOB_RECURSE VELMORA_RESOURCE_FILES ${PROJECT_SOURCE_DIR}/resource/*)
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

# The program. It finds its resource folder beside itself or in ../share/velmora (vl::ResourceDir).
add_executable(velmora-translator ${PROJECT_SOURCE_DIR}/app/main.cpp ${PROJECT_SOURCE_DIR}/app/main_utils.cpp
  ${PROJECT_SOURCE_DIR}/app/instance.cpp)
target_link_libraries(velmora-translator PRIVATE velmora_ui)
velmora_copy_resources(velmora-translator)

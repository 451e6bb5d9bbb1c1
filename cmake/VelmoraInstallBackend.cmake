# Runs at install time (install(SCRIPT)): the back-end's systemd unit and default configuration.
# With the prefix /usr the configuration goes to /etc/velmora, otherwise to <prefix>/etc/velmora.
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  set(VELMORA_ETC_DIR /etc/velmora)
else()
  set(VELMORA_ETC_DIR "${CMAKE_INSTALL_PREFIX}/etc/velmora")
endif()
set(VELMORA_BIN_DIR "${CMAKE_INSTALL_PREFIX}/bin")
configure_file("${VELMORA_PACKAGING_DIR}/backend/velmora-backend.service"
               "${VELMORA_STAGE_DIR}/velmora-backend.service" @ONLY)
file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/lib/systemd/system" TYPE FILE
     FILES "${VELMORA_STAGE_DIR}/velmora-backend.service")
file(INSTALL DESTINATION "${VELMORA_ETC_DIR}" TYPE FILE
     FILES "${VELMORA_PACKAGING_DIR}/backend/velmora-backend.json")

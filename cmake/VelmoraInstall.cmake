# Install layout (cmake --install) and the Debian package (cpack, see scripts/package.sh):
#   bin/                      velmora-translator, velmora-cli, velmora-backend
#   share/velmora/            the resource folder's layouts and images
#   share/applications/       desktop entry; share/metainfo/ its AppStream description
#   share/icons/hicolor/      the program's icon (the PNGs are drawn from the scalable one)
#   lib/systemd/system/       velmora-backend.service, not enabled
#   /etc/velmora/             velmora-backend.json (under the prefix unless it is /usr)
include(GNUInstallDirs)

set(VELMORA_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(VELMORA_APP_ID net.velmora.Translator)

install(TARGETS velmora-cli velmora-backend RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

if(VELMORA_BUILD_UI)
  install(TARGETS velmora-translator RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/resource/ DESTINATION ${CMAKE_INSTALL_DATADIR}/velmora)
  install(FILES ${VELMORA_PACKAGING_DIR}/${VELMORA_APP_ID}.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  configure_file(${VELMORA_PACKAGING_DIR}/${VELMORA_APP_ID}.metainfo.xml
                 ${PROJECT_BINARY_DIR}/packaging/${VELMORA_APP_ID}.metainfo.xml @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/packaging/${VELMORA_APP_ID}.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  foreach(size 48 128 256)
    install(FILES ${VELMORA_PACKAGING_DIR}/icons/${size}x${size}/velmora-translator.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()
  install(FILES ${VELMORA_PACKAGING_DIR}/icons/velmora-translator.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()

# The unit names the installed program and its configuration; both depend on the prefix of the
# install itself (cpack installs to /usr), so they are decided when installing.
install(CODE "set(VELMORA_PACKAGING_DIR \"${VELMORA_PACKAGING_DIR}\")
set(VELMORA_STAGE_DIR \"${PROJECT_BINARY_DIR}/packaging\")")
install(SCRIPT ${PROJECT_SOURCE_DIR}/cmake/VelmoraInstallBackend.cmake)

# Package
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmora-translator)
set(CPACK_PACKAGE_VENDOR Velmora)
set(CPACK_PACKAGE_CONTACT "Velmora <support@velmora.net>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Screen translator: translates the text of a screen region in place")
set(CPACK_PACKAGE_DESCRIPTION
  "Velmora Translator recognises the text in a chosen region of the screen and paints each
translation over its source line. The package also holds velmora-backend, the product's own
back-end service, with a systemd unit that is installed disabled.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_PREFIX /usr)
# Absolute destinations (/etc) land inside the package, never on this machine.
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Run-time data the libraries do not name: CJK fonts for painting translations, the xcb platform
# plugin, the browser launcher, and the OCR models of the local engine.
set(VELMORA_OCR_DATA
  tesseract-ocr-eng tesseract-ocr-chi-sim tesseract-ocr-chi-sim-vert tesseract-ocr-chi-tra
  tesseract-ocr-chi-tra-vert tesseract-ocr-jpn tesseract-ocr-jpn-vert tesseract-ocr-kor
  tesseract-ocr-kor-vert tesseract-ocr-por tesseract-ocr-spa tesseract-ocr-fra tesseract-ocr-rus)
list(JOIN VELMORA_OCR_DATA ", " VELMORA_OCR_DEPENDS)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "fonts-noto-cjk, qt6-qpa-plugins, xdg-utils, ${VELMORA_OCR_DEPENDS}")
file(WRITE ${PROJECT_BINARY_DIR}/packaging/conffiles "/etc/velmora/velmora-backend.json\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/packaging/conffiles)
include(CPack)

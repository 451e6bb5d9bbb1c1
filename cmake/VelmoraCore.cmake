# The core library: everything that runs without a display (no Qt, no X11).
file(GLOB VELMORA_CORE_SOURCES CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/utils/*.cpp
  ${PROJECT_SOURCE_DIR}/config/*.cpp
  ${PROJECT_SOURCE_DIR}/logic/*.cpp
  ${PROJECT_SOURCE_DIR}/platform/core/*.cpp)
# Start-up creates windows, so it belongs to the desktop program.
list(FILTER VELMORA_CORE_SOURCES EXCLUDE REGEX "/logic/main(_utils)?\\.cpp$")

add_library(velmora_core STATIC ${VELMORA_CORE_SOURCES})
target_include_directories(velmora_core PUBLIC ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/generated)
target_compile_definitions(velmora_core PUBLIC
  VELMORA_VERSION_MAJOR=${PROJECT_VERSION_MAJOR}
  VELMORA_VERSION_MINOR=${PROJECT_VERSION_MINOR}
  VELMORA_VERSION_PATCH=${PROJECT_VERSION_PATCH})
target_link_libraries(velmora_core PUBLIC
  Threads::Threads CURL::libcurl OpenSSL::Crypto OpenSSL::SSL
  nlohmann_json::nlohmann_json JsonCpp::JsonCpp spdlog::spdlog
  XercesC::XercesC PkgConfig::STB PkgConfig::TESSERACT)
if(EXISTS ${PROJECT_SOURCE_DIR}/cmake/VelmoraSchema.cmake)
  include(${PROJECT_SOURCE_DIR}/cmake/VelmoraSchema.cmake)
endif()

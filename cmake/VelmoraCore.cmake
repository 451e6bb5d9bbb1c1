# The core library: everything that runs without a display (no Qt, no X11).
set(VELMORA_CORE_SOURCES
  ${PROJECT_SOURCE_DIR}/config/config_manager.cpp
  ${PROJECT_SOURCE_DIR}/config/settings_document.cpp
  ${PROJECT_SOURCE_DIR}/logic/baidu_ocr_client.cpp
  ${PROJECT_SOURCE_DIR}/logic/engine_baidu.cpp
  ${PROJECT_SOURCE_DIR}/logic/engine_deepl.cpp
  ${PROJECT_SOURCE_DIR}/logic/engine_openai.cpp
  ${PROJECT_SOURCE_DIR}/logic/engine_youdao.cpp
  ${PROJECT_SOURCE_DIR}/logic/init_log.cpp
  ${PROJECT_SOURCE_DIR}/logic/local_ocr.cpp
  ${PROJECT_SOURCE_DIR}/logic/need_login.cpp
  ${PROJECT_SOURCE_DIR}/logic/translate_engine.cpp
  ${PROJECT_SOURCE_DIR}/logic/translate_types.cpp
  ${PROJECT_SOURCE_DIR}/logic/translation_memory.cpp
  ${PROJECT_SOURCE_DIR}/logic/translator.cpp
  ${PROJECT_SOURCE_DIR}/logic/translator_baidu.cpp
  ${PROJECT_SOURCE_DIR}/logic/translator_youdao.cpp
  ${PROJECT_SOURCE_DIR}/logic/translator_youdao_ocr.cpp
  ${PROJECT_SOURCE_DIR}/logic/user_info.cpp
  ${PROJECT_SOURCE_DIR}/logic/user_json.cpp
  ${PROJECT_SOURCE_DIR}/logic/user_manager.cpp
  ${PROJECT_SOURCE_DIR}/logic/user_phone.cpp
  ${PROJECT_SOURCE_DIR}/logic/user_qq.cpp
  ${PROJECT_SOURCE_DIR}/logic/user_qr.cpp
  ${PROJECT_SOURCE_DIR}/logic/user_wechat.cpp
  ${PROJECT_SOURCE_DIR}/logic/window_answers.cpp
  ${PROJECT_SOURCE_DIR}/logic/youdao_common.cpp
  ${PROJECT_SOURCE_DIR}/utils/vl_base64.cpp
  ${PROJECT_SOURCE_DIR}/utils/vl_browser.cpp
  ${PROJECT_SOURCE_DIR}/utils/vl_crypto.cpp
  ${PROJECT_SOURCE_DIR}/utils/vl_curl.cpp
  ${PROJECT_SOURCE_DIR}/utils/vl_env.cpp
  ${PROJECT_SOURCE_DIR}/utils/vl_file.cpp
  ${PROJECT_SOURCE_DIR}/utils/vl_folders.cpp
  ${PROJECT_SOURCE_DIR}/utils/vl_host_facts.cpp
  ${PROJECT_SOURCE_DIR}/utils/vl_http.cpp
  ${PROJECT_SOURCE_DIR}/utils/vl_json.cpp
  ${PROJECT_SOURCE_DIR}/utils/vl_launch.cpp
  ${PROJECT_SOURCE_DIR}/utils/vl_log.cpp
  ${PROJECT_SOURCE_DIR}/utils/vl_services.cpp
  ${PROJECT_SOURCE_DIR}/utils/vl_session.cpp
  ${PROJECT_SOURCE_DIR}/utils/vl_string.cpp
  ${PROJECT_SOURCE_DIR}/utils/vl_transfer.cpp
  ${PROJECT_SOURCE_DIR}/utils/vl_uuid.cpp
  ${PROJECT_SOURCE_DIR}/utils/vl_wnd.cpp)

add_library(velmora_core STATIC ${VELMORA_CORE_SOURCES})
target_include_directories(velmora_core PUBLIC ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/generated)
target_compile_definitions(velmora_core PUBLIC
  VELMORA_VERSION_MAJOR=${PROJECT_VERSION_MAJOR}
  VELMORA_VERSION_MINOR=${PROJECT_VERSION_MINOR}
  VELMORA_VERSION_PATCH=${PROJECT_VERSION_PATCH})
target_link_libraries(velmora_core PUBLIC
  Threads::Threads CURL::libcurl OpenSSL::Crypto OpenSSL::SSL
  nlohmann_json::nlohmann_json JsonCpp::JsonCpp spdlog::spdlog
  XercesC::XercesC PkgConfig::STB PkgConfig::TESSERACT PkgConfig::SQLITE3)
include(${PROJECT_SOURCE_DIR}/cmake/VelmoraSchema.cmake)

# The settings document: config/velmora.xsd bound to C++ (C++/Tree mapping) at build time. The
# generated code lives in the build tree only; it is included as "config/velmora.hxx".
find_program(XSDCXX_EXECUTABLE NAMES xsdcxx REQUIRED)

set(VELMORA_SCHEMA ${PROJECT_SOURCE_DIR}/config/velmora.xsd)
set(VELMORA_SCHEMA_OUT ${PROJECT_BINARY_DIR}/generated/config)
set(VELMORA_SCHEMA_SOURCES ${VELMORA_SCHEMA_OUT}/velmora.cxx ${VELMORA_SCHEMA_OUT}/velmora.hxx)

add_custom_command(
  OUTPUT ${VELMORA_SCHEMA_SOURCES}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${VELMORA_SCHEMA_OUT}
  COMMAND ${XSDCXX_EXECUTABLE} cxx-tree
    --std c++11
    --generate-serialization
    --generate-default-ctor
    --generate-comparison
    --root-element velmora
    # The document's functions get their own names: "velmora" is also a C++ namespace.
    --parser-regex "/(.+)/parse_$1/"
    --serializer-regex "/(.+)/serialize_$1/"
    --output-dir ${VELMORA_SCHEMA_OUT}
    ${VELMORA_SCHEMA}
  DEPENDS ${VELMORA_SCHEMA}
  COMMENT "Generating the settings document types from velmora.xsd"
  VERBATIM)

target_sources(velmora_core PRIVATE ${VELMORA_SCHEMA_SOURCES})

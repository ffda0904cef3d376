# The import library of the Node-API functions that node.exe exports, made with
# dlltool from the .def file that node-api-headers ships. Linking it binds the
# add-on's napi_* imports to NODE.EXE, the process that loads the add-on.
set(HOSTLINK_NODE_API_DEF ${CMAKE_SOURCE_DIR}/node_modules/node-api-headers/def/node_api.def)
set(HOSTLINK_NODE_API_IMPORT_LIB ${CMAKE_BINARY_DIR}/libnode_api.a)
if(NOT EXISTS ${HOSTLINK_NODE_API_DEF})
  message(FATAL_ERROR "node-api-headers/def/node_api.def missing in node_modules/: run npm ci")
endif()
if(NOT CMAKE_DLLTOOL)
  find_program(CMAKE_DLLTOOL NAMES dlltool REQUIRED)
endif()

add_custom_command(
  OUTPUT ${HOSTLINK_NODE_API_IMPORT_LIB}
  COMMAND ${CMAKE_DLLTOOL} --input-def ${HOSTLINK_NODE_API_DEF}
          --output-lib ${HOSTLINK_NODE_API_IMPORT_LIB}
  DEPENDS ${HOSTLINK_NODE_API_DEF}
  COMMENT "Making the node.exe import library for Node-API")
add_custom_target(hostlink_node_api_import_lib DEPENDS ${HOSTLINK_NODE_API_IMPORT_LIB})

add_library(hostlink_node_api INTERFACE)
target_link_libraries(hostlink_node_api INTERFACE ${HOSTLINK_NODE_API_IMPORT_LIB})
add_dependencies(hostlink_node_api hostlink_node_api_import_lib)

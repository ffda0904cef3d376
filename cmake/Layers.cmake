# The layers of src/, lowest first. Each target sees only its own layer and those below it:
# its include root (build/layers/<layer>/) holds links to exactly those folders, so an
# #include "ipc/..." written in src/transport/ fails to compile instead of quietly
# turning the layering upside down.
set(HOSTLINK_LAYERS_BELOW_base "")
set(HOSTLINK_LAYERS_BELOW_variant base)
set(HOSTLINK_LAYERS_BELOW_transport base variant)
set(HOSTLINK_LAYERS_BELOW_ipc base variant transport)
# The bridge and the host stand side by side on ipc; neither sees the other.
set(HOSTLINK_LAYERS_BELOW_bridge base variant transport ipc)
set(HOSTLINK_LAYERS_BELOW_host base variant transport ipc)
# Programs beside the host library (the conformance checker) that speak the protocol directly.
set(HOSTLINK_LAYERS_BELOW_check base variant transport ipc)

foreach(layer base variant transport ipc bridge host check)
  set(root ${CMAKE_BINARY_DIR}/layers/${layer})
  file(MAKE_DIRECTORY ${root})
  foreach(visible ${HOSTLINK_LAYERS_BELOW_${layer}} ${layer})
    if(EXISTS ${CMAKE_SOURCE_DIR}/src/${visible} AND NOT EXISTS ${root}/${visible})
      file(CREATE_LINK ${CMAKE_SOURCE_DIR}/src/${visible} ${root}/${visible} SYMBOLIC)
    endif()
  endforeach()
endforeach()

# Gives `target` the include root of `layer` (PUBLIC, so that what links an object library
# of a layer sees at least that layer).
function(hostlink_layer target layer)
  if(NOT DEFINED HOSTLINK_LAYERS_BELOW_${layer})
    message(FATAL_ERROR "hostlink_layer: unknown layer '${layer}'")
  endif()
  target_include_directories(${target} PUBLIC ${CMAKE_BINARY_DIR}/layers/${layer})
endfunction()

# The Linux build: the program's sources linked with the simulated PC.
enable_testing()

# The simulated PC reads the dialog from the very resource script the Windows build compiles.
set(QX_EMBEDDED ${CMAKE_CURRENT_BINARY_DIR}/generated/embedded_resources.cpp)
add_custom_command(
  OUTPUT ${QX_EMBEDDED}
  COMMAND ${CMAKE_COMMAND} -DOUT=${QX_EMBEDDED}
          -DRC=${QX_RESOURCE_SCRIPT}
          -DHEADER=${CMAKE_CURRENT_SOURCE_DIR}/src/res/resource.h
          -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/embed_resources.cmake
  DEPENDS ${QX_RESOURCE_SCRIPT} ${CMAKE_CURRENT_SOURCE_DIR}/src/res/resource.h
          ${CMAKE_CURRENT_SOURCE_DIR}/cmake/embed_resources.cmake
  COMMENT "Embedding the resource script for the simulated PC")

file(GLOB QX_SIM_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/sim/*.cpp)
add_library(qxsim STATIC ${QX_SIM_SOURCES} ${QX_EMBEDDED})
target_include_directories(qxsim PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/sim/include
                                        ${CMAKE_CURRENT_SOURCE_DIR}/sim)
target_compile_definitions(qxsim PRIVATE
  QX_SIM_BIN_DIR="${CMAKE_CURRENT_SOURCE_DIR}/sim/bin")

# The program itself, as a library so the runner, the tests and the tools share one build of it.
add_library(qxprogram STATIC ${QX_SOURCES})
target_include_directories(qxprogram PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/src)
target_link_libraries(qxprogram PUBLIC qxsim)

add_executable(qx310wup-sim sim/runner/main.cpp)
target_link_libraries(qx310wup-sim PRIVATE qxprogram)

add_subdirectory(tests)

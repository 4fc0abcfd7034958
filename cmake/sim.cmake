# The Linux build: the program's sources linked with the simulated PC.
enable_testing()

option(QX_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(QX_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

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
add_library(qxsim STATIC ${QX_SIM_SOURCES} ${QX_EMBEDDED} ${QX_PRINTER_MODEL})
target_include_directories(qxsim PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/sim/include
                                        ${CMAKE_CURRENT_SOURCE_DIR}/sim
                                        ${QX_PRINTER_MODEL_DIR})
target_compile_definitions(qxsim PRIVATE
  QX_SIM_BIN_DIR="${CMAKE_CURRENT_SOURCE_DIR}/sim/bin")
# The program's system calls reach the simulated PC first, which shows the command line as given.
target_link_options(qxsim INTERFACE -Wl,--wrap=system)

# The program itself, as a library so the runner, the tests and the tools share one build of it.
add_library(qxprogram STATIC ${QX_SOURCES})
target_include_directories(qxprogram PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/src)
target_link_libraries(qxprogram PUBLIC qxsim)
# The simulated process start calls the program's WinMain: the two libraries need each other.
target_link_libraries(qxsim PUBLIC qxprogram)

add_executable(qx310wup-sim sim/runner/main.cpp)
target_link_libraries(qx310wup-sim PRIVATE qxprogram)

add_subdirectory(tests)

# The Linux command for real printers, tested against emulated device files.
add_subdirectory(linux)

# Fuzz targets and benchmarks live in their own folders.
foreach(dir fuzz bench)
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
    add_subdirectory(${dir})
  endif()
endforeach()

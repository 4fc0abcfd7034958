# The Windows build: the real program.
enable_language(RC)
add_executable(qx310wup WIN32 ${QX_SOURCES} ${QX_RESOURCE_SCRIPT})
target_include_directories(qx310wup PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/src
                                            ${CMAKE_CURRENT_SOURCE_DIR}/src/res)

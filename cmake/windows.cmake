# The Windows build: the real program.
enable_language(RC)
add_executable(qx310wup WIN32 ${QX_SOURCES} ${QX_RESOURCE_SCRIPT})
target_include_directories(qx310wup PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/src
                                            ${CMAKE_CURRENT_SOURCE_DIR}/src/res)
target_link_libraries(qx310wup PRIVATE kernel32 user32 gdi32)
# The resource script names the manifest file; rebuild the resources when it changes.
set_property(SOURCE ${QX_RESOURCE_SCRIPT} APPEND PROPERTY OBJECT_DEPENDS
             ${CMAKE_CURRENT_SOURCE_DIR}/src/res/qx310wup.manifest)

if(MSVC)
  # The manifest comes from the resource script; the linker must not add a second one.
  target_link_options(qx310wup PRIVATE /MANIFEST:NO)
elseif(MINGW)
  # One self-contained program: no compiler runtime DLL beside the system's own.
  target_link_options(qx310wup PRIVATE -static)
  target_compile_options(qx310wup PRIVATE -ffunction-sections -fdata-sections)
  target_link_options(qx310wup PRIVATE -Wl,--gc-sections)

  # In C++ mode the toolchain's headers route snprintf to its own C99 formatter, which brings
  # floating-point and wide-character conversion along and more than doubles the program. Our
  # formats use only %d, %s and %c, which the system C runtime formats the same way, so the
  # formatter is replaced at link time by the toolchain's wrapper around the runtime's
  # _vsnprintf: it still never writes past the given size, always terminates the text and
  # returns the full length, as C99 asks.
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(qx_c_prefix "_") # 32-bit symbols carry a leading underscore
  else()
    set(qx_c_prefix "")
  endif()
  target_link_options(qx310wup PRIVATE
    -Wl,--wrap=__mingw_vsnprintf
    -Wl,--defsym=${qx_c_prefix}__wrap___mingw_vsnprintf=${qx_c_prefix}__ms_vsnprintf
    -Wl,--undefined=${qx_c_prefix}__ms_vsnprintf)
endif()

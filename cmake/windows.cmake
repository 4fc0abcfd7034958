# The Windows build: the real program.
enable_language(RC)

# What each build claims to run on (the README's Windows section says why; e2e/targets/ checks
# the built files against it): the oldest system, through the header's subsystem and OS version,
# the processor the code is generated for, and the system's own C runtime DLL that every such
# system has.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(QX_WINDOWS_VERSION 4.0) # Windows 95 and NT 4.0
  set(QX_PROCESSOR i486)
  set(QX_C_RUNTIME crtdll)    # part of every x86 Windows, from NT 3.1 and 95 to 11
else()
  set(QX_WINDOWS_VERSION 5.2) # Windows XP x64
  set(QX_PROCESSOR "")        # every x86-64 processor
  set(QX_C_RUNTIME msvcrt)    # part of every x64 Windows
endif()

# How every program of this build is linked; the end-to-end checks link the same way.
add_library(qx_windows_runtime INTERFACE)
target_link_libraries(qx_windows_runtime INTERFACE kernel32 user32 gdi32)
if(MSVC)
  # The manifest comes from the resource script; the linker must not add a second one.
  target_link_options(qx_windows_runtime INTERFACE /MANIFEST:NO)
elseif(MINGW)
  # Self-contained programs: no compiler runtime DLL beside the system's own.
  target_link_options(qx_windows_runtime INTERFACE -static -Wl,--gc-sections)
  target_compile_options(qx_windows_runtime INTERFACE -ffunction-sections -fdata-sections)
  if(QX_PROCESSOR)
    target_compile_options(qx_windows_runtime INTERFACE -march=${QX_PROCESSOR})
  endif()
  string(REPLACE "." ";" qx_version_parts ${QX_WINDOWS_VERSION})
  list(GET qx_version_parts 0 qx_version_major)
  list(GET qx_version_parts 1 qx_version_minor)
  target_link_options(qx_windows_runtime INTERFACE
    -Wl,--major-os-version,${qx_version_major} -Wl,--minor-os-version,${qx_version_minor}
    -Wl,--major-subsystem-version,${qx_version_major}
    -Wl,--minor-subsystem-version,${qx_version_minor})

  # In C++ mode the toolchain's headers route snprintf to its own C99 formatter, which brings
  # floating-point and wide-character conversion along and more than doubles the program. Our
  # formats use only %d, %s and %c, which the system C runtime formats the same way, so the
  # formatter is replaced at link time by the toolchain's wrapper around the runtime's
  # _vsnprintf: it still never writes past the given size, always terminates the text and
  # returns the full length, as C99 asks (e2e/format-check.cpp checks this under Wine).
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(qx_c_prefix "_") # 32-bit symbols carry a leading underscore
  else()
    set(qx_c_prefix "")
  endif()
  target_link_options(qx_windows_runtime INTERFACE
    -Wl,--wrap=__mingw_vsnprintf
    -Wl,--defsym=${qx_c_prefix}__wrap___mingw_vsnprintf=${qx_c_prefix}__ms_vsnprintf
    -Wl,--undefined=${qx_c_prefix}__ms_vsnprintf)
endif()

add_executable(qx310wup WIN32 ${QX_SOURCES} ${QX_RESOURCE_SCRIPT})
target_include_directories(qx310wup PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/src
                                            ${CMAKE_CURRENT_SOURCE_DIR}/src/res)
target_link_libraries(qx310wup PRIVATE qx_windows_runtime)
if(MINGW)
  # The program starts at its own entry point (src/app/start.cpp), not the toolchain's start-up
  # objects, and links exactly these libraries: the formatting wrapper, the system C runtime,
  # the compiler's helpers, the system DLLs.
  # (A Visual Studio build keeps its own C runtime's start-up.)
  target_sources(qx310wup PRIVATE ${QX_STARTUP_SOURCES})
  target_link_options(qx310wup PRIVATE -nostdlib)
  target_link_libraries(qx310wup PRIVATE
    -Wl,--start-group mingwex ${QX_C_RUNTIME} gcc kernel32 user32 gdi32 -Wl,--end-group)
  # The link map lets scripts/size tell what each linked library costs.
  target_link_options(qx310wup PRIVATE "-Wl,-Map=$<TARGET_FILE_DIR:qx310wup>/qx310wup.map")
endif()
# The resource script names the manifest file; rebuild the resources when it changes.
set_property(SOURCE ${QX_RESOURCE_SCRIPT} APPEND PROPERTY OBJECT_DEPENDS
             ${CMAKE_CURRENT_SOURCE_DIR}/src/res/qx310wup.manifest)

# End-to-end checks under Wine, from a Linux host, in the program's own bitness; the checks of
# the built files (e2e/targets/) run from the 64-bit build and read the 32-bit program there.
option(QX_E2E "End-to-end checks of the program under Wine" ON)
if(QX_E2E AND CMAKE_HOST_UNIX AND NOT CMAKE_HOST_APPLE)
  enable_testing()
  add_subdirectory(e2e)
endif()

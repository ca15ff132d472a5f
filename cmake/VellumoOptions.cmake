# Compile options shared by every target of the project.
add_library(vellumo_options INTERFACE)
target_compile_options(vellumo_options INTERFACE -Wall -Wextra)

if(WIN32)
  # UTF-16 everywhere: W functions only. Programs with wWinMain/wmain link with
  # -municode themselves (test programs keep GoogleTest's main).
  target_compile_definitions(vellumo_options INTERFACE
    UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
endif()

if(VELLUMO_FUZZ)
  # Coverage for libFuzzer on every library, and the sanitizers the fuzzers
  # rely on to see a fault; the fuzz targets add libFuzzer's main when linking.
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "VELLUMO_FUZZ needs clang (the fuzz preset)")
  endif()
  target_compile_options(vellumo_options INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(vellumo_options INTERFACE -fsanitize=address,undefined)
elseif(VELLUMO_SANITIZE)
  target_compile_options(vellumo_options INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(vellumo_options INTERFACE -fsanitize=address,undefined)
endif()

# Reproducible builds: the same commit gives the same bytes wherever it is
# checked out and built. Paths in debug information and __FILE__ are made
# relative, and PE files carry no link time stamp.
# The build folder's map has no trailing separator: the compiler's working
# folder (recorded in the debug information) is named without one, and as the
# build folder usually lies inside the source folder, the source map would
# otherwise leave "build/<preset>" behind.
target_compile_options(vellumo_options INTERFACE
  -ffile-prefix-map=${PROJECT_SOURCE_DIR}/=
  -ffile-prefix-map=${PROJECT_BINARY_DIR}=.)
if(WIN32)
  target_link_options(vellumo_options INTERFACE -Wl,--no-insert-timestamp)
endif()
# Release programs are built with symbols, which vellumo_ship() splits off.
target_compile_options(vellumo_options INTERFACE $<$<CONFIG:Release>:-g>)

# vellumo_ship(TARGET): a program or DLL that users get. In release builds its
# symbols go to <file>.debug beside it (kept in the build folder for crash
# analysis, never shipped) and the file itself is stripped, with a link to the
# symbol file that debuggers follow.
function(vellumo_ship target)
  if(NOT CMAKE_BUILD_TYPE STREQUAL "Release" OR VELLUMO_SANITIZE OR VELLUMO_FUZZ)
    return()
  endif()
  if(NOT CMAKE_OBJCOPY)
    message(FATAL_ERROR "objcopy not found: release binaries cannot be stripped")
  endif()
  # objcopy stamps the PE files it writes with the clock unless told a time:
  # zero, as the linker's --no-insert-timestamp leaves it.
  set(_objcopy ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0 ${CMAKE_OBJCOPY})
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${_objcopy} --only-keep-debug $<TARGET_FILE:${target}> $<TARGET_FILE:${target}>.debug
    COMMAND ${_objcopy} --strip-all --add-gnu-debuglink=$<TARGET_FILE:${target}>.debug $<TARGET_FILE:${target}>
    WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
    VERBATIM)
endfunction()

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

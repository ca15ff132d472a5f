# SQLite, zlib, minizip and libsodium: Debian's -dev packages natively; for
# MinGW the static builds that scripts/bootstrap leaves under .cache/deps/<triple>
# (found through the toolchain file's CMAKE_FIND_ROOT_PATH).
#
# Every one is linked statically, on every platform: a Windows program may
# import only DLLs that Windows itself ships (a zlib1.dll found beside a
# download would otherwise run inside our process), and the Linux vellumo-cli
# must run on a stock system without extra packages.
set(ZLIB_USE_STATIC_LIBS ON)
# A build folder configured before zlib was linked statically remembers the
# shared library; look again.
foreach(_var ZLIB_LIBRARY ZLIB_LIBRARY_RELEASE ZLIB_LIBRARY_DEBUG)
  if(${_var} AND NOT ${_var} MATCHES "\\.a$")
    unset(${_var} CACHE)
  endif()
endforeach()
find_package(ZLIB REQUIRED)

find_path(VELLUMO_SQLITE_INCLUDE sqlite3.h REQUIRED)
find_library(VELLUMO_SQLITE_STATIC_LIB NAMES libsqlite3.a sqlite3 REQUIRED)
add_library(Vellumo::SQLite INTERFACE IMPORTED)
target_include_directories(Vellumo::SQLite INTERFACE ${VELLUMO_SQLITE_INCLUDE})
target_link_libraries(Vellumo::SQLite INTERFACE ${VELLUMO_SQLITE_STATIC_LIB})

find_path(VELLUMO_MINIZIP_INCLUDE minizip/zip.h REQUIRED)
find_library(VELLUMO_MINIZIP_STATIC_LIB NAMES libminizip.a minizip REQUIRED)
add_library(Vellumo::Minizip INTERFACE IMPORTED)
target_include_directories(Vellumo::Minizip INTERFACE ${VELLUMO_MINIZIP_INCLUDE})
target_link_libraries(Vellumo::Minizip INTERFACE ${VELLUMO_MINIZIP_STATIC_LIB} ZLIB::ZLIB)

find_path(VELLUMO_SODIUM_INCLUDE sodium.h REQUIRED)
find_library(VELLUMO_SODIUM_STATIC_LIB NAMES libsodium.a sodium REQUIRED)
add_library(Vellumo::Sodium INTERFACE IMPORTED)
target_include_directories(Vellumo::Sodium INTERFACE ${VELLUMO_SODIUM_INCLUDE})
target_link_libraries(Vellumo::Sodium INTERFACE ${VELLUMO_SODIUM_STATIC_LIB})
if(WIN32)
  # The static library: without this, sodium.h declares every function as
  # imported from a DLL.
  target_compile_definitions(Vellumo::Sodium INTERFACE SODIUM_STATIC)
endif()

if(NOT WIN32)
  find_package(Threads REQUIRED)
  target_link_libraries(Vellumo::SQLite INTERFACE Threads::Threads ${CMAKE_DL_LIBS})
  target_link_libraries(Vellumo::Sodium INTERFACE Threads::Threads)
endif()

foreach(_lib ${VELLUMO_SQLITE_STATIC_LIB} ${VELLUMO_MINIZIP_STATIC_LIB} ${VELLUMO_SODIUM_STATIC_LIB} ${ZLIB_LIBRARIES})
  if(NOT _lib MATCHES "\\.a$")
    message(FATAL_ERROR "${_lib} is not a static library; install the -dev package that carries the .a "
                        "(natively) or run scripts/bootstrap (MinGW)")
  endif()
endforeach()

if(VELLUMO_BUILD_TESTS)
  find_package(GTest REQUIRED)
  include(GoogleTest)
endif()

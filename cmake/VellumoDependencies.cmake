# SQLite, zlib and minizip: Debian's -dev packages natively; for MinGW the static
# builds that scripts/bootstrap leaves under .cache/deps/<triple> (found through
# the toolchain file's CMAKE_FIND_ROOT_PATH).
find_package(ZLIB REQUIRED)

find_path(VELLUMO_SQLITE_INCLUDE sqlite3.h REQUIRED)
find_library(VELLUMO_SQLITE_LIB sqlite3 REQUIRED)
add_library(Vellumo::SQLite INTERFACE IMPORTED)
target_include_directories(Vellumo::SQLite INTERFACE ${VELLUMO_SQLITE_INCLUDE})
target_link_libraries(Vellumo::SQLite INTERFACE ${VELLUMO_SQLITE_LIB})

find_path(VELLUMO_MINIZIP_INCLUDE minizip/zip.h REQUIRED)
find_library(VELLUMO_MINIZIP_LIB minizip REQUIRED)
add_library(Vellumo::Minizip INTERFACE IMPORTED)
target_include_directories(Vellumo::Minizip INTERFACE ${VELLUMO_MINIZIP_INCLUDE})
target_link_libraries(Vellumo::Minizip INTERFACE ${VELLUMO_MINIZIP_LIB} ZLIB::ZLIB)

if(NOT WIN32)
  find_package(Threads REQUIRED)
  target_link_libraries(Vellumo::SQLite INTERFACE Threads::Threads ${CMAKE_DL_LIBS})
endif()

if(VELLUMO_BUILD_TESTS)
  find_package(GTest REQUIRED)
  include(GoogleTest)
endif()

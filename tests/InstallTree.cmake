# Installs the build into a fresh prefix and checks the tree a Linux desktop and a
# C program need: the program that finds its library and translation there, the
# library with its header (a C program compiles and links against them), the
# desktop entry and its icon.
#   cmake -DBUILD=<build dir> -DPREFIX=<empty dir> -DBINDIR=.. -DLIBDIR=.. -DINCLUDEDIR=.. -DDATADIR=..
#         -DCC=<C compiler> -P InstallTree.cmake
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${PREFIX}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${out}")
endif()

set(program ${PREFIX}/${BINDIR}/kq-nfc-programmer)
foreach(f ${program}
          ${PREFIX}/${DATADIR}/kq-nfc-programmer/kq-nfc-programmerEng.qm
          ${PREFIX}/${LIBDIR}/libkqlmx.so
          ${PREFIX}/${INCLUDEDIR}/kqlmx.h
          ${PREFIX}/${DATADIR}/applications/kq-nfc-programmer.desktop
          ${PREFIX}/${DATADIR}/icons/hicolor/256x256/apps/kq-nfc-programmer.png)
  if(NOT EXISTS ${f})
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()

# The desktop entry starts the program by name and shows its icon.
file(STRINGS ${PREFIX}/${DATADIR}/applications/kq-nfc-programmer.desktop entry)
foreach(line "[Desktop Entry]" "Type=Application" "Exec=kq-nfc-programmer" "Icon=kq-nfc-programmer")
  if(NOT line IN_LIST entry)
    message(FATAL_ERROR "desktop entry lacks ${line}")
  endif()
endforeach()
# A PNG file of 256 x 256 pixels: the signature, then the IHDR width and height.
file(READ ${PREFIX}/${DATADIR}/icons/hicolor/256x256/apps/kq-nfc-programmer.png png LIMIT 24 HEX)
if(NOT png STREQUAL "89504e470d0a1a0a0000000d494844520000010000000100")
  message(FATAL_ERROR "the icon is no 256 x 256 PNG: ${png}")
endif()

# The program takes the library of its own tree, not the build's.
execute_process(COMMAND ldd ${program} OUTPUT_VARIABLE libs RESULT_VARIABLE rc)
string(REGEX MATCH "libkqlmx\\.so[^ ]* => ([^ ]*)" kqlmx "${libs}")
file(REAL_PATH "${CMAKE_MATCH_1}" found)
file(REAL_PATH ${PREFIX}/${LIBDIR}/libkqlmx.so wanted)
if(NOT rc EQUAL 0 OR NOT found STREQUAL wanted)
  message(FATAL_ERROR "the installed program does not find the installed library: ${kqlmx}")
endif()

# A C caller builds against the installed header and library alone.
file(WRITE ${PREFIX}/caller.c "#include <kqlmx.h>\nint main(void) { return KQLMX_GetLastError(1) < 0; }\n")
execute_process(COMMAND ${CC} -I${PREFIX}/${INCLUDEDIR} ${PREFIX}/caller.c -L${PREFIX}/${LIBDIR} -lkqlmx
                        -Wl,-rpath,${PREFIX}/${LIBDIR} -o ${PREFIX}/caller
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "a C program does not build against the installed kqlmx.h and libkqlmx.so: ${out}")
endif()
execute_process(COMMAND ${PREFIX}/caller RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the C program against the installed library failed: ${rc}")
endif()
message(STATUS "installed tree in ${PREFIX} is complete")

# Adds every immediate subfolder of the current source folder that has a
# CMakeLists.txt, in name order, so that a new subsystem only adds its folder.
function(corvala_add_subfolders)
  file(GLOB children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT children)
  foreach(child IN LISTS children)
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${child} AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()

# corvala_add_gtest(NAME name SOURCES ... LIBS ... [LABELS ...] [ENV ...] [TIMEOUT s] [NO_MAIN])
# NO_MAIN: the test brings its own main (the end-to-end support library does).
# One GoogleTest executable, registered with CTest as a single test so that the
# summary stays readable; labels select the sanitizer and end-to-end runs.
function(corvala_add_gtest)
  cmake_parse_arguments(T "NO_MAIN" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock)
  if(NOT T_NO_MAIN)
    target_link_libraries(${T_NAME} PRIVATE GTest::gtest_main)
  endif()
  set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  if(NOT T_LABELS)
    set(T_LABELS unit)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}" TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;CORVALA_BIN_DIR=${CORVALA_BIN_DIR};CORVALA_SOURCE_DIR=${CMAKE_SOURCE_DIR};${T_ENV}")
  if("unit" IN_LIST T_LABELS)
    # The sanitizer run builds only these.
    if(NOT TARGET corvala_unit_tests)
      add_custom_target(corvala_unit_tests)
    endif()
    add_dependencies(corvala_unit_tests ${T_NAME})
  else()
    # Processes, peers and displays of their own: one at a time, so that two
    # of them never compete for the two cores and time out each other.
    set_tests_properties(${T_NAME} PROPERTIES RUN_SERIAL TRUE)
  endif()
endfunction()

# corvala_embed_file(TARGET t SYMBOL name FILE path)
# Links the bytes of FILE into target t. C++ code reaches them through
#   extern "C" const unsigned char name_begin[], name_end[];
# (see src/app/EmbeddedResource.h). The object is rebuilt when FILE changes.
function(corvala_embed_file)
  cmake_parse_arguments(E "" "TARGET;SYMBOL;FILE" "" ${ARGN})
  set(asm ${CMAKE_CURRENT_BINARY_DIR}/embed_${E_SYMBOL}.S)
  file(CONFIGURE OUTPUT ${asm} CONTENT
"    .section .rodata.${E_SYMBOL},\"a\"
    .balign 16
    .global ${E_SYMBOL}_begin
    .global ${E_SYMBOL}_end
${E_SYMBOL}_begin:
    .incbin \"${E_FILE}\"
${E_SYMBOL}_end:
    .byte 0
    .section .note.GNU-stack,\"\",@progbits
")
  set_source_files_properties(${asm} PROPERTIES OBJECT_DEPENDS ${E_FILE} GENERATED TRUE)
  target_sources(${E_TARGET} PRIVATE ${asm})
endfunction()

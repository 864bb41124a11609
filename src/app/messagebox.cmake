# The application message box (TFormMessage, ShowAppMessage); included by
# this folder's CMakeLists.txt.
# The frameless window parts every Corvala window is drawn with.
add_library(corvala_window_chrome STATIC ${CMAKE_CURRENT_LIST_DIR}/WindowChrome.cpp ${CMAKE_CURRENT_LIST_DIR}/WindowChrome.h)
set_target_properties(corvala_window_chrome PROPERTIES AUTOMOC ON)
target_include_directories(corvala_window_chrome PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(corvala_window_chrome PUBLIC Qt6::Widgets corvala_process_state)

add_library(corvala_messagebox STATIC ${CMAKE_CURRENT_LIST_DIR}/FormMessage.cpp ${CMAKE_CURRENT_LIST_DIR}/FormMessage.h)
set_target_properties(corvala_messagebox PROPERTIES AUTOMOC ON)
target_include_directories(corvala_messagebox PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(corvala_messagebox PUBLIC Qt6::Widgets corvala_process_state corvala_i18n corvala_window_chrome)

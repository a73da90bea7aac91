# The client: every window and helper in a static library (so tests and the tour link exactly the
# code that ships), plus the thin Veltrina.exe around WinMain.
file(GLOB_RECURSE VELTRINA_CLIENT_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/app/*.cpp ${CMAKE_SOURCE_DIR}/frame/*.cpp ${CMAKE_SOURCE_DIR}/core_bridge/*.cpp
  ${CMAKE_SOURCE_DIR}/signin/*.cpp ${CMAKE_SOURCE_DIR}/main/*.cpp ${CMAKE_SOURCE_DIR}/conversation/*.cpp
  ${CMAKE_SOURCE_DIR}/emoji/*.cpp ${CMAKE_SOURCE_DIR}/dialogs/*.cpp)
list(REMOVE_ITEM VELTRINA_CLIENT_SOURCES ${CMAKE_SOURCE_DIR}/app/winmain.cpp)

add_library(veltrina_client STATIC ${VELTRINA_CLIENT_SOURCES})
target_include_directories(veltrina_client PUBLIC ${CMAKE_SOURCE_DIR})
target_include_directories(veltrina_client SYSTEM PUBLIC ${VELTRINA_DEPS_INCLUDE})
target_compile_options(veltrina_client PRIVATE ${VELTRINA_WARNINGS})
target_link_libraries(veltrina_client PUBLIC duilib veltrinacore shell32 comdlg32 advapi32 wininet gdiplus)

add_executable(Veltrina WIN32 ${CMAKE_SOURCE_DIR}/app/winmain.cpp ${CMAKE_SOURCE_DIR}/app/res/veltrina.rc)
target_compile_options(Veltrina PRIVATE ${VELTRINA_WARNINGS})
target_link_libraries(Veltrina PRIVATE veltrina_client)
# Threads' stacks: Wine commits the whole reservation of each (and at least 1 MB), so the 2 MB
# default of MinGW costs 2 MB of private bytes for the UI thread and for every thread made with
# the default size. 1 MB is what Windows programs usually get.
target_link_options(Veltrina PRIVATE -Wl,--stack,1048576)

# The runnable tree: skins beside bin/, tray icons inside it.
add_custom_target(veltrina_runtime_files ALL
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_SOURCE_DIR}/skin ${VELTRINA_APP_DIR}/Veltrina/skin
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CMAKE_SOURCE_DIR}/app/res/Veltrina.ico
          ${CMAKE_SOURCE_DIR}/app/res/VeltrinaGrey.ico ${VELTRINA_APP_DIR}/bin/
  COMMENT "Laying out the runnable tree in ${VELTRINA_APP_DIR}")
add_dependencies(Veltrina veltrina_runtime_files)

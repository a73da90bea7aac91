# The team engine and the records it shares with the core, built alike by the client's MinGW
# build and by native builds (the engine's tests, the server). Set VELTRINA_ROOT to the project
# folder and VELTRINA_ENGINE_DEPS_INCLUDE to the folder holding nlohmann/ and stb/ first.
set(_r ${VELTRINA_ROOT})
add_library(veltrina_records STATIC
  ${_r}/veltrinacore/src/entity.cpp
  ${_r}/veltrinacore/src/json_util.cpp
  ${_r}/veltrinacore/src/message.cpp
  ${_r}/veltrinacore/src/records_json.cpp
  ${_r}/veltrinacore/src/utf8.cpp)
# The records' JSON helpers (json_util.h, records_json.h) are shared with the engine.
target_include_directories(veltrina_records PUBLIC ${_r}/veltrinacore/include ${_r}/veltrinacore/src)
target_include_directories(veltrina_records SYSTEM PUBLIC ${VELTRINA_ENGINE_DEPS_INCLUDE})

add_library(veltrina_engine STATIC
  ${_r}/engine/src/accounts.cpp
  ${_r}/engine/src/admin.cpp
  ${_r}/engine/src/changes.cpp
  ${_r}/engine/src/conversations.cpp
  ${_r}/engine/src/dispatch.cpp
  ${_r}/engine/src/engine.cpp
  ${_r}/engine/src/files.cpp
  ${_r}/engine/src/images.cpp
  ${_r}/engine/src/large_team.cpp
  ${_r}/engine/src/seed.cpp
  ${_r}/engine/src/state.cpp
  ${_r}/engine/src/upload_names.cpp
  ${_r}/engine/src/views.cpp)
target_include_directories(veltrina_engine PUBLIC ${_r}/engine/include)
target_link_libraries(veltrina_engine PUBLIC veltrina_records)

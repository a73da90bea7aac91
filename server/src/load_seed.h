#pragma once
// A team for load tests (veltrina-server admin seed-load): many members in small channels, made
// through the engine's own requests so that it is a team like any other.
#include <string>

#include "veltrina/engine/engine.h"

namespace veltrina::server {

// Team `subdomain` with `users` members u00000, u00001, ... all with `password`, in public
// channels "load-0", "load-1", ... of `channel_size` consecutive members each (the last may be
// smaller). Returns why it was refused, or empty.
std::string SeedLoadTeam(engine::Engine& engine, const std::string& subdomain, int users, int channel_size,
                         const std::string& password);

}  // namespace veltrina::server

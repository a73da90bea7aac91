#pragma once
// Where the client's backend is: a veltrina-server named by --server, VELTRINA_SERVER or
// server.json in the data folder (veltrina::backend::ChooseServer), else the embedded demo.
#include <string>

namespace veltrinawnd {

// The value of "--server URL" or "--server=URL" in a command line (the last one given); empty
// when there is none.
std::string ServerFromCommandLine(const wchar_t* command_line);

// Installs the remote backend when a server is chosen, before the first request of the core;
// with none, the core keeps its default demo service. Returns the server's address or empty.
std::string UseChosenServer();

// The server UseChosenServer chose for this run; empty when none.
std::string ConfiguredServer();

// Where a team named in the team window goes, `typed_server` being the server typed with it
// (empty: a bare name). A configured server wins and a typed one is passed over (logged); else
// the typed server, installed as the backend unless it already is; else the embedded demo, put
// back only when a typed server had replaced it (whatever else is installed stays). Returns the
// server the team is on, empty for the demo. UI thread.
std::string UseServerForTeam(const std::string& typed_server);

}  // namespace veltrinawnd

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

}  // namespace veltrinawnd

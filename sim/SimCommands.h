// Text commands that switch faults and look at registers of a running
// simulator: typed on its standard input or given with --fault at start.
#pragma once

#include <string>

class SimServer;

// The list of commands, as shown by "help" and --help.
const char* SimCommandHelp();

struct SimCommandResult {
  bool Ok = true;     // false: the command was not understood or failed
  bool Quit = false;  // "quit" was given
  std::string Text;   // what to show the user (may be empty)
};

SimCommandResult SimExecuteCommand(SimServer& server, const std::string& line);

// One line describing a request and its answer, for the request log.
struct SimRequest;
std::string SimDescribeRequest(const SimRequest& r);

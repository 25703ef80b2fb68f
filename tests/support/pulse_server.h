#pragma once

// A private PulseAudio server for the tests that talk to a real sound server: started without
// a session, reachable only through its own socket in a test folder, ended when the object
// goes away. The constructor points this process's clients at it (PULSE_SERVER, HOME and the
// server's runtime and state folders), so the program's own code finds it as it would find
// the desktop's server.

#include "test_support.h"

#include <string>

#include <sys/types.h>

namespace testsupport {

class PulseServer {
  public:
    /// Starts the server in `dir` with the protocol module and then `modules`, one
    /// "load-module ..." line each (for example "load-module module-null-sink").
    PulseServer(const TempDir& dir, const std::string& modules);
    ~PulseServer();
    PulseServer(const PulseServer&) = delete;
    PulseServer& operator=(const PulseServer&) = delete;

    /// Waits (up to 5 s) until the server accepts clients; false when it did not come up.
    bool waitReady() const;
    /// "unix:<socket>", the value PULSE_SERVER holds.
    std::string address() const { return "unix:" + socket_; }

    /// Runs `pactl ARGS` against this server; its standard output and exit code.
    CommandResult pactl(const std::string& args) const;
    /// The command prefix that makes an outside tool (pacat, pactl, parec) use this server.
    std::string environmentPrefix() const;

  private:
    std::string socket_;
    pid_t pid_ = -1;
};

} // namespace testsupport

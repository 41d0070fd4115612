// The DCE/RPC transport (the library's request server) and the server's
// registrations: its endpoint with the host's endpoint mapper, and itself,
// its printers and their queues in the name service.
#pragma once

#include <mutex>
#include <string>

#include "dpad_config.h"
#include "dpad_ops.h"
#include "vrcore/rpcs.h"

namespace vrcore::dpad {

// Requests of both transports pass one at a time through the service; a
// request that leaves a job to print wakes the main loop through wake_fd.
struct Gate {
    Service *service;
    std::mutex lock;
    int wake_fd = -1;
    bool require_auth = false;
};

// Starts the request server (a null *server when config.dce is off).
// False with *why when it cannot serve.
bool StartDce(const Config &config, Gate *gate, RPCS_Server **server, std::string *why);
// Registers the endpoint and the names; failures are logged and leave
// clients to name the port themselves.
void RegisterDce(const Config &config, RPCS_Server *server);
void StopDce(const Config &config, RPCS_Server *server);

} // namespace vrcore::dpad

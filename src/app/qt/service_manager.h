// Telling systemd (or another manager that speaks its notify protocol) how the service stands, so that a
// unit of Type=notify counts the service started only once its settings let it run: `systemctl start` then
// fails on settings that end it, instead of reporting a start that ends a moment later.
#pragma once

#include <string>

// Sends `state` ("READY=1") to the socket named by $NOTIFY_SOCKET, a path or, with a leading '@', a name in
// the abstract namespace. Whether it was sent; false without a manager that listens.
bool notifyServiceManager(const std::string& state);

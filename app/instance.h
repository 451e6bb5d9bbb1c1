#pragma once

#include <memory>

#include "platform/instance_channel.h"

// One program per user and display: the start-up's side of platform/instance_channel.

// Takes the per-user lock. False when this start must end with `exitCode`: another start runs
// and was asked to show its main window (0), or it did not answer (1, said on standard error).
// A lock that cannot be had at all is reported and the program runs without it.
// `command` is what the running start is asked to do: "show", "translate" or "region".
bool ClaimInstance(vl::platform::InstanceLock& lock, vl::platform::InstancePaths& paths,
                   const std::string& command, int& exitCode);

// Runs "show", "translate" or "region" on the main window once the current message is handled
// (a region selection is modal: the asking start must not wait for it).
void RunInstanceCommand(const std::string& command);

// Listens for later starts once the windows exist: "show" brings the main window forward,
// "translate" and "region" do what the hotkeys do.
// Null (logged) when the socket cannot be had; the program runs on without it.
std::unique_ptr<vl::platform::InstanceServer> ServeInstance(
    const vl::platform::InstancePaths& paths);

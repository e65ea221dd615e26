#pragma once
// Multicast and broadcast may only be used where nothing can leave the
// machine: in a private network namespace whose only interface is loopback
// (tools/with-netns). Outside one, a multicast send that names no interface
// goes out of the machine's network card, and joining a group announces the
// membership there.

#include <string>

// True when every interface that is up is a loopback one; otherwise false,
// with the first other interface's name in `other`.
bool OnlyLoopbackIsUp(std::string& other);
